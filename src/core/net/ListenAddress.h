#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// What to change in [Http] Address when the listener could not be opened on the IPv6 address written there
// (its 16 bytes; scoped when it names an interface with "%"): an IPv4-mapped address is to be written as the
// IPv4 address, a link-local one needs its interface. Empty for any other address.
std::string ListenAddressAdvice(std::string_view written, std::span<const std::uint8_t, 16> ipv6, bool scoped);

// Why a Port gives no listener: "<name><port> is outside 0..65535" (name "Port " or "Port="); nullopt for a port
// in range, 0 meaning any free port.
std::optional<std::string> PortOutsideRange(int port, std::string_view name = "Port ");
