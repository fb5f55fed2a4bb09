#pragma once

#include <string>
#include <string_view>

// The program's UTF-8 texts as the UTF-16 of the Win32 "W" functions.
std::wstring Widen(std::string_view utf8);
