#pragma once

#include <array>
#include <string>

// Number of other drives (slots) besides the main drive.
inline constexpr int kDriveSlots = 9;

// The persisted options, one field per key of the section "Setting", named after its key; the initial values
// are the defaults of missing keys. Slot k (0-based here) of the other drives is key "Path"/"Filename"
// followed by k + 2. The keys, their order and how each is stored are listed once, in SettingsStore.cpp.
struct MonitorSettings {
    std::string Path;
    std::string Filename;
    int Auto = 0;
    int Time = 0;
    int GByte = 0;
    std::string Directory;
    int NetWork = 0;
    int Port = 8085;
    int Keikoku = 0;
    int Nokori = 100;
    std::string Pass;
    int NetKoushin = 0;
    int EnbChange = 0;
    int OtherDrive = 0;
    std::string Directory2;
    std::array<std::string, kDriveSlots> Path2To10;
    std::array<std::string, kDriveSlots> Filename2To10;

    // Options outside the section "Setting": read on load, never written by the save.
    int HttpHeaders = 0;     // [Http] Headers
    int HttpMetrics = 0;     // [Http] Metrics
    std::string HttpAddress; // [Http] Address: the listener's local address; empty for every IPv4 address

    friend bool operator==(const MonitorSettings&, const MonitorSettings&) = default;
};
