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

    std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const override;
    std::optional<VolumeSpace> CurrentDiskFreeSpace() const override;
    DriveType GetDriveType(std::string_view root) const override;
    std::string CurrentDriveLetter() const override;
    std::string FolderOfRoot(std::string_view root) const override;
    std::string ConfigurationPath() const override;
    bool RenameNoReplace(const std::string& from, const std::string& to) override;
    bool CreateOrTruncate(const std::string& path) override;
    std::optional<std::string> ReadTextFile(const std::string& path) const override;
    std::string ReadFailure(const std::string& path) const override;
    std::string TextLineToUtf8(std::string_view line) const override;
    bool FileExists(const std::string& path) const override;
    bool ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) override;
    int LocalMinute() const override;
    int MillisecondsToNextMinute() const override;
    std::string ToCodePage932(std::string_view utf8) const override;
    bool UsesDriveTable() const override { return true; }
    std::vector<DriveMapping> DriveTable() const override;
    void SetDriveTable(std::vector<DriveMapping> table) override;

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
    void RefreshTables() const;
    // The drive of a letter (upper case), without the type of its filesystem; call with m_mutex held.
    Drive& DriveOf(char letter) const;
    // Type of the mounted filesystem holding the drive's folder, whose device number is given; call with
    // m_mutex held.
    DriveType MountedTypeOf(Drive& drive, std::uint64_t device) const;
    // The table in force; call with m_mutex held.
    const std::vector<DriveMapping>& TableInForce() const;
    // What /sys tells about a device number, or about the block device file at a path.
    BlockDeviceInfo DeviceByNumber(unsigned major, unsigned minor) const;
    BlockDeviceInfo DeviceByPath(const std::string& path) const;

    Sources m_sources;
    // Guards every member below: queries may come from several threads. Calls into a folder (statvfs,
    // stat, realpath) are made without it, so a hung network drive holds up only its own query. The members
    // are the machine's tables as last read and what was worked out from them: the queries read them anew
    // when they change, so they are mutable.
    mutable std::mutex m_mutex;
    mutable int m_mountInfoFd = -1;
    mutable bool m_mountInfoPollable = false;
    mutable bool m_mountsLoaded = false;
    mutable std::int64_t m_mountsCheckedAt = 0; // monotonic microseconds of the last look at the mount table
    mutable std::vector<MountEntry> m_mounts;   // visible mounts
    mutable std::vector<FstabEntry> m_fstab;
    mutable std::int64_t m_fstabCheckedAt = -1;         // coarse monotonic milliseconds
    mutable std::array<std::int64_t, 4> m_fstabStamp{}; // inode, size, mtime seconds, mtime nanoseconds
    mutable std::optional<std::vector<DriveMapping>> m_table;
    mutable std::array<Drive, 26> m_drives{};
    mutable std::array<bool, 26> m_driveValid{};
    mutable std::map<std::uint64_t, BlockDeviceInfo> m_devices;
};
