#pragma once

#include <string>
#include <string_view>

// The program's UTF-8 texts as the UTF-16 of the Win32 "W" functions.
std::wstring Widen(std::string_view utf8);

// UTF-16 of the system as the program's UTF-8.
std::string Utf8Of(std::wstring_view wide);

// The system's text for an error code (GetLastError), UTF-8, without a final full stop; "error N" when the
// system has none.
std::string SystemMessage(unsigned long error);
