#include "HangingShare.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AgentProcess.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// True when the folder is the root of a filesystem of its own (its device differs from its parent's).
bool IsMountPoint(const fs::path& folder) {
    struct stat self {};
    struct stat parent {};
    return stat(folder.c_str(), &self) == 0 && stat(folder.parent_path().c_str(), &parent) == 0 &&
           self.st_dev != parent.st_dev;
}

} // namespace

HangingShare::HangingShare(const fs::path& backing, const fs::path& mountPoint)
    : m_mountPoint(mountPoint), m_flag(mountPoint.string() + ".hang") {
    fs::create_directories(backing);
    fs::create_directories(mountPoint);
    const std::string binary = TARVELLIN_HANGING_FS;
    if (binary.empty() || geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
        return;
    }
    m_daemon = fork();
    if (m_daemon == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execl(binary.c_str(), binary.c_str(), backing.c_str(), m_flag.c_str(), mountPoint.c_str(), "-o",
              "fsname=tarvellin-share", static_cast<char*>(nullptr));
        _exit(127);
    }
    m_mounted = m_daemon > 0 && WaitUntil([&] { return IsMountPoint(mountPoint); }, 5s);
}

HangingShare::~HangingShare() {
    Answer();
    if (m_mounted) {
        umount2(m_mountPoint.c_str(), MNT_DETACH);
    }
    if (m_daemon > 0) {
        kill(m_daemon, SIGTERM);
        const bool ended = WaitUntil([&] { return waitpid(m_daemon, nullptr, WNOHANG) == m_daemon; }, 5s);
        if (!ended) {
            kill(m_daemon, SIGKILL);
            waitpid(m_daemon, nullptr, 0);
        }
    }
}

void HangingShare::Hang() {
    std::ofstream(m_flag).put('1');
}

void HangingShare::Answer() {
    std::error_code error;
    fs::remove(m_flag, error);
}
