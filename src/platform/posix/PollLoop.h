#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <poll.h>

#include "platform/EventSource.h"

// The headless program's event loop: poll over the watched descriptors, sleeping until the earliest armed
// timer. Signals reach it through the descriptor of WatchStopRequests.
class PollLoop final : public EventSource {
public:
    PollLoop() = default;
    ~PollLoop() override;
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    void Watch(Descriptor descriptor, Interest interest, Handler& handler) override;
    void Unwatch(Descriptor descriptor) override;
    std::unique_ptr<EventTimer> CreateTimer(std::function<void()> onTimeout) override;
    std::int64_t Now() const override;
    void Quit(int exitCode) override;

    // Runs the loop until Quit; returns the exit code Quit was given. May run again afterwards.
    int Run();

private:
    class Timer;
    struct Watched {
        Descriptor descriptor = kNoDescriptor;
        short events = 0;
        Handler* handler = nullptr;
        std::uint64_t serial = 0; // tells a watch from a later one of the same descriptor number
    };

    // Fires the timers due now, each once; a timer armed by one of them waits for the next turn.
    void FireDueTimers();
    // Milliseconds until the earliest armed timer, -1 when none is armed.
    int PollTimeout() const;
    void Dispatch(int ready);

    std::vector<Watched> m_watched;
    std::vector<pollfd> m_polled;               // the poll set of this turn ...
    std::vector<std::uint64_t> m_polledSerials; // ... and the watch each entry stood for
    std::vector<Timer*> m_timers;
    std::uint64_t m_nextSerial = 1;
    bool m_quit = false;
    int m_exitCode = 0;
};
