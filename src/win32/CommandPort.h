#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "core/net/ConnectionPolicy.h"

class Monitor;

// The command port over Windows Sockets: the listening socket and the accepted connections, whose network
// events arrive as window messages (WSAAsyncSelect) at the agent's hidden window and are handed to the
// connection policy; this carries out what the policy asks for (answer a request, close a connection) and
// wakes it with a window timer when a deadline is due. Runs on the agent's one thread.
class CommandPort {
public:
    using ConnectionId = ConnectionPolicy::ConnectionId;

    // The window message that carries the sockets' network events.
    static constexpr UINT kSocketMessage = WM_USER + 101;
    // The window timer that wakes the policy for its deadlines.
    static constexpr UINT_PTR kWakeTimer = 3;
    // The window receives kSocketMessage and kWakeTimer and hands them to OnSocketMessage and OnWakeTimer.
    CommandPort(Monitor& monitor, HWND window);
    // Closes the listening socket and every connection.
    ~CommandPort();
    CommandPort(const CommandPort&) = delete;
    CommandPort& operator=(const CommandPort&) = delete;

    // Listens on the port on the local address (an IPv4 or IPv6 literal), on all IPv4 addresses when it is
    // empty; false, with one line on stderr, when the port is outside 0..65535, the address is no literal, or
    // the port cannot be listened on there (the agent then runs without a listener).
    bool StartListening(int port, const std::string& address = {});

    // A network event of one of the sockets (wParam and lParam of kSocketMessage).
    void OnSocketMessage(WPARAM wParam, LPARAM lParam);
    // The wake timer has fired.
    void OnWakeTimer();

private:
    ConnectionPolicy::Milliseconds Now() const;
    void OnAccept();
    // Reads what the connection has for the policy: its bytes, the end of its input, or its failure. A stale
    // event for a socket handle that has been reused meanwhile finds nothing to read and changes nothing.
    void Pump(ConnectionId id, SOCKET socket);
    // Carries out the policy's actions until none is left, then sets the wake timer for its next deadline.
    void CarryOut();
    void Send(ConnectionId id, const std::string& reply);
    void CloseConnection(ConnectionId id);

    Monitor& m_monitor;
    HWND m_window;
    ConnectionPolicy m_policy;
    SOCKET m_listening = INVALID_SOCKET;
    std::map<ConnectionId, SOCKET> m_sockets;
    std::map<SOCKET, ConnectionId> m_ids;
    ConnectionId m_nextId = 1;
    std::uint64_t m_start;
};
