#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// What scripts/test-windows set up in the Wine prefix, read from the environment. Every entry is empty when
// the tests run elsewhere (a real Windows machine, or Wine set up without root).
struct WineVolume {
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
};

// TARVELLIN_WINE_VOLUMES: "M=16777216:13631488;R=..." (letter = total bytes : free bytes).
std::map<char, WineVolume> WineVolumes();
// TARVELLIN_WINE_DRIVE_TYPES: "S=4;U=5;..." (letter = the drive type Wine's registry gives it).
std::map<char, unsigned> WineDriveTypes();
// TARVELLIN_WINE_NO_MEDIUM: a letter whose drive exists but has no medium.
std::optional<char> WineNoMediumDrive();

// The root of a letter: "M:\".
std::string RootOf(char letter);
// A letter that names no drive at all; nullopt when every letter is in use.
std::optional<char> UnusedDriveLetter();

// Writes the bytes to a file through the Win32 calls themselves, as they are (a failure fails the test).
void WriteRaw(const std::string& path, const std::string& content);
