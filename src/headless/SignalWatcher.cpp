#include "headless/SignalWatcher.h"

#include <QSocketNotifier>

#include "platform/Session.h"

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    const StopRequestHandle handle = WatchStopRequests();
    if (handle == kNoStopRequests) {
        return;
    }
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SignalWatcher::OnRequestPending);
}

// The handlers stay until the process ends: a stop request during the teardown then changes nothing.
SignalWatcher::~SignalWatcher() = default;

void SignalWatcher::OnRequestPending() {
    const SessionRequests requests = TakeSessionRequests();
    if (requests.reload) {
        emit ReloadRequested();
    }
    if (requests.stopSignal != 0) {
        emit StopRequested(requests.stopSignal);
    }
}
