#pragma once

#include <optional>
#include <string>
#include <string_view>

// Conversions between UTF-8, the text form of the platform interface, and the byte code pages of the
// Win32 "A" functions (the ANSI code page, CP_ACP, is 932 on a Japanese system).
namespace win32 {

// Bytes in codePage as UTF-8; a byte sequence without a meaning becomes U+FFFD. Empty for a text too
// long for the Win32 conversion.
std::string CodePageToUtf8(std::string_view text, unsigned codePage);

// True when the bytes form a valid text in codePage (every sequence has a meaning).
bool IsValidInCodePage(std::string_view text, unsigned codePage);

// UTF-8 text in codePage; a character without a mapping (and a malformed UTF-8 sequence) becomes one
// '?'. Empty for a text too long for the Win32 conversion.
std::string Utf8ToCodePage(std::string_view utf8, unsigned codePage);

// UTF-8 text in codePage when every character maps exactly: nullopt for malformed UTF-8, a character
// without a mapping (best-fit look-alikes are refused, so a path never changes its meaning) or a NUL
// byte, which no Win32 path can hold.
std::optional<std::string> Utf8ToCodePageExact(std::string_view utf8, unsigned codePage);

} // namespace win32
