#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <map>

#include "platform/EventSource.h"

// The event source over a window of the agent's thread, for the Windows program: the sockets' network events
// arrive as window messages (WSAAsyncSelect), the timers are the window's timers, and nested modal loops
// (dialogs, boxes, menus) deliver both as the program's own loop does. The window hands every message to
// OnMessage first. Quit ends the thread's message loop.
class WindowEventSource final : public EventSource {
public:
    // The window messages that carry the sockets' network events, one number per watch in turn, so that an
    // event queued for an earlier watch of the same socket is told apart: [kFirstSocketMessage, + kSocketMessages).
    static constexpr UINT kFirstSocketMessage = WM_APP + 0x100;
    static constexpr UINT kSocketMessages = 0x1000;
    // The window's timers from this id on belong to the event source; the ids below are the window's own.
    static constexpr UINT_PTR kFirstTimerId = 0x100;

    explicit WindowEventSource(HWND window) : m_window(window) {}
    ~WindowEventSource() override;
    WindowEventSource(const WindowEventSource&) = delete;
    WindowEventSource& operator=(const WindowEventSource&) = delete;

    void Watch(Descriptor descriptor, Interest interest, Handler& handler) override;
    void Unwatch(Descriptor descriptor) override;
    std::unique_ptr<EventTimer> CreateTimer(std::function<void()> onTimeout) override;
    std::int64_t Now() const override;
    void Quit(int exitCode) override;

    // Handles a message of a watched socket or of a timer of this source: true when it was one of them (a stale
    // one included), false for any other message of the window.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    class Timer;
    struct Watched {
        Interest interest = Interest::Read;
        Handler* handler = nullptr;
        UINT message = 0; // the message of this watch
    };

    void OnSocketMessage(UINT message, Descriptor descriptor);

    HWND m_window;
    std::map<Descriptor, Watched> m_watched;
    std::map<UINT_PTR, Timer*> m_timers;
    UINT_PTR m_nextTimerId = kFirstTimerId;
    std::uint32_t m_nextWatch = 0;
};
