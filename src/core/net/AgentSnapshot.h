#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/capacity/Monitor.h"

// One drive as a scrape found it.
struct DriveSnapshot {
    std::string letter;
    bool main = false;        // the main drive (role "main"), otherwise one of the other drives
    std::string path;         // the drive's folder (its root on Windows)
    std::string statusFolder; // folder of its status file
    DriveType type = DriveType::Unknown;
    bool up = false;              // the capacity query answered with figures
    bool answeredInTime = true;   // false when the drive did not answer within the time bound
    VolumeSpace space;            // when up
    int freePercent = 0;          // when up, of the whole MB figures as the tray shows it
    int level = 0;                // when up
    std::string statusText;       // the name last given to its status file
    std::int64_t publishedAt = 0; // Unix seconds; 0 when not published in this run
    DriveOutlook outlook;         // as the last minute tick found it; empty before one
    bool hasLimit = false;        // a [Limits] key names the drive: outlook.limitState counts
};

// The agent and its drives at one moment.
struct AgentSnapshot {
    std::string version;
    std::int64_t startedAt = 0;
    std::array<std::uint64_t, kRefreshTriggers> refreshes{};
    std::vector<DriveSnapshot> drives;
    bool historyOn = false; // [History] Days above 0: the trend fields are sent
};

// Version of this program.
std::string_view AgentVersion();

// Measures the main drive and, when OtherDrive is 1, every other drive that exists, through the platform, all
// in one batch; a drive that does not answer within the platform's bound is not up. Changes nothing.
AgentSnapshot TakeSnapshot(const Monitor& monitor);
