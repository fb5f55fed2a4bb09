#include "platform/Sockets.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kNewSocketFlags = SOCK_NONBLOCK | SOCK_CLOEXEC;

std::ptrdiff_t Outcome(ssize_t count) {
    if (count >= 0) {
        return count;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? Sockets::kWouldBlock : Sockets::kFailed;
}

// The local address of a listener: every IPv4 address when text is empty, else an IPv4 literal, or an IPv6
// literal with an optional "%" and an interface name or number. False when the text is none of them.
bool LocalAddress(const std::string& text, int port, sockaddr_storage& address, Sockets::Listening& listening) {
    address = {};
    auto& ipv4 = reinterpret_cast<sockaddr_in&>(address);
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(static_cast<std::uint16_t>(port));
    if (text.empty()) {
        ipv4.sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    if (::inet_pton(AF_INET, text.c_str(), &ipv4.sin_addr) == 1) {
        return true;
    }
    address = {};
    auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address);
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_port = htons(static_cast<std::uint16_t>(port));
    const std::size_t percent = text.find('%');
    if (::inet_pton(AF_INET6, text.substr(0, percent).c_str(), &ipv6.sin6_addr) != 1) {
        return false;
    }
    if (percent != std::string::npos) {
        const std::string_view scope = std::string_view(text).substr(percent + 1);
        if (scope.empty()) {
            return false;
        }
        std::uint32_t index = 0;
        const auto [end, error] = std::from_chars(scope.data(), scope.data() + scope.size(), index);
        // An interface that does not exist leaves the scope unset, and the bind refuses a link-local address.
        ipv6.sin6_scope_id = error == std::errc() && end == scope.data() + scope.size()
                                 ? index
                                 : ::if_nametoindex(std::string(scope).c_str());
        listening.scoped = true;
    }
    listening.ipv6 = true;
    std::memcpy(listening.ipv6Address.data(), &ipv6.sin6_addr, 16);
    return true;
}

class PosixSockets final : public Sockets {
public:
    Listening Listen(int port, const std::string& text, int backlog) override {
        Listening listening;
        sockaddr_storage address{};
        if (!LocalAddress(text, port, address, listening)) {
            listening.outcome = Listening::Outcome::NotAnAddress;
            return listening;
        }
        const int fd = ::socket(address.ss_family, SOCK_STREAM | kNewSocketFlags, 0);
        if (fd < 0) {
            listening.failure = std::strerror(errno);
            return listening;
        }
        const int on = 1;
        // A restarted agent takes its port back at once, although connections of the last one linger.
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (address.ss_family == AF_INET6) {
            // The IPv6 address only: an IPv4-mapped one is to be written as the IPv4 address.
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        }
        const socklen_t length = address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(fd, backlog) != 0) {
            listening.failure = std::strerror(errno);
            ::close(fd);
            return listening;
        }
        listening.outcome = Listening::Outcome::Listening;
        listening.socket = fd;
        return listening;
    }

    int LocalPort(Descriptor listening) override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(static_cast<int>(listening), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return 0;
        }
        return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(address).sin6_port
                                                   : reinterpret_cast<const sockaddr_in&>(address).sin_port);
    }

    Descriptor Accept(Descriptor listening, Peer& peer) override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd =
            ::accept4(static_cast<int>(listening), reinterpret_cast<sockaddr*>(&address), &length, kNewSocketFlags);
        if (fd < 0) {
            return errno == EMFILE || errno == ENFILE ? kOutOfDescriptors : kNoDescriptor;
        }
        if (address.ss_family == AF_INET6) {
            std::memcpy(peer.bytes.data(), &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, 16);
            peer.size = 16;
        } else {
            std::memcpy(peer.bytes.data(), &reinterpret_cast<const sockaddr_in&>(address).sin_addr, 4);
            peer.size = 4;
        }
        return fd;
    }

    std::ptrdiff_t Receive(Descriptor connection, char* buffer, std::size_t size) override {
        return Outcome(::recv(static_cast<int>(connection), buffer, size, 0));
    }

    std::ptrdiff_t Send(Descriptor connection, const char* data, std::size_t size) override {
        return Outcome(::send(static_cast<int>(connection), data, size, MSG_NOSIGNAL));
    }

    void ShutdownSending(Descriptor connection) override { ::shutdown(static_cast<int>(connection), SHUT_WR); }

    void Close(Descriptor socket) override { ::close(static_cast<int>(socket)); }
};

} // namespace

std::unique_ptr<Sockets> CreateSockets() {
    return std::make_unique<PosixSockets>();
}

bool NetworkLayerAvailable() {
    for (const int family : {AF_INET, AF_INET6}) {
        if (const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0); fd >= 0) {
            ::close(fd);
            return true;
        }
    }
    return false;
}
