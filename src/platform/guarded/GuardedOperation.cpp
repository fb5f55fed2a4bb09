#include "platform/guarded/GuardedOperation.h"

#include <cstring>

namespace {

using Kind = GuardedOperation::Kind;

template <typename T> void Append(std::string& bytes, T value) {
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.append(raw, sizeof value);
}

template <typename T> bool Take(std::string_view& bytes, T& value) {
    if (bytes.size() < sizeof value) {
        return false;
    }
    std::memcpy(&value, bytes.data(), sizeof value);
    bytes.remove_prefix(sizeof value);
    return true;
}

} // namespace

GuardedOutcome Perform(Platform& platform, const GuardedOperation& operation) {
    GuardedOutcome outcome;
    const std::string& path = operation.first;
    switch (operation.kind) {
    case Kind::Drive:
        // The type first: a drive that hangs there is not asked its capacity as well.
        outcome.drive.type = platform.GetDriveType(path);
        outcome.drive.space = platform.DiskFreeSpace(path);
        break;
    case Kind::DriveType:
        outcome.drive.type = platform.GetDriveType(path);
        break;
    case Kind::DiskFreeSpace:
        outcome.drive.space = platform.DiskFreeSpace(path);
        break;
    case Kind::CurrentDiskFreeSpace:
        outcome.drive.space = platform.CurrentDiskFreeSpace();
        break;
    case Kind::RenameNoReplace:
        outcome.done = platform.RenameNoReplace(path, operation.second);
        break;
    case Kind::CreateOrTruncate:
        outcome.done = platform.CreateOrTruncate(path);
        break;
    case Kind::ReadTextFile:
        outcome.text = platform.ReadTextFile(path);
        break;
    case Kind::FileExists:
        outcome.done = platform.FileExists(path);
        break;
    case Kind::ReadFailure:
        outcome.text = platform.ReadFailure(path);
        break;
    case Kind::CurrentDriveLetter:
        outcome.text = platform.CurrentDriveLetter();
        break;
    case Kind::ReplaceFileAtomically:
        outcome.done = platform.ReplaceFileAtomically(path, operation.second);
        break;
    case Kind::ReadDataFile:
        outcome.dataFile = platform.ReadDataFile(path, operation.offset, operation.length);
        break;
    case Kind::AppendToDataFile:
        outcome.text = platform.AppendToDataFile(path, operation.second);
        outcome.done = outcome.text->empty();
        break;
    case Kind::RewriteDataFile:
        outcome.text = platform.RewriteDataFile(path, operation.second, operation.offset, operation.length);
        outcome.done = outcome.text->empty();
        break;
    }
    return outcome;
}

std::string Serialize(const GuardedOperation& operation) {
    std::string bytes;
    Append(bytes, operation.kind);
    Append(bytes, operation.offset);
    Append(bytes, operation.length);
    Append(bytes, static_cast<std::uint64_t>(operation.first.size()));
    return bytes + operation.first + operation.second;
}

std::optional<GuardedOperation> ParseOperation(std::string_view bytes) {
    GuardedOperation operation;
    std::uint64_t firstSize = 0;
    if (!Take(bytes, operation.kind) || operation.kind > Kind::RewriteDataFile || !Take(bytes, operation.offset) ||
        !Take(bytes, operation.length) || !Take(bytes, firstSize) || firstSize > bytes.size()) {
        return std::nullopt;
    }
    operation.first = bytes.substr(0, firstSize);
    operation.second = bytes.substr(firstSize);
    return operation;
}

std::string Serialize(const GuardedOutcome& outcome) {
    std::string bytes;
    const VolumeSpace space = outcome.drive.space.value_or(VolumeSpace{});
    Append(bytes, static_cast<std::uint8_t>(outcome.done));
    Append(bytes, outcome.drive.type);
    Append(bytes, static_cast<std::uint8_t>(outcome.drive.space.has_value()));
    Append(bytes, space.totalBytes);
    Append(bytes, space.freeBytes);
    Append(bytes, outcome.dataFile.status);
    Append(bytes, outcome.dataFile.size);
    Append(bytes, static_cast<std::uint64_t>(outcome.dataFile.failure.size()));
    Append(bytes, static_cast<std::uint64_t>(outcome.dataFile.bytes.size()));
    bytes += outcome.dataFile.failure + outcome.dataFile.bytes;
    Append(bytes, static_cast<std::uint8_t>(outcome.text.has_value()));
    return bytes + outcome.text.value_or(std::string());
}

std::optional<GuardedOutcome> ParseOutcome(std::string_view bytes) {
    GuardedOutcome outcome;
    std::uint8_t done = 0;
    std::uint8_t hasSpace = 0;
    std::uint8_t hasText = 0;
    VolumeSpace space;
    std::uint64_t failureSize = 0;
    std::uint64_t dataSize = 0;
    if (!Take(bytes, done) || !Take(bytes, outcome.drive.type) || !Take(bytes, hasSpace) ||
        !Take(bytes, space.totalBytes) || !Take(bytes, space.freeBytes) || !Take(bytes, outcome.dataFile.status) ||
        !Take(bytes, outcome.dataFile.size) || !Take(bytes, failureSize) || !Take(bytes, dataSize) ||
        failureSize > bytes.size() || dataSize > bytes.size() - failureSize) {
        return std::nullopt;
    }
    outcome.dataFile.failure = bytes.substr(0, failureSize);
    outcome.dataFile.bytes = bytes.substr(failureSize, dataSize);
    bytes.remove_prefix(failureSize + dataSize);
    if (!Take(bytes, hasText)) {
        return std::nullopt;
    }
    outcome.done = done != 0;
    if (hasSpace != 0) {
        outcome.drive.space = space;
    }
    if (hasText != 0) {
        outcome.text = std::string(bytes);
    }
    return outcome;
}
