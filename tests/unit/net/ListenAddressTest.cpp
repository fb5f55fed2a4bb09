#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "net/ListenAddress.h"

TEST(ListenAddress, AdviceSaysWhatToWriteForMappedAndUnscopedLinkLocalAddresses) {
    using Bytes = std::array<std::uint8_t, 16>;
    const struct {
        const char* written;
        Bytes ipv6;
        bool scoped;
        std::string advice; // a part of it; empty: no advice
    } cases[] = {
        {"::ffff:127.0.0.1", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1}, false, "Address=127.0.0.1"},
        {"fe80::1", {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, false, "Address=fe80::1%<interface>"},
        {"febf::1", {0xfe, 0xbf, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, false, "Address=febf::1%<interface>"},
        {"fe80::1%2", {0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, true, ""},
        {"fec0::1", {0xfe, 0xc0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, false, ""},
        {"::1", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, false, ""},
    };
    for (const auto& c : cases) {
        const std::string advice = ListenAddressAdvice(c.written, c.ipv6, c.scoped);
        if (c.advice.empty()) {
            EXPECT_EQ(advice, "") << c.written;
        } else {
            EXPECT_NE(advice.find(c.advice), std::string::npos) << c.written << ": " << advice;
        }
    }
}
