#include "PollLoop.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <utility>

class PollLoop::Timer final : public EventTimer {
public:
    Timer(PollLoop& loop, std::function<void()> onTimeout) : m_loop(loop), m_onTimeout(std::move(onTimeout)) {
        m_loop.m_timers.push_back(this);
    }
    ~Timer() override { std::erase(m_loop.m_timers, this); }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void Start(std::chrono::milliseconds delay) override {
        m_due = m_loop.Now() + std::max<std::int64_t>(delay.count(), 0);
        m_armedAs = m_loop.m_nextSerial++;
    }
    void Stop() override { m_due.reset(); }

    std::optional<std::int64_t> m_due;
    std::uint64_t m_armedAs = 0;
    PollLoop& m_loop;
    std::function<void()> m_onTimeout;
};

PollLoop::~PollLoop() = default;

void PollLoop::Watch(Descriptor descriptor, Interest interest, Handler& handler) {
    const short events = interest == Interest::Read ? POLLIN : POLLOUT;
    const auto found = std::find_if(m_watched.begin(), m_watched.end(),
                                    [descriptor](const Watched& watched) { return watched.descriptor == descriptor; });
    Watched& watched = found != m_watched.end() ? *found : m_watched.emplace_back();
    watched = {descriptor, events, &handler, m_nextSerial++};
}

void PollLoop::Unwatch(Descriptor descriptor) {
    std::erase_if(m_watched, [descriptor](const Watched& watched) { return watched.descriptor == descriptor; });
}

std::unique_ptr<EventTimer> PollLoop::CreateTimer(std::function<void()> onTimeout) {
    return std::make_unique<Timer>(*this, std::move(onTimeout));
}

std::int64_t PollLoop::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PollLoop::Quit(int exitCode) {
    m_quit = true;
    m_exitCode = exitCode;
}

int PollLoop::Run() {
    m_quit = false;
    while (!m_quit) {
        FireDueTimers();
        if (m_quit) {
            break;
        }
        m_polled.clear();
        m_polledSerials.clear();
        for (const Watched& watched : m_watched) {
            m_polled.push_back({static_cast<int>(watched.descriptor), watched.events, 0});
            m_polledSerials.push_back(watched.serial);
        }
        const int ready = ::poll(m_polled.data(), m_polled.size(), PollTimeout());
        if (ready > 0) {
            Dispatch(ready);
        }
        // A signal ends the wait early (EINTR); its request waits on the watched pipe.
    }
    return m_exitCode;
}

void PollLoop::Dispatch(int ready) {
    for (std::size_t i = 0; i < m_polled.size() && ready > 0 && !m_quit; ++i) {
        if (m_polled[i].revents == 0) {
            continue;
        }
        --ready;
        // A handler before this one may have ended the watch, or ended it and watched a new socket that got
        // the same number: only the watch that was polled is told.
        const std::uint64_t serial = m_polledSerials[i];
        const auto found = std::find_if(m_watched.begin(), m_watched.end(),
                                        [serial](const Watched& watched) { return watched.serial == serial; });
        if (found != m_watched.end()) {
            found->handler->OnReady(found->descriptor);
        }
    }
}

void PollLoop::FireDueTimers() {
    const std::int64_t now = Now();
    const std::uint64_t turn = m_nextSerial;
    for (;;) {
        // Searched afresh after each call: a timeout may stop or destroy other timers.
        const auto due = std::find_if(m_timers.begin(), m_timers.end(), [now, turn](const Timer* timer) {
            return timer->m_due && *timer->m_due <= now && timer->m_armedAs < turn;
        });
        if (due == m_timers.end() || m_quit) {
            return;
        }
        Timer& timer = **due;
        timer.m_due.reset();
        timer.m_onTimeout();
    }
}

int PollLoop::PollTimeout() const {
    std::optional<std::int64_t> earliest;
    for (const Timer* timer : m_timers) {
        if (timer->m_due) {
            earliest = earliest ? std::min(*earliest, *timer->m_due) : *timer->m_due;
        }
    }
    if (!earliest) {
        return -1;
    }
    // Whole milliseconds of a clock read in whole milliseconds: the wait never ends before the timer is due.
    return static_cast<int>(std::clamp<std::int64_t>(*earliest - Now(), 0, INT_MAX));
}
