#include "core/net/ListenAddress.h"

#include <algorithm>
#include <array>

std::string ListenAddressAdvice(std::string_view written, std::span<const std::uint8_t, 16> ipv6, bool scoped) {
    constexpr std::array<std::uint8_t, 12> kMappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(kMappedPrefix.begin(), kMappedPrefix.end(), ipv6.begin())) {
        const std::string ipv4 = std::to_string(ipv6[12]) + "." + std::to_string(ipv6[13]) + "." +
                                 std::to_string(ipv6[14]) + "." + std::to_string(ipv6[15]);
        return "an IPv4 address is written as IPv4: set [Http] Address=" + ipv4;
    }
    // fe80::/10
    if (!scoped && ipv6[0] == 0xfe && (ipv6[1] & 0xc0) == 0x80) {
        return "a link-local address needs the interface it is on: set [Http] Address=" + std::string(written) +
               "%<interface> (the interface's name or number)";
    }
    return {};
}

std::optional<std::string> PortOutsideRange(int port, std::string_view name) {
    if (port >= 0 && port <= 65535) {
        return std::nullopt;
    }
    return std::string(name) + std::to_string(port) + " is outside 0..65535";
}
