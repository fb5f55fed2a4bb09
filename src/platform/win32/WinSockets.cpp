#include "platform/Sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace {

std::string SocketError(int code) {
    return "Windows Sockets error " + std::to_string(code);
}

SOCKET AsSocket(Descriptor descriptor) {
    return static_cast<SOCKET>(descriptor);
}

int Length(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

std::ptrdiff_t Outcome(int count) {
    if (count != SOCKET_ERROR) {
        return count;
    }
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR ? Sockets::kWouldBlock : Sockets::kFailed;
}

// Without a blocking call the agent's one thread never waits on a peer.
void MakeNonBlocking(SOCKET socket) {
    u_long on = 1;
    ioctlsocket(socket, FIONBIO, &on);
}

// A socket that a started program does not inherit; where the system does not know the flag (before Windows 7
// SP1), an ordinary one.
SOCKET NewSocket(int family) {
    const SOCKET made =
        WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (made != INVALID_SOCKET || WSAGetLastError() != WSAEINVAL) {
        return made;
    }
    return socket(family, SOCK_STREAM, IPPROTO_TCP);
}

// The local address of a listener: every IPv4 address when text is empty, else an IPv4 or IPv6 literal (an IPv6
// one with "%" and an interface number). False when the text is none of them.
bool LocalAddress(const std::string& text, int port, sockaddr_storage& address, int& length,
                  Sockets::Listening& listening) {
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
        if (WSAStringToAddressA(buffer.data(), family, nullptr, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            continue;
        }
        if (family == AF_INET) {
            reinterpret_cast<sockaddr_in&>(address).sin_port = htons(static_cast<u_short>(port));
            return true;
        }
        auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address);
        ipv6.sin6_port = htons(static_cast<u_short>(port));
        listening.ipv6 = true;
        std::memcpy(listening.ipv6Address.data(), &ipv6.sin6_addr, 16);
        listening.scoped = ipv6.sin6_scope_id != 0;
        return true;
    }
    return false;
}

class WinSockets final : public Sockets {
public:
    Listening Listen(int port, const std::string& text, int backlog) override {
        Listening listening;
        sockaddr_storage address{};
        int length = 0;
        if (!LocalAddress(text, port, address, length, listening)) {
            listening.outcome = Listening::Outcome::NotAnAddress;
            return listening;
        }
        const SOCKET socket = NewSocket(address.ss_family);
        if (socket == INVALID_SOCKET) {
            listening.failure = SocketError(WSAGetLastError());
            return listening;
        }
        // No other program may bind the same port beside this one and take its connections.
        BOOL exclusive = TRUE;
        setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                   sizeof(exclusive));
        if (bind(socket, reinterpret_cast<const sockaddr*>(&address), length) == SOCKET_ERROR ||
            listen(socket, backlog) == SOCKET_ERROR) {
            listening.failure = SocketError(WSAGetLastError());
            closesocket(socket);
            return listening;
        }
        MakeNonBlocking(socket);
        listening.outcome = Listening::Outcome::Listening;
        listening.socket = static_cast<Descriptor>(socket);
        return listening;
    }

    int LocalPort(Descriptor listening) override {
        sockaddr_storage address{};
        int length = sizeof(address);
        if (getsockname(AsSocket(listening), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return 0;
        }
        return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                                                   : reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }

    Descriptor Accept(Descriptor listening, Peer& peer) override {
        sockaddr_storage address{};
        int length = sizeof(address);
        const SOCKET socket = accept(AsSocket(listening), reinterpret_cast<sockaddr*>(&address), &length);
        if (socket == INVALID_SOCKET) {
            const int error = WSAGetLastError();
            return error == WSAEMFILE || error == WSAENOBUFS ? kOutOfDescriptors : kNoDescriptor;
        }
        MakeNonBlocking(socket);
        if (address.ss_family == AF_INET6) {
            std::memcpy(peer.bytes.data(), &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, 16);
            peer.size = 16;
        } else {
            std::memcpy(peer.bytes.data(), &reinterpret_cast<const sockaddr_in&>(address).sin_addr, 4);
            peer.size = 4;
        }
        return static_cast<Descriptor>(socket);
    }

    std::ptrdiff_t Receive(Descriptor connection, char* buffer, std::size_t size) override {
        return Outcome(recv(AsSocket(connection), buffer, Length(size), 0));
    }

    std::ptrdiff_t Send(Descriptor connection, const char* data, std::size_t size) override {
        return Outcome(send(AsSocket(connection), data, Length(size), 0));
    }

    void ShutdownSending(Descriptor connection) override { shutdown(AsSocket(connection), SD_SEND); }

    void Close(Descriptor socket) override { closesocket(AsSocket(socket)); }
};

} // namespace

std::unique_ptr<Sockets> CreateSockets() {
    return std::make_unique<WinSockets>();
}

bool NetworkLayerAvailable() {
    for (const int family : {AF_INET, AF_INET6}) {
        if (const SOCKET socket = NewSocket(family); socket != INVALID_SOCKET) {
            closesocket(socket);
            return true;
        }
    }
    return false;
}
