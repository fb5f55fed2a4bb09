#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// A descriptor the event source watches: a file descriptor on POSIX, a SOCKET on Windows.
using Descriptor = std::intptr_t;
inline constexpr Descriptor kNoDescriptor = -1;

// A single-shot timer of an event source; it never fires after it is stopped or destroyed, and it is not destroyed
// by its own timeout.
class EventTimer {
public:
    virtual ~EventTimer() = default;
    // Arms the timer to fire once, after at least delay (0: at the next turn of the loop); re-arming replaces the
    // earlier time.
    virtual void Start(std::chrono::milliseconds delay) = 0;
    virtual void Stop() = 0;
};

// The loop the agent runs in, as its parts see it: descriptors watched for readiness, single-shot timers and a
// monotonic clock. One thread only; a handler may watch, unwatch, arm and stop anything, itself included.
// Implemented by a poll loop for the headless program, over Qt's event loop for the desktop module and over the
// agent's window for the Windows program.
class EventSource {
public:
    // Called each time the descriptor is ready (readable or writable as asked, or failed) while it is watched.
    class Handler {
    public:
        virtual void OnReady(Descriptor descriptor) = 0;

    protected:
        ~Handler() = default;
    };
    enum class Interest { Read, Write };

    virtual ~EventSource() = default;
    // Watches the descriptor (one interest at a time; watching again replaces the earlier watch) until Unwatch.
    virtual void Watch(Descriptor descriptor, Interest interest, Handler& handler) = 0;
    // Stops watching; no handler call for the descriptor follows, also none already due in this turn.
    virtual void Unwatch(Descriptor descriptor) = 0;
    // A stopped timer that calls onTimeout on the loop's thread when it fires.
    virtual std::unique_ptr<EventTimer> CreateTimer(std::function<void()> onTimeout) = 0;
    // Milliseconds of a monotonic clock.
    virtual std::int64_t Now() const = 0;
    // Ends the loop the agent runs in, with the exit code.
    virtual void Quit(int exitCode) = 0;
};
