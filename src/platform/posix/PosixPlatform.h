#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DriveTypes.h"
#include "MountTable.h"
#include "platform/Platform.h"

// The machine as Linux (or another POSIX system with /proc) shows it: drive letters from a drive table,
// capacities from statvfs, drive types from the mount table, fstab and /sys, code page 932 through iconv.
class PosixPlatform final : public Platform {
public:
    // Where the machine's tables are read from; tests point them at files of their own.
    struct Sources {
        std::string mountInfo = "/proc/self/mountinfo";
        std::string fstab = "/etc/fstab";
        std::string sysRoot = "/sys";
    };

    PosixPlatform();
    explicit PosixPlatform(Sources sources);
    ~PosixPlatform() override;
    PosixPlatform(const PosixPlatform&) = delete;
    PosixPlatform& operator=(const PosixPlatform&) = delete;

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) override;
    std::optional<VolumeSpace> CurrentDiskFreeSpace() override;
    DriveType GetDriveType(std::string_view root) override;
    std::string CurrentDriveLetter() override;
    std::string FolderOfRoot(std::string_view root) override;
    std::string ConfigurationPath() override;
    bool RenameNoReplace(const std::string& from, const std::string& to) override;
    bool CreateOrTruncate(const std::string& path) override;
    std::optional<std::string> ReadTextFile(const std::string& path) override;
    std::string ReadFailure(const std::string& path) override;
    std::string TextLineToUtf8(std::string_view line) override;
    bool FileExists(const std::string& path) override;
    bool ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) override;
    int LocalMinute() override;
    int MillisecondsToNextMinute() override;
    std::string ToCodePage932(std::string_view utf8) override;
    bool UsesDriveTable() const override { return true; }
    std::vector<DriveMapping> DriveTable() override;
    void SetDriveTable(std::vector<DriveMapping> table) override;

    DataFileRead ReadDataFile(const std::string& path, std::uint64_t offset, std::uint64_t length) override;
    std::string AppendToDataFile(const std::string& path, std::string_view bytes) override;
    std::string RewriteDataFile(const std::string& path, std::string_view head, std::uint64_t keepFrom,
                                std::uint64_t keepTo) override;

private:
    // What a letter stands for under the current tables.
    struct Drive {
        bool known = false;                     // the letter is in the table
        std::string folder;                     // its folder, normalised
        bool withoutMedium = false;             // an fstab mount point that is not mounted now
        DriveType fstabType = DriveType::Fixed; // type of such a drive, from its fstab entry
        bool typeKnown = false;                 // type below is worked out for device typeDevice
        std::uint64_t typeDevice = 0;           // device number of the folder when the type was worked out
        DriveType type = DriveType::Fixed;      // type of the mounted filesystem that holds the folder
    };

    // Re-reads the mount table when the kernel reports a change, fstab when its file changed.
    void RefreshTables();
    // The drive of a letter (upper case), without the type of its filesystem; call with m_mutex held.
    Drive& DriveOf(char letter);
    // Type of the mounted filesystem holding the drive's folder, whose device number is given; call with
    // m_mutex held.
    DriveType MountedTypeOf(Drive& drive, std::uint64_t device);
    // The table in force; call with m_mutex held.
    const std::vector<DriveMapping>& TableInForce();
    // What /sys tells about a device number, or about the block device file at a path.
    BlockDeviceInfo DeviceByNumber(unsigned major, unsigned minor);
    BlockDeviceInfo DeviceByPath(const std::string& path);

    // Guards every member below: queries may come from several threads. Calls into a folder (statvfs,
    // stat, realpath) are made without it, so a hung network drive holds up only its own query.
    std::mutex m_mutex;
    Sources m_sources;
    int m_mountInfoFd = -1;
    bool m_mountInfoPollable = false;
    bool m_mountsLoaded = false;
    std::int64_t m_mountsCheckedAt = 0; // monotonic microseconds of the last look at the mount table
    std::vector<MountEntry> m_mounts;   // visible mounts
    std::vector<FstabEntry> m_fstab;
    std::int64_t m_fstabCheckedAt = -1;         // coarse monotonic milliseconds
    std::array<std::int64_t, 4> m_fstabStamp{}; // inode, size, mtime seconds, mtime nanoseconds
    std::optional<std::vector<DriveMapping>> m_table;
    std::array<Drive, 26> m_drives{};
    std::array<bool, 26> m_driveValid{};
    std::map<std::uint64_t, BlockDeviceInfo> m_devices;
};
