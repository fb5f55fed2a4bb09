#include "platform/Session.h"

#include "FileOperations.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Write end of the pipe; read by the handler, so it must be a plain lock-free object.
volatile std::sig_atomic_t g_writeFd = -1;
int g_readFd = -1;
// Set by the handler; lock-free, so setting it is safe there.
std::atomic<bool> g_stopArrived{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void WakeLoop(int signalNumber) {
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds pending requests: losing this byte loses at most a repeated one.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
}

extern "C" void OnStopSignal(int signalNumber) {
    const int savedErrno = errno;
    g_stopArrived.store(true);
    WakeLoop(signalNumber);
    errno = savedErrno;
}

extern "C" void OnReloadSignal(int signalNumber) {
    const int savedErrno = errno;
    WakeLoop(signalNumber);
    errno = savedErrno;
}

void Install(int signalNumber, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// True when QT_QPA_PLATFORM is unset or names a plugin of a real window system.
bool PlatformMayShowWindows() {
    const char* value = std::getenv("QT_QPA_PLATFORM");
    if (value == nullptr || *value == '\0') {
        return true;
    }
    std::string_view name(value);
    name = name.substr(0, name.find_first_of(";:"));
    return name == "xcb" || name.starts_with("wayland");
}

// The folder of the running program, from /proc/self/exe; empty when it cannot be read.
std::string ProgramFolder() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) {
        return {};
    }
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The process that holds a lock on the file, as the kernel's table of locks tells it; 0 when the table lists
// no holder of it with a process id (one in another pid namespace, on another machine of a network filesystem).
long LockHolder(const struct stat& file) {
    const std::optional<std::string> table = ReadWholeFile("/proc/locks");
    if (!table) {
        return 0;
    }
    // A line: "1: FLOCK  ADVISORY  WRITE 7524 fe:00:10953176 0 EOF"; blocked requests carry "->".
    std::array<char, 64> key{};
    std::snprintf(key.data(), key.size(), " %02x:%02x:%llu ", major(file.st_dev), minor(file.st_dev),
                  static_cast<unsigned long long>(file.st_ino));
    std::string_view rest(*table);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        const std::size_t at = line.find(key.data());
        if (at == std::string_view::npos || line.find("->") != std::string_view::npos) {
            continue;
        }
        const std::string_view before = line.substr(0, at);
        long pid = 0;
        std::from_chars(before.data() + before.rfind(' ') + 1, before.data() + before.size(), pid);
        if (pid > 0) {
            return pid;
        }
    }
    return 0;
}

} // namespace

StopRequestHandle WatchStopRequests() {
    if (g_readFd < 0) {
        int fds[2] = {-1, -1};
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return kNoStopRequests; // the default handlers stay: a signal still ends the process, less politely
        }
        g_readFd = fds[0];
        g_writeFd = fds[1];
        // The handlers stay until the process ends: a stop signal during the teardown then changes nothing.
        Install(SIGINT, OnStopSignal);
        Install(SIGTERM, OnStopSignal);
        Install(SIGHUP, OnReloadSignal);
    }
    return g_readFd;
}

SessionRequests TakeSessionRequests() {
    SessionRequests requests;
    unsigned char byte = 0;
    while (g_readFd >= 0 && ::read(g_readFd, &byte, 1) == 1) {
        if (byte == SIGHUP) {
            requests.reload = true;
        } else {
            requests.stopSignal = byte;
        }
    }
    return requests;
}

InstanceLock LockInstance(const std::string& path) {
    InstanceLock lock;
    // Never through a symbolic link: one planted at the name would have our id written into its target. A
    // FIFO or a device put there neither hangs the start nor becomes our terminal.
    constexpr int kPlainFileOnly = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    // Never closed: the lock lives as long as the process. A program started from here does not inherit it
    // (O_CLOEXEC); the display probe's child shares it for its short life only.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kPlainFileOnly, 0644);
    const int openError = errno;
    if (fd < 0) {
        // A lock file that this user may not write (left by another user) still takes a lock.
        fd = ::open(path.c_str(), O_RDONLY | kPlainFileOnly);
    }
    if (fd < 0) {
        lock.failure = openError == ELOOP ? "a symbolic link, which is not followed" : std::strerror(openError);
        return lock;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        lock.failure = "not a regular file";
        ::close(fd);
        return lock;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (info.st_nlink != 1) {
            // Further names: maybe somebody else's file linked in here, which must not be overwritten.
            lock.failure = "the file has further names; the process id is not written into it";
        } else if (::ftruncate(fd, 0) != 0 ||
                   ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
            // The lock holds all the same; only a reader of the file misses the holder's id.
            lock.failure = std::strerror(errno);
        }
        lock.outcome = InstanceLock::Outcome::Taken;
        return lock;
    }
    if (errno != EWOULDBLOCK) {
        lock.failure = std::strerror(errno);
        ::close(fd);
        return lock;
    }
    lock.outcome = InstanceLock::Outcome::HeldByAnother;
    // Not the id in the file: a holder that could not write the file left an earlier holder's id there.
    lock.ownerPid = LockHolder(info);
    ::close(fd);
    return lock;
}

bool StopRequestArrived() {
    return g_stopArrived.load();
}

bool DisplayMayExist() {
    return (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) && PlatformMayShowWindows();
}

bool ProbeApart(bool (*probe)(int argc, char** argv), int argc, char** argv, int timeoutSeconds) {
    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        // The parent's stop handlers would report the child's signals to the parent; a crash leaves no core.
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
        const struct rlimit noCore = {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (devNull >= 0) {
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        std::_Exit(probe(argc, argv) ? 0 : 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void* LoadModuleSymbol(const std::string& fileName, const std::string& relativeFolder, const char* symbol,
                       std::string& failure) {
    const std::string programFolder = ProgramFolder();
    if (programFolder.empty()) {
        failure = "the program's folder is unknown";
        return nullptr;
    }
    for (const std::string& folder : {programFolder, programFolder + "/" + relativeFolder}) {
        const std::string path = folder + '/' + fileName;
        // Stays loaded until the process ends: Qt keeps pointers into it (meta objects, plugins' callbacks).
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            const char* error = ::dlerror();
            failure = error != nullptr ? error : path;
            continue;
        }
        if (void* entry = ::dlsym(module, symbol); entry != nullptr) {
            return entry;
        }
        failure = path + ": no entry " + symbol;
        ::dlclose(module);
    }
    return nullptr;
}
