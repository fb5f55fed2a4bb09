#pragma once

#include <functional>

#include "platform/EventSource.h"

// Turns a stop request (SIGINT, SIGTERM) or a reload request (SIGHUP) from outside into a call on the event
// loop's thread: the platform's handler only marks the request, whose handle wakes the loop. Requests that
// arrived before the watcher existed are reported once the loop runs.
class SignalWatcher final : private EventSource::Handler {
public:
    // onStop gets the number of the stop request's signal; a reload is reported before a stop.
    SignalWatcher(EventSource& events, std::function<void(int signalNumber)> onStop, std::function<void()> onReload);
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void OnReady(Descriptor descriptor) override;

    EventSource& m_events;
    Descriptor m_handle = kNoDescriptor;
    std::function<void(int)> m_onStop;
    std::function<void()> m_onReload;
};
