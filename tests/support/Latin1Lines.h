#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A line decoder for tests and fuzz targets that have no converter: a line of well-formed UTF-8 sequences
// stays as it is, any other is read as Latin-1 (each byte one character). It has the shape of the Linux
// platform's decoder, whose legacy code page is 932.
inline std::string Latin1UnlessUtf8(std::string_view line) {
    bool utf8 = true;
    for (std::size_t i = 0; utf8 && i < line.size();) {
        const auto lead = static_cast<unsigned char>(line[i]);
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        }
        utf8 = length != 0 && i + length <= line.size();
        for (std::size_t k = 1; utf8 && k < length; ++k) {
            utf8 = (static_cast<unsigned char>(line[i + k]) & 0xC0) == 0x80;
        }
        i += length;
    }
    if (utf8) {
        return std::string(line);
    }
    std::string text;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}
