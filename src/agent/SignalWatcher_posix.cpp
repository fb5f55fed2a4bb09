#include "agent/SignalWatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Write end of the pipe; read by the handler, so it must be a plain lock-free object.
volatile std::sig_atomic_t g_writeFd = -1;
int g_readFd = -1;
// Set by the handler; lock-free, so setting it is safe there.
std::atomic<bool> g_stopArrived{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signalNumber) {
    const int savedErrno = errno;
    g_stopArrived.store(true);
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a pending stop: losing this byte changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    errno = savedErrno;
}

void Install(int signalNumber, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

void SignalWatcher::InstallHandlers() {
    if (g_readFd >= 0) {
        return;
    }
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the default handlers stay: a signal still ends the process, only less politely
    }
    g_readFd = fds[0];
    g_writeFd = fds[1];
    Install(SIGINT, OnStopSignal);
    Install(SIGTERM, OnStopSignal);
}

bool SignalWatcher::StopArrived() {
    return g_stopArrived.load();
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    InstallHandlers();
    if (g_readFd < 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(g_readFd), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SignalWatcher::OnStopPending);
}

// The handlers stay until the process ends: a stop signal during the teardown then changes nothing.
SignalWatcher::~SignalWatcher() = default;

void SignalWatcher::OnStopPending() {
    unsigned char byte = 0;
    int last = 0;
    while (::read(g_readFd, &byte, 1) == 1) {
        last = byte;
    }
    if (last != 0) {
        emit StopRequested(last);
    }
}
