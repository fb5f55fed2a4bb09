#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

// One operation on a drive or a folder, as plain data, so it can run apart from the agent: on another
// thread, or in another process.
struct GuardedOperation {
    enum class Kind : std::uint8_t {
        Drive, // type and capacity of a drive
        DriveType,
        DiskFreeSpace,
        CurrentDiskFreeSpace,
        RenameNoReplace,
        CreateOrTruncate,
        ReadTextFile,
        FileExists,
        ReplaceFileAtomically,
        ReadFailure,
        CurrentDriveLetter,
        ReadDataFile,
        AppendToDataFile,
        RewriteDataFile,
    };
    Kind kind = Kind::FileExists;
    std::string first;        // the root or the path
    std::string second;       // the target of a move, the content of a replacement, the bytes appended, the head
    std::uint64_t offset = 0; // where a data file's read starts, where a rewrite's kept part starts
    std::uint64_t length = 0; // how much a read takes, where a rewrite's kept part ends
};

// What an operation answered; each kind fills its own part.
struct GuardedOutcome {
    bool done = false;               // the answer of RenameNoReplace, CreateOrTruncate, FileExists, Replace...
    DriveAnswer drive;               // type and capacity of the drive queries
    std::optional<std::string> text; // what ReadTextFile read, why ReadFailure cannot, the letter, why a data
                                     // file's append or rewrite failed
    DataFileRead dataFile;           // what ReadDataFile found
};

GuardedOutcome Perform(Platform& platform, const GuardedOperation& operation);

// Byte forms of both for a channel between processes; a malformed text parses to nullopt.
std::string Serialize(const GuardedOperation& operation);
std::optional<GuardedOperation> ParseOperation(std::string_view bytes);
std::string Serialize(const GuardedOutcome& outcome);
std::optional<GuardedOutcome> ParseOutcome(std::string_view bytes);
