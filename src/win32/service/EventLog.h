#pragma once

#include <string>

// The program's entries in the Windows event log, under the source "tarvellin" of the Application log.
namespace eventlog {

enum class Kind { Information, Warning, Error };

// The source name, also the key that --service install registers.
inline constexpr const wchar_t* kSource = L"tarvellin";

// Writes one entry with the text (UTF-8); false when the log cannot be reached.
bool Write(Kind kind, const std::string& text);

} // namespace eventlog
