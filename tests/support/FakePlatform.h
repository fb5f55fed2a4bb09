#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/Platform.h"

// A machine made up by the test: drives by letter with their capacity and type, a current drive, a
// settable local minute. Files are real (the tests point every path into a TempDir), with switches to
// make writes fail.
class FakePlatform : public Platform {
public:
    struct Drive {
        DriveType type = DriveType::Fixed;
        std::optional<VolumeSpace> space; // nullopt: the capacity query fails (no medium)
        std::string folder;               // FolderOfRoot; "X:\" when empty
    };

    // Drives by upper-case letter; a lookup is case-insensitive as on Windows.
    std::map<char, Drive> drives;
    std::string currentLetter = "C";
    std::string configurationPath = "tarvellin.ini";
    int minute = 0;
    int millisecondsToNextMinute = 60000;
    bool failRename = false;
    bool failCreate = false;
    bool failSave = false;
    bool failRead = false;   // ReadTextFile fails as for a file that exists but cannot be read
    std::string stuckFolder; // a folder (ending in its separator) whose earlier operation has not returned
    std::string stuckDrives; // upper-case letters of drives whose earlier query has not returned: queries fail
    std::int64_t unixTime = 0;
    bool usesDriveTable = false;
    std::vector<DriveMapping> driveTable;
    // Code page 932 conversion; the identity unless a test needs real bytes.
    std::function<std::string(std::string_view)> encoder;
    // Decoding of a settings-file line; the identity unless a test needs another encoding.
    std::function<std::string(std::string_view)> lineDecoder;

    // Data files, held in memory by path; when dataFileRefusal is set every data-file operation is refused
    // with it as the reason (as for another user's file).
    std::map<std::string, std::string> dataFiles;
    std::string dataFileRefusal;
    std::string rewriteRefusal; // refuses rewrites only (as a copy that did not finish in time)
    int dataFileRewrites = 0;
    int refusedRewrites = 0;

    // Counters of the calls made, for tests that check what ran.
    mutable int capacityQueries = 0;
    mutable int driveTypeQueries = 0;
    int saves = 0;

    // Adds a drive with whole-MB figures.
    Drive& AddDrive(char letter, long long totalMB, long long freeMB, DriveType type = DriveType::Fixed);

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const override;
    std::optional<VolumeSpace> CurrentDiskFreeSpace() const override;
    DriveType GetDriveType(std::string_view root) const override;
    std::string CurrentDriveLetter() const override { return currentLetter; }
    std::string FolderOfRoot(std::string_view root) const override;
    std::string ConfigurationPath() const override { return configurationPath; }
    bool RenameNoReplace(const std::string& from, const std::string& to) override;
    bool CreateOrTruncate(const std::string& path) override;
    std::optional<std::string> ReadTextFile(const std::string& path) const override;
    std::string TextLineToUtf8(std::string_view line) const override;
    bool FileExists(const std::string& path) const override;
    bool ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) override;
    bool FolderStuck(const std::string& path) const override;
    bool DriveStuck(std::string_view root) const override;
    std::int64_t UnixTime() const override { return unixTime; }
    int LocalMinute() const override { return minute; }
    int MillisecondsToNextMinute() const override { return millisecondsToNextMinute; }
    std::string ToCodePage932(std::string_view utf8) const override;
    bool UsesDriveTable() const override { return usesDriveTable; }
    std::vector<DriveMapping> DriveTable() const override { return driveTable; }
    void SetDriveTable(std::vector<DriveMapping> table) override { driveTable = std::move(table); }
    DataFileRead ReadDataFile(const std::string& path, std::uint64_t offset, std::uint64_t length) const override;
    std::string AppendToDataFile(const std::string& path, std::string_view bytes) override;
    std::string RewriteDataFile(const std::string& path, std::string_view head, std::uint64_t keepFrom,
                                std::uint64_t keepTo) override;

private:
    // The drive of a root path "X:\" (either case), or nullptr.
    const Drive* DriveOf(std::string_view root) const;
};
