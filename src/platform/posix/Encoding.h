#pragma once

#include <string>
#include <string_view>

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// UTF-8 as code page 932 bytes; an unmappable character or an invalid byte becomes '?'. Without a
// converter on the system, ASCII passes and everything else becomes '?'.
std::string Utf8ToCodePage932(std::string_view utf8);

// One line of a text file as UTF-8: a line that is valid UTF-8 stays as it is, any other is read as code
// page 932.
std::string LineToUtf8(std::string_view line);

// Code page 932 bytes as UTF-8; a byte sequence that is not code page 932 becomes '?'. Without a
// converter on the system, ASCII passes and everything else becomes '?'.
std::string CodePage932ToUtf8(std::string_view cp932);
