#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

// Figures of one capacity query in whole MB (bytes shifted right by 20, low 32 bits as signed).
struct CapacityFigures {
    bool ok = false; // the query succeeded
    int freeMB = 0;
    int totalMB = 0;
    int usedMB = 0; // totalMB - freeMB
};

// The three display texts of a reading.
struct CapacityTexts {
    std::string usedText;
    std::string totalText;
    std::string freeText;
};

// One drive's reading with its display texts; the free text is also its status-file name.
struct CapacityReading {
    int freeMB = 0;
    int totalMB = 0;
    int usedMB = 0;
    std::string usedText;
    std::string totalText;
    std::string freeText;
};

// MB figures of a volume's byte counts.
CapacityFigures FiguresOf(const VolumeSpace& space);
// One capacity query of a root path ("D:\"), or of the current directory's volume when root is nullopt.
// A failed query gives ok = false and zero figures.
CapacityFigures ReadCapacity(const Platform& platform, std::optional<std::string_view> root);

// MB as GByte with two decimals ("1.50"); ties round half up (1152 MB gives "1.13").
std::string FormatGByte(int mb);
// "空容量<n> MByte", or "空容量<x.xx> GByte" when gbyte is 1.
std::string FreeText(int freeMB, int gbyte);
// The used, total and free texts of the figures.
CapacityTexts FormatCapacityTexts(int freeMB, int totalMB, int usedMB, int gbyte);

// Free share in percent, free * 100 / total truncated, computed in 64 bits; 0 when total is not positive.
int FreePercent(int freeMB, int totalMB);
// The free percentage as the tooltip and the status page show it ("%2d": right-aligned in two columns).
std::string FreePercentText(int freeMB, int totalMB);
// Fill level 0 to 7 of the tray picture; levels outside 0..7 and figures whose divisors are zero give 0.
int LevelOf(int totalMB, int freeMB);

// Text published in place of the free text when a drive of this type cannot be measured; empty for
// types the letter filter drops.
std::string_view DriveTypeText(DriveType type);

// Moves the status file from lastFolder + lastName to folder + name (folder and name joined as plain
// text), never replacing an existing file; creates or truncates folder + name when there is no last name
// or the move fails. Then lastFolder = folder and lastName = name, whatever happened. A last name holding a
// path separator (never one of ours) is not moved. True when folder + name now is the status file; false
// when it could be neither moved nor created.
bool UpdateStatusFile(Platform& platform, std::string& lastFolder, std::string& lastName, const std::string& folder,
                      const std::string& name);
