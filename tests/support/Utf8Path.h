#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Paths from and to UTF-8 text, the form the platform interface uses. A plain std::string path would be
// read in the ANSI code page on Windows; on Linux both forms are the same bytes.
inline std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The path as UTF-8 text.
inline std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
