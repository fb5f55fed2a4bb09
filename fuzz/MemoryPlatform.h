#pragma once

#include <map>
#include <string>
#include <string_view>

#include "Latin1Lines.h"
#include "platform/Platform.h"

// A machine held in memory for the fuzz targets: two drives, files in a map, nothing touches the disk.
class MemoryPlatform final : public Platform {
public:
    std::map<std::string, std::string> files;

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const override {
        if (root.size() == 3 && (root[0] == 'C' || root[0] == 'c') && root.substr(1) == ":\\") {
            return VolumeSpace{476000ull << 20, 119000ull << 20};
        }
        return std::nullopt;
    }
    std::optional<VolumeSpace> CurrentDiskFreeSpace() const override { return DiskFreeSpace("C:\\"); }
    DriveType GetDriveType(std::string_view root) const override {
        return DiskFreeSpace(root) ? DriveType::Fixed : DriveType::NoRootDir;
    }
    std::string CurrentDriveLetter() const override { return "C"; }
    std::string FolderOfRoot(std::string_view root) const override { return std::string(root); }
    std::string ConfigurationPath() const override { return "tarvellin.ini"; }
    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        const auto it = files.find(from);
        if (it == files.end() || files.contains(to)) {
            return false;
        }
        std::string content = std::move(it->second);
        files.erase(it);
        files[to] = std::move(content);
        return true;
    }
    bool CreateOrTruncate(const std::string& path) override {
        files[path].clear();
        return true;
    }
    std::optional<std::string> ReadTextFile(const std::string& path) const override {
        const auto it = files.find(path);
        return it == files.end() ? std::nullopt : std::optional(it->second);
    }
    std::string TextLineToUtf8(std::string_view line) const override { return Latin1UnlessUtf8(line); }
    bool FileExists(const std::string& path) const override { return files.contains(path); }
    bool ReplaceFileAtomically(const std::string& path, std::string_view content) override {
        files[path] = std::string(content);
        return true;
    }
    int LocalMinute() const override { return 0; }
    int MillisecondsToNextMinute() const override { return 60000; }
    std::string ToCodePage932(std::string_view utf8) const override { return std::string(utf8); }
    bool UsesDriveTable() const override { return true; }
    std::vector<DriveMapping> DriveTable() const override { return table; }
    void SetDriveTable(std::vector<DriveMapping> newTable) override { table = std::move(newTable); }

    std::vector<DriveMapping> table{{'C', "/"}};
};
