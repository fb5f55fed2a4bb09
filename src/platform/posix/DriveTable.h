#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MountTable.h"
#include "platform/Platform.h"

// The upper-case letter of a root path: exactly a letter, ':' and '\' (either case); nullopt otherwise.
std::optional<char> LetterOfRoot(std::string_view root);

// The table made from the mount table when the settings file has none: C for "/", then D, E, ... for
// the other mounted filesystems that hold user data, in mount-point order. isFolder tells whether a
// mount's mount point is a folder (files bind-mounted by containers are not drives).
std::vector<DriveMapping> BuildAutomaticDriveTable(const std::vector<MountEntry>& visibleMounts,
                                                   const std::function<bool(const MountEntry&)>& isFolder);

// A table read from the settings file made usable: upper-case letters A-Z with absolute folders only (a later
// entry for a letter wins), folders normalised, "/" present (on the first free letter from C when no
// entry maps it), sorted by letter.
std::vector<DriveMapping> NormalizeDriveTable(std::vector<DriveMapping> table);

// The letter whose folder is the longest folder prefix of the normalised path; nullopt when none.
std::optional<char> LetterOfPath(const std::vector<DriveMapping>& table, std::string_view path);

// True for filesystems that never hold user data (kernel interfaces, package images, memory).
bool IsPseudoFilesystem(std::string_view fsType);
