#include "core/capacity/CapacityReading.h"

#include <climits>
#include <cstdint>

CapacityFigures FiguresOf(const VolumeSpace& space) {
    CapacityFigures figures;
    figures.ok = true;
    const auto freeLow = static_cast<std::uint32_t>(space.freeBytes >> 20);
    const auto totalLow = static_cast<std::uint32_t>(space.totalBytes >> 20);
    figures.freeMB = static_cast<int>(static_cast<std::int32_t>(freeLow));
    figures.totalMB = static_cast<int>(static_cast<std::int32_t>(totalLow));
    // Used MB wraps around in 32 bits as the two MB figures do, computed without signed overflow.
    figures.usedMB = static_cast<int>(static_cast<std::int32_t>(totalLow - freeLow));
    return figures;
}

CapacityFigures ReadCapacity(const Platform& platform, std::optional<std::string_view> root) {
    const std::optional<VolumeSpace> space = root ? platform.DiskFreeSpace(*root) : platform.CurrentDiskFreeSpace();
    return space ? FiguresOf(*space) : CapacityFigures{};
}

std::string FormatGByte(int mb) {
    const std::int64_t magnitude = mb < 0 ? -static_cast<std::int64_t>(mb) : static_cast<std::int64_t>(mb);
    // Hundredths of a GByte, ties rounded up: exact in integers.
    const std::int64_t hundredths = (magnitude * 100 + 512) / 1024;
    const std::int64_t fraction = hundredths % 100;
    std::string text = mb < 0 ? "-" : "";
    text += std::to_string(hundredths / 100);
    text += '.';
    text += static_cast<char>('0' + fraction / 10);
    text += static_cast<char>('0' + fraction % 10);
    return text;
}

namespace {

std::string LabelledText(const char* label, int mb, int gbyte) {
    if (gbyte == 1) {
        return std::string(label) + FormatGByte(mb) + " GByte";
    }
    return std::string(label) + std::to_string(mb) + " MByte";
}

} // namespace

std::string FreeText(int freeMB, int gbyte) {
    return LabelledText("空容量", freeMB, gbyte);
}

CapacityTexts FormatCapacityTexts(int freeMB, int totalMB, int usedMB, int gbyte) {
    return CapacityTexts{LabelledText("使用量", usedMB, gbyte), LabelledText("全容量", totalMB, gbyte),
                         FreeText(freeMB, gbyte)};
}

int FreePercent(int freeMB, int totalMB) {
    if (totalMB <= 0) {
        return 0;
    }
    const std::int64_t percent = static_cast<std::int64_t>(freeMB) * 100 / totalMB;
    if (percent > INT_MAX) {
        return INT_MAX;
    }
    if (percent < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(percent);
}

std::string FreePercentText(int freeMB, int totalMB) {
    std::string digits = std::to_string(FreePercent(freeMB, totalMB));
    if (digits.size() < 2) {
        digits.insert(0, 2 - digits.size(), ' ');
    }
    return digits;
}

int LevelOf(int totalMB, int freeMB) {
    // 64 bits keep INT_MIN / -1 defined; zero divisors give level 0.
    const std::int64_t total = totalMB;
    const std::int64_t free = freeMB;
    const std::int64_t tenth = total / 10;
    if (tenth == 0) {
        return 0;
    }
    const std::int64_t quotient = free / tenth;
    std::int64_t level = 0;
    switch (quotient) {
    case 0: {
        const std::int64_t twentieth = total / 20;
        level = twentieth == 0 ? 0 : free / twentieth;
        break;
    }
    case 1:
        level = 2;
        break;
    case 2:
        level = 3;
        break;
    case 3:
        level = 4;
        break;
    case 4:
        level = 5;
        break;
    case 5:
    case 6:
        level = 6;
        break;
    case 7:
    case 8:
    case 9:
    case 10:
        level = 7;
        break;
    default:
        level = quotient;
        break;
    }
    return level >= 0 && level <= 7 ? static_cast<int>(level) : 0;
}

std::string_view DriveTypeText(DriveType type) {
    switch (type) {
    case DriveType::Removable:
        return "NO REMOVABLE DISK";
    case DriveType::Fixed:
        return "FIXED";
    case DriveType::Remote:
        return "REMOTE";
    case DriveType::CdRom:
        return "NO CD_DVD DISK";
    case DriveType::RamDisk:
        return "NO RAM DISK";
    case DriveType::Unknown:
    case DriveType::NoRootDir:
        break;
    }
    return {};
}

namespace {

bool IsPlainName(const std::string& name) {
    return name.find_first_of("/\\") == std::string::npos && name != "." && name != "..";
}

} // namespace

bool UpdateStatusFile(Platform& platform, std::string& lastFolder, std::string& lastName, const std::string& folder,
                      const std::string& name) {
    const std::string newPath = folder + name;
    bool moved = false;
    // A remembered name is one of our own texts; one that reaches into other folders (a hand-edited
    // settings file) must not move somebody else's file.
    // A file that keeps its name has nowhere to move: the rename would fail and the file be created anyway.
    const std::string oldPath = lastFolder + lastName;
    if (!lastName.empty() && IsPlainName(lastName) && oldPath != newPath) {
        moved = platform.RenameNoReplace(oldPath, newPath);
    }
    const bool published = moved || platform.CreateOrTruncate(newPath);
    lastName = name;
    lastFolder = folder;
    return published;
}
