#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "TempDir.h"
#include "WindowEventSource.h"
#include "core/capacity/Monitor.h"
#include "core/net/CommandListener.h"
#include "platform/Sockets.h"

namespace {

WindowEventSource* g_source = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_source != nullptr && g_source->OnMessage(message, wParam, lParam)) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The command listener over the sockets and a message-only window of this thread, as the program runs it.
class WindowEventSourceTest : public ::testing::Test {
protected:
    WindowEventSourceTest() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.lpszClassName = L"tarvellin.test.events";
        RegisterClassW(&windowClass);
        m_window =
            CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        m_events = std::make_unique<WindowEventSource>(m_window);
        g_source = m_events.get();
        m_listener = std::make_unique<CommandListener>(m_monitor, *m_events, *m_sockets);
    }
    ~WindowEventSourceTest() override {
        m_listener.reset();
        g_source = nullptr;
        m_events.reset();
        DestroyWindow(m_window);
        WSACleanup();
    }

    // Dispatches the window's messages until the condition holds or 10 s have passed.
    bool PumpUntil(const std::function<bool()>& condition) {
        const ULONGLONG end = GetTickCount64() + 10000;
        while (!condition() && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            MSG message{};
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&message);
            }
        }
        return condition();
    }

    TempDir m_dir;
    FakePlatform m_platform;
    Monitor m_monitor{m_platform, m_dir.Folder() + "tarvellin.ini"};
    std::unique_ptr<Sockets> m_sockets = CreateSockets();
    HWND m_window = nullptr;
    std::unique_ptr<WindowEventSource> m_events;
    std::unique_ptr<CommandListener> m_listener;
};

TEST_F(WindowEventSourceTest, ConnectionsWaitingBeyondOneTurnsAcceptsAreAllAnswered) {
    ASSERT_TRUE(m_listener->StartListening(0, "127.0.0.1"));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(m_listener->ListeningPort()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // All are waiting with their request before the listener's first turn.
    const std::string request = "GET /renew HTTP/1.1\r\n\r\n";
    std::vector<SOCKET> clients(3 * ConnectionPolicy::kAcceptsPerTurn + 1);
    for (SOCKET& client : clients) {
        client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_EQ(connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        send(client, request.data(), static_cast<int>(request.size()), 0);
        u_long on = 1;
        ioctlsocket(client, FIONBIO, &on);
    }
    std::vector<std::string> replies(clients.size());
    std::vector<bool> closed(clients.size());
    const auto allClosed = [&] {
        for (std::size_t i = 0; i < clients.size(); ++i) {
            std::array<char, 256> buffer;
            int count = 0;
            while (!closed[i] && (count = recv(clients[i], buffer.data(), static_cast<int>(buffer.size()), 0)) > 0) {
                replies[i].append(buffer.data(), static_cast<std::size_t>(count));
            }
            closed[i] = closed[i] || count == 0;
        }
        return std::find(closed.begin(), closed.end(), false) == closed.end();
    };
    EXPECT_TRUE(PumpUntil(allClosed));
    for (std::size_t i = 0; i < clients.size(); ++i) {
        EXPECT_EQ(replies[i], "HTTP/1.1 404 Not Found") << "client " << i;
        closesocket(clients[i]);
    }
    EXPECT_EQ(m_listener->OpenConnections(), 0U);
}

TEST_F(WindowEventSourceTest, ListeningFailuresAreTold) {
    ASSERT_TRUE(m_listener->StartListening(0));
    const std::unique_ptr<Sockets> sockets = CreateSockets();
    // Another program on the port: refused, with the system's code.
    const Sockets::Listening taken = sockets->Listen(m_listener->ListeningPort(), "", 4);
    EXPECT_EQ(taken.outcome, Sockets::Listening::Outcome::Failed);
    EXPECT_EQ(taken.failure.rfind("Windows Sockets error ", 0), 0U) << taken.failure;
    EXPECT_EQ(sockets->Listen(0, "localhost", 4).outcome, Sockets::Listening::Outcome::NotAnAddress);
    // A link-local address without its interface is read as IPv6 for the advice.
    const Sockets::Listening linkLocal = sockets->Listen(0, "fe80::1", 4);
    EXPECT_TRUE(linkLocal.ipv6 && !linkLocal.scoped && linkLocal.ipv6Address[0] == 0xfe);
    sockets->Close(linkLocal.socket);
}

} // namespace
