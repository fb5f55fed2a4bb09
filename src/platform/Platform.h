#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ProfileConventions.h"

// Byte counts of one volume: its whole size and its total free space (not the share an unprivileged
// user may use).
struct VolumeSpace {
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
};

// How long a drive or a folder may take to answer one operation before the operation counts as failed
// (on the time-bounded platform, see GuardedPlatform).
inline constexpr int kAnswerBoundSeconds = 2;

// Why an operation failed whose folder did not answer within the time bound, in words that fit after a colon.
inline std::string FolderDidNotAnswer() {
    return "the folder did not answer within " + std::to_string(kAnswerBoundSeconds) + " s";
}

// The drive types, with the values of the Windows drive-type query.
enum class DriveType : std::uint8_t {
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// What one drive answered: its type and its capacity (nullopt when it cannot be measured).
struct DriveAnswer {
    DriveType type = DriveType::Unknown;
    std::optional<VolumeSpace> space;
    bool answeredInTime = true; // false when it did not answer within the time bound (see DriveStuck)
};

// One entry of a drive table: a letter (upper case) and the absolute folder it stands for.
struct DriveMapping {
    char letter = 0;
    std::string folder;

    friend bool operator==(const DriveMapping&, const DriveMapping&) = default;
};

// Everything the agent needs of the machine. Root paths are drive roots in the Windows form: a letter,
// a colon and a backslash ("D:\"). Texts and paths are UTF-8; the implementation converts at its boundary.
// The queries are const: they change nothing on the machine, so a caller that only reads needs no more than a
// const platform (an implementation may still keep tables and bookkeeping of its own up to date).
class Platform {
public:
    virtual ~Platform() = default;

    // Capacity of the volume behind a root path; nullopt when the root names no measurable drive.
    virtual std::optional<VolumeSpace> DiskFreeSpace(std::string_view root) const = 0;
    // Capacity of the volume that holds the current directory; nullopt when it cannot be measured.
    virtual std::optional<VolumeSpace> CurrentDiskFreeSpace() const = 0;
    // Type of the drive behind a root path; NoRootDir when no such drive exists.
    virtual DriveType GetDriveType(std::string_view root) const = 0;
    // Drive letter of the current directory as a one-character text; empty when there is none.
    virtual std::string CurrentDriveLetter() const = 0;
    // Folder in which files "in the root" of a drive go, ending in the path separator ("D:\" on Windows,
    // the drive table's folder and "/" on Linux); the root itself when the drive is unknown.
    virtual std::string FolderOfRoot(std::string_view root) const = 0;

    // Path of the settings file: the current directory at start-up followed by the separator and "tarvellin.ini".
    virtual std::string ConfigurationPath() const = 0;

    // Renames or moves a file; never replaces an existing target. False on any failure, and when the source is
    // a symbolic link (a reparse point on Windows), a folder or another non-regular file.
    virtual bool RenameNoReplace(const std::string& from, const std::string& to) = 0;
    // Creates the file empty, or truncates it when it exists; never through a symbolic link (reparse point).
    // False on failure, and when a link, a folder or another non-regular file holds the name: it stays as it is.
    virtual bool CreateOrTruncate(const std::string& path) = 0;
    // Whole content of a text file in the form TextLineToUtf8 reads line by line: the file's bytes where the
    // lines of one file may differ in encoding (Linux), the file converted to UTF-8 as a whole where it has
    // one code page (Windows); nullopt when the file cannot be read.
    virtual std::optional<std::string> ReadTextFile(const std::string& path) const = 0;
    // Why ReadTextFile fails for the path, in a few words that fit after a colon ("permission denied",
    // "it is a folder", "it does not exist"); empty when the file can be read.
    virtual std::string ReadFailure(const std::string& path) const {
        return ReadTextFile(path) ? std::string() : "it cannot be read";
    }
    // UTF-8 text of one line of what ReadTextFile returned, given without its line end.
    virtual std::string TextLineToUtf8(std::string_view line) const = 0;
    // How the settings file is read and written where it is: the platform's own profile functions' ways.
    virtual ProfileConventions SettingsFileConventions() const { return {}; }
    // True when anything exists at the path, also when it cannot be read or looked at; false only when
    // the path surely names nothing.
    virtual bool FileExists(const std::string& path) const = 0;
    // Replaces the file's content (in the form ReadTextFile returns) in one atomic step: a temporary file
    // beside it, then a rename; where the folder takes no temporary file but the file is writable, the file
    // is written in place. False on failure, in which case the old file is left as it was.
    virtual bool ReplaceFileAtomically(const std::string& path, std::string_view content) = 0;

    // True while an earlier operation in the folder of the path (the path up to its last separator) has
    // overrun its time bound and not returned: operations there fail at once. False where nothing is bounded.
    virtual bool FolderStuck(const std::string& path) const {
        static_cast<void>(path);
        return false;
    }

    // True while the drive's earlier query has overrun its time bound and not returned: queries of it fail at
    // once. False where nothing is bounded.
    virtual bool DriveStuck(std::string_view root) const {
        static_cast<void>(root);
        return false;
    }

    // Type and capacity of each drive, in the order given. Where operations are bounded, the drives are asked
    // at the same time and the whole batch waits at most one bound.
    virtual std::vector<DriveAnswer> QueryDrives(const std::vector<std::string>& roots) const {
        std::vector<DriveAnswer> answers;
        for (const std::string& root : roots) {
            // The type first: a drive that hangs there is stuck, and its capacity query fails at once.
            DriveAnswer answer;
            answer.type = GetDriveType(root);
            answer.space = DiskFreeSpace(root);
            answer.answeredInTime = !DriveStuck(root);
            answers.push_back(std::move(answer));
        }
        return answers;
    }

    // The current time as seconds since 1970-01-01 UTC.
    virtual std::int64_t UnixTime() const {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    }

    // Minute (0 to 59) of the current local time; -1 when the local time is not available.
    virtual int LocalMinute() const = 0;
    // Milliseconds until the minute of the local time next changes (1 to 60000); 60000 when the local time
    // is not available.
    virtual int MillisecondsToNextMinute() const = 0;

    // UTF-8 text as code page 932 (Shift-JIS) bytes; a character without a mapping becomes '?'.
    virtual std::string ToCodePage932(std::string_view utf8) const = 0;
    // A setting's text as the bytes by which a request on the command port gives it: the UTF-8 itself, or on
    // Windows the ANSI code page, in which the file holds it and clients send it; nullopt when no request can.
    virtual std::optional<std::string> AsRequestBytes(std::string_view utf8) const { return std::string(utf8); }

    // True when drive letters come from a drive table kept in the settings file (platforms without
    // letters of their own).
    virtual bool UsesDriveTable() const = 0;
    // The drive table in force, sorted by letter; empty on platforms with letters of their own.
    virtual std::vector<DriveMapping> DriveTable() const = 0;
    // Replaces the drive table with one read from the settings file.
    virtual void SetDriveTable(std::vector<DriveMapping> table) = 0;
};

// The platform of this build.
std::unique_ptr<Platform> CreatePlatform();
