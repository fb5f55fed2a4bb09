#include "app/DisplayProbe.h"

#include <QGuiApplication>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kProbeDisplayOk = 0;
constexpr auto kProbeTimeout = std::chrono::seconds(10);

// In the child: connect to the display as the program would; exits 0 when it works. A plugin that cannot
// connect ends the child with an abort, which the parent reads as "no display".
[[noreturn]] void RunProbe(int argc, char** argv) {
    // The parent's stop handlers would report the child's signals to the parent.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    const struct rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull >= 0) {
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
    }
    QGuiApplication probe(argc, argv);
    const QString name = QGuiApplication::platformName();
    const bool windows = name == QLatin1String("xcb") || name.startsWith(QLatin1String("wayland"));
    std::_Exit(windows ? kProbeDisplayOk : 1);
}

} // namespace

bool DisplayConnects(int argc, char** argv) {
    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        RunProbe(argc, argv);
    }
    const auto deadline = std::chrono::steady_clock::now() + kProbeTimeout;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) && WEXITSTATUS(status) == kProbeDisplayOk;
        }
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
