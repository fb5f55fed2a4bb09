#include "WineEnvironment.h"

#include <charconv>
#include <cstdlib>
#include <string_view>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

template <typename T> bool Parse(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Calls entry(letter, text) for each "L=text" of a ';'-separated list.
template <typename Entry> void ForEachEntry(const std::string& list, Entry entry) {
    std::string_view rest(list);
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string_view item = rest.substr(0, end);
        if (item.size() >= 3 && item[1] == '=') {
            entry(item[0], item.substr(2));
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
}

} // namespace

std::map<char, WineVolume> WineVolumes() {
    std::map<char, WineVolume> volumes;
    ForEachEntry(Variable("TARVELLIN_WINE_VOLUMES"), [&](char letter, std::string_view text) {
        const std::size_t colon = text.find(':');
        WineVolume volume;
        if (colon != std::string_view::npos && Parse(text.substr(0, colon), volume.totalBytes) &&
            Parse(text.substr(colon + 1), volume.freeBytes)) {
            volumes[letter] = volume;
        }
    });
    return volumes;
}

std::map<char, unsigned> WineDriveTypes() {
    std::map<char, unsigned> types;
    ForEachEntry(Variable("TARVELLIN_WINE_DRIVE_TYPES"), [&](char letter, std::string_view text) {
        unsigned type = 0;
        if (Parse(text, type)) {
            types[letter] = type;
        }
    });
    return types;
}

std::optional<char> WineNoMediumDrive() {
    const std::string letter = Variable("TARVELLIN_WINE_NO_MEDIUM");
    return letter.size() == 1 ? std::optional<char>(letter[0]) : std::nullopt;
}

std::string RootOf(char letter) {
    return std::string(1, letter) + ":\\";
}

std::optional<char> UnusedDriveLetter() {
    const DWORD used = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'D'; --letter) {
        if ((used & (1u << (letter - 'A'))) == 0) {
            return letter;
        }
    }
    return std::nullopt;
}

void WriteRaw(const std::string& path, const std::string& content) {
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    CloseHandle(file);
}
