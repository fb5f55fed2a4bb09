#include "WindowEventSource.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <utility>

namespace {

SOCKET AsSocket(Descriptor descriptor) {
    return static_cast<SOCKET>(descriptor);
}

// Whether the socket is ready for the interest (or has failed) right now.
bool Ready(Descriptor descriptor, EventSource::Interest interest) {
    fd_set set{};
    set.fd_count = 1;
    set.fd_array[0] = AsSocket(descriptor);
    timeval now{};
    return interest == EventSource::Interest::Read ? select(0, &set, nullptr, nullptr, &now) == 1
                                                   : select(0, nullptr, &set, nullptr, &now) == 1;
}

} // namespace

class WindowEventSource::Timer final : public EventTimer {
public:
    Timer(WindowEventSource& source, std::function<void()> onTimeout)
        : m_source(source), m_id(source.m_nextTimerId++), m_onTimeout(std::move(onTimeout)) {
        m_source.m_timers.emplace(m_id, this);
    }
    ~Timer() override {
        Stop();
        m_source.m_timers.erase(m_id);
    }
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void Start(std::chrono::milliseconds delay) override {
        m_due = m_source.Now() + std::max<std::int64_t>(delay.count(), 0);
        Set(delay.count());
    }
    void Stop() override {
        m_due.reset();
        KillTimer(m_source.m_window, m_id);
    }

    // A WM_TIMER of this timer: fires it when it is due. A message of an earlier arming, or one that comes
    // before the time (the window's timers tick coarser than the clock), waits for the time.
    void OnTimerMessage() {
        if (!m_due) {
            KillTimer(m_source.m_window, m_id);
            return;
        }
        if (const std::int64_t left = *m_due - m_source.Now(); left > 0) {
            Set(left);
            return;
        }
        Stop();
        m_onTimeout();
    }

private:
    void Set(std::int64_t delay) {
        SetTimer(m_source.m_window, m_id,
                 static_cast<UINT>(std::clamp<std::int64_t>(delay, USER_TIMER_MINIMUM, INT_MAX)), nullptr);
    }

    WindowEventSource& m_source;
    const UINT_PTR m_id;
    std::function<void()> m_onTimeout;
    std::optional<std::int64_t> m_due;
};

WindowEventSource::~WindowEventSource() {
    for (const auto& [descriptor, watched] : m_watched) {
        WSAAsyncSelect(AsSocket(descriptor), m_window, 0, 0);
    }
}

void WindowEventSource::Watch(Descriptor descriptor, Interest interest, Handler& handler) {
    const UINT message = kFirstSocketMessage + m_nextWatch++ % kSocketMessages;
    // FD_CLOSE with either: a peer's end or reset is read (or fails to be written) as the interest's event.
    const long events = interest == Interest::Read ? FD_ACCEPT | FD_READ | FD_CLOSE : FD_WRITE | FD_CLOSE;
    WSAAsyncSelect(AsSocket(descriptor), m_window, message, events);
    m_watched[descriptor] = {interest, &handler, message};
}

void WindowEventSource::Unwatch(Descriptor descriptor) {
    if (m_watched.erase(descriptor) != 0) {
        WSAAsyncSelect(AsSocket(descriptor), m_window, 0, 0);
    }
}

std::unique_ptr<EventTimer> WindowEventSource::CreateTimer(std::function<void()> onTimeout) {
    return std::make_unique<Timer>(*this, std::move(onTimeout));
}

std::int64_t WindowEventSource::Now() const {
    return static_cast<std::int64_t>(GetTickCount64());
}

void WindowEventSource::Quit(int exitCode) {
    PostQuitMessage(exitCode);
}

bool WindowEventSource::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_TIMER) {
        const auto found = m_timers.find(static_cast<UINT_PTR>(wParam));
        if (found == m_timers.end()) {
            return static_cast<UINT_PTR>(wParam) >= kFirstTimerId; // a timer destroyed meanwhile
        }
        found->second->OnTimerMessage();
        return true;
    }
    if (message < kFirstSocketMessage || message >= kFirstSocketMessage + kSocketMessages) {
        return false;
    }
    OnSocketMessage(message, static_cast<Descriptor>(wParam));
    return true;
}

void WindowEventSource::OnSocketMessage(UINT message, Descriptor descriptor) {
    const auto isWatch = [this, descriptor, message] {
        const auto found = m_watched.find(descriptor);
        return found != m_watched.end() && found->second.message == message;
    };
    // A socket no longer watched, or watched anew since the event was queued, is not told.
    if (!isWatch()) {
        return;
    }
    const Watched watched = m_watched[descriptor];
    watched.handler->OnReady(descriptor);
    // Windows Sockets posts an event again only after the call that takes it (accept, recv, a send refused for
    // want of room), while the handler may leave the socket ready (connections or input left for the next turn, a
    // send that took part of the rest): a socket still ready after its turn gets another message behind those
    // queued now, as a poll loop would report it again.
    if (isWatch() && Ready(descriptor, watched.interest)) {
        PostMessageW(m_window, message, static_cast<WPARAM>(descriptor), 0);
    }
}
