#include "CommandPort.h"

#include <ws2tcpip.h>

#include "core/capacity/Monitor.h"
#include "core/net/ListenAddress.h"
#include "core/net/Request.h"
#include "core/diagnostics/Report.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <span>
#include <string>

namespace {

std::string SocketError(int code) {
    return "Windows Sockets error " + std::to_string(code);
}

// The local address of the listener: every IPv4 address when text is empty, else an IPv4 or IPv6 literal.
bool LocalAddress(const std::string& text, int port, sockaddr_storage& address, int& length) {
    address = {};
    if (text.empty()) {
        auto& ipv4 = reinterpret_cast<sockaddr_in&>(address);
        ipv4.sin_family = AF_INET;
        ipv4.sin_addr.s_addr = htonl(INADDR_ANY);
        ipv4.sin_port = htons(static_cast<u_short>(port));
        length = sizeof(sockaddr_in);
        return true;
    }
    for (const int family : {AF_INET, AF_INET6}) {
        std::string buffer = text; // the call takes a writable text
        length = sizeof(address);
        if (WSAStringToAddressA(buffer.data(), family, nullptr, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            if (family == AF_INET) {
                reinterpret_cast<sockaddr_in&>(address).sin_port = htons(static_cast<u_short>(port));
            } else {
                reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(static_cast<u_short>(port));
            }
            return true;
        }
    }
    return false;
}

// The peer as the connection policy counts it.
std::string PeerKey(const sockaddr_storage& peer) {
    if (peer.ss_family == AF_INET) {
        const auto& ipv4 = reinterpret_cast<const sockaddr_in&>(peer);
        return ConnectionPolicy::PeerKey(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&ipv4.sin_addr), 4));
    }
    if (peer.ss_family == AF_INET6) {
        const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(peer);
        return ConnectionPolicy::PeerKey(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&ipv6.sin6_addr), 16));
    }
    return {};
}

} // namespace

CommandPort::CommandPort(Monitor& monitor, HWND window)
    : m_monitor(monitor), m_window(window), m_start(GetTickCount64()) {}

CommandPort::~CommandPort() {
    KillTimer(m_window, kWakeTimer);
    for (const auto& [id, socket] : m_sockets) {
        closesocket(socket);
    }
    if (m_listening != INVALID_SOCKET) {
        closesocket(m_listening);
    }
}

ConnectionPolicy::Milliseconds CommandPort::Now() const {
    return static_cast<ConnectionPolicy::Milliseconds>(GetTickCount64() - m_start);
}

bool CommandPort::StartListening(int port, const std::string& localAddress) {
    if (const std::optional<std::string> outside = PortOutsideRange(port)) {
        Report("no command listener: " + *outside);
        return false;
    }
    sockaddr_storage address{};
    int addressLength = 0;
    // A mistyped address leaves the port closed rather than open on every network.
    if (!LocalAddress(localAddress, port, address, addressLength)) {
        Report("no command listener: [Http] Address " + localAddress + " is not an IPv4 or IPv6 address");
        return false;
    }
    const SOCKET listening = socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (listening == INVALID_SOCKET) {
        Report("no command listener: " + SocketError(WSAGetLastError()));
        return false;
    }
    // No other program may bind the same port beside this one and take its connections.
    BOOL exclusive = TRUE;
    setsockopt(listening, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof(exclusive));
    if (bind(listening, reinterpret_cast<const sockaddr*>(&address), addressLength) == SOCKET_ERROR ||
        listen(listening, ConnectionPolicy::kListenBacklog) == SOCKET_ERROR ||
        WSAAsyncSelect(listening, m_window, kSocketMessage, FD_ACCEPT) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        std::string advice;
        if (address.ss_family == AF_INET6) {
            const auto& ipv6 = reinterpret_cast<const sockaddr_in6&>(address);
            advice = ListenAddressAdvice(
                localAddress,
                std::span<const std::uint8_t, 16>(reinterpret_cast<const std::uint8_t*>(&ipv6.sin6_addr), 16),
                ipv6.sin6_scope_id != 0);
        }
        Report("no command listener: cannot listen on port " + std::to_string(port) +
               (localAddress.empty() ? std::string() : " of " + localAddress) + ": " + SocketError(error) +
               (advice.empty() ? std::string() : "; " + advice));
        closesocket(listening);
        return false;
    }
    m_listening = listening;
    return true;
}

void CommandPort::OnSocketMessage(WPARAM wParam, LPARAM lParam) {
    const auto socket = static_cast<SOCKET>(wParam);
    if (socket == m_listening) {
        if (WSAGETSELECTEVENT(lParam) == FD_ACCEPT && WSAGETSELECTERROR(lParam) == 0) {
            OnAccept();
        }
    } else if (const auto found = m_ids.find(socket); found != m_ids.end()) {
        // Read, end of input and failure are all told apart by what the socket says now, whatever the event.
        Pump(found->second, socket);
    }
    CarryOut();
}

void CommandPort::OnWakeTimer() {
    KillTimer(m_window, kWakeTimer);
    m_policy.TimePassed(Now());
    CarryOut();
}

void CommandPort::OnAccept() {
    for (int taken = 0;; ++taken) {
        if (taken == ConnectionPolicy::kAcceptsPerTurn) {
            // The rest after the network events of those taken, which are in the queue by now.
            PostMessageA(m_window, kSocketMessage, static_cast<WPARAM>(m_listening), WSAMAKESELECTREPLY(FD_ACCEPT, 0));
            return;
        }
        sockaddr_storage peer{};
        int peerLength = sizeof(peer);
        const SOCKET connection = accept(m_listening, reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (connection == INVALID_SOCKET) {
            return;
        }
        // An accepted socket inherits the listening socket's events; it wants its own.
        if (WSAAsyncSelect(connection, m_window, kSocketMessage, FD_READ | FD_CLOSE) == SOCKET_ERROR) {
            closesocket(connection);
            continue;
        }
        const ConnectionId id = m_nextId++;
        m_sockets.emplace(id, connection);
        m_ids[connection] = id;
        m_policy.Accepted(id, PeerKey(peer), Now());
        // A request that came with the connection is complete before the next accept could push it out.
        Pump(id, connection);
    }
}

void CommandPort::Pump(ConnectionId id, SOCKET socket) {
    if (ConnectionPolicy::ReadingFor(m_monitor.Settings()) == ConnectionPolicy::Reading::RefuseUnread) {
        // Requests are not read: a look tells whether anything was sent; the bytes go with the close.
        char byte = 0;
        const int peeked = recv(socket, &byte, 1, MSG_PEEK);
        if (peeked > 0) {
            m_policy.DataArrived(id, {}, Now(), ConnectionPolicy::Reading::RefuseUnread);
        } else if (peeked == 0) {
            m_policy.InputEnded(id);
        } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
            m_policy.PeerClosed(id);
        }
        return;
    }
    std::array<char, 4096> buffer{};
    std::size_t taken = 0;
    // The rest of a connection's input comes with its next network event.
    while (taken < ConnectionPolicy::kMaxReadBytes) {
        const int count = recv(socket, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (count > 0) {
            taken += static_cast<std::size_t>(count);
            m_policy.DataArrived(id, std::string_view(buffer.data(), static_cast<std::size_t>(count)), Now(),
                                 ConnectionPolicy::ReadingFor(m_monitor.Settings()));
        } else if (count == 0) {
            m_policy.InputEnded(id);
            return;
        } else {
            if (WSAGetLastError() != WSAEWOULDBLOCK) {
                m_policy.PeerClosed(id);
            }
            return;
        }
    }
}

void CommandPort::CarryOut() {
    const std::optional<ConnectionPolicy::Milliseconds> delay = m_policy.CarryOut(
        m_monitor, [this](ConnectionId id) { CloseConnection(id); },
        [this](ConnectionId id, const std::string& reply) { Send(id, reply); }, [this] { return Now(); });
    if (delay) {
        SetTimer(m_window, kWakeTimer, static_cast<UINT>(*delay), nullptr);
    } else {
        KillTimer(m_window, kWakeTimer);
    }
}

void CommandPort::Send(ConnectionId id, const std::string& reply) {
    const auto found = m_sockets.find(id);
    if (found == m_sockets.end()) {
        return;
    }
    // A reply of a few hundred bytes fits the socket's buffer in one piece.
    std::size_t sent = 0;
    while (sent < reply.size()) {
        const int count = send(found->second, reply.data() + sent,
                               static_cast<int>(std::min<std::size_t>(reply.size() - sent, INT_MAX)), 0);
        if (count <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(count);
    }
}

void CommandPort::CloseConnection(ConnectionId id) {
    const auto found = m_sockets.find(id);
    if (found == m_sockets.end()) {
        return;
    }
    const SOCKET socket = found->second;
    m_sockets.erase(found);
    m_ids.erase(socket);
    // Unread input at the close would make the peer see a reset, which can destroy the reply before the
    // client has read it: read and drop what has come, then end the sending side and close.
    WSAAsyncSelect(socket, m_window, 0, 0);
    std::array<char, 4096> sink{};
    std::size_t dropped = 0;
    while (dropped < ConnectionPolicy::kMaxDrainBytes) {
        const int count = recv(socket, sink.data(), static_cast<int>(sink.size()), 0);
        if (count <= 0) {
            break;
        }
        dropped += static_cast<std::size_t>(count);
    }
    shutdown(socket, SD_SEND);
    closesocket(socket);
}
