#include "headless/SignalWatcher.h"

#include "platform/Session.h"

#include <utility>

SignalWatcher::SignalWatcher(EventSource& events, std::function<void(int)> onStop, std::function<void()> onReload)
    : m_events(events), m_onStop(std::move(onStop)), m_onReload(std::move(onReload)) {
    const StopRequestHandle handle = WatchStopRequests();
    if (handle == kNoStopRequests) {
        return;
    }
    m_handle = handle;
    m_events.Watch(m_handle, EventSource::Interest::Read, *this);
}

// The handlers stay until the process ends: a stop request during the teardown then changes nothing.
SignalWatcher::~SignalWatcher() {
    if (m_handle != kNoDescriptor) {
        m_events.Unwatch(m_handle);
    }
}

void SignalWatcher::OnReady(Descriptor /*descriptor*/) {
    const SessionRequests requests = TakeSessionRequests();
    if (requests.reload && m_onReload) {
        m_onReload();
    }
    if (requests.stopSignal != 0 && m_onStop) {
        m_onStop(requests.stopSignal);
    }
}
