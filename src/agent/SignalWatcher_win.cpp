#include "agent/SignalWatcher.h"

#include <QWinEventNotifier>

#include <atomic>
#include <csignal>

// Last, so its macros cannot rename anything declared above; nothing in this file clashes with them.
#include <windows.h>

namespace {

// How long closing the console (or shutting down) waits for the agent to end before the process ends; the
// system itself ends the process after about five seconds.
constexpr DWORD kEndWaitMs = 4000;

// Set by the handler while a request is pending; auto-reset, so waking the loop consumes it.
HANDLE g_pending = nullptr;
// Set when watching ends (the agent is gone): a closing console may then let the process end.
HANDLE g_finished = nullptr;
// Signal number of the latest request; 0 when none is pending.
std::atomic<int> g_lastSignal{0};
std::atomic<bool> g_stopArrived{false};

void RequestStop(int signalNumber) {
    g_stopArrived.store(true);
    g_lastSignal.store(signalNumber);
    ::SetEvent(g_pending);
}

// Runs on a thread the system starts for each console event, never on the loop's thread.
BOOL WINAPI OnConsoleControl(DWORD controlType) {
    switch (controlType) {
    case CTRL_C_EVENT:
        RequestStop(SIGINT);
        return TRUE; // handled: the process goes on until the loop has ended
    case CTRL_BREAK_EVENT:
        RequestStop(SIGBREAK);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the process as soon as this returns: let the agent end first (tray icon removed,
        // listener closed), as it does after Ctrl+C.
        RequestStop(SIGTERM);
        ::WaitForSingleObject(g_finished, kEndWaitMs);
        return TRUE;
    case CTRL_LOGOFF_EVENT:
        // Reaches only a process that outlives the session (a service); some user logging off is no reason to stop.
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void SignalWatcher::InstallHandlers() {
    if (g_pending != nullptr) {
        return;
    }
    HANDLE pending = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (pending == nullptr || finished == nullptr) {
        if (pending != nullptr) {
            ::CloseHandle(pending);
        }
        if (finished != nullptr) {
            ::CloseHandle(finished);
        }
        return; // the default handling stays: Ctrl+C still ends the process, only less politely
    }
    g_pending = pending;
    g_finished = finished;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool SignalWatcher::StopArrived() {
    return g_stopArrived.load();
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    InstallHandlers();
    if (g_pending == nullptr) {
        return;
    }
    ::ResetEvent(g_finished);
    auto* notifier = new QWinEventNotifier(g_pending, this);
    connect(notifier, &QWinEventNotifier::activated, this, &SignalWatcher::OnStopPending);
}

// The handler stays until the process ends: a request during the teardown then changes nothing.
SignalWatcher::~SignalWatcher() {
    if (g_finished != nullptr) {
        ::SetEvent(g_finished);
    }
}

void SignalWatcher::OnStopPending() {
    const int last = g_lastSignal.exchange(0);
    if (last != 0) {
        emit StopRequested(last);
    }
}
