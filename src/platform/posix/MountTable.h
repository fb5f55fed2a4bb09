#pragma once

#include <string>
#include <string_view>
#include <vector>

// One line of /proc/self/mountinfo, with the octal escapes of its paths undone.
struct MountEntry {
    int id = 0;
    int parentId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;       // folder of the filesystem that is mounted (not "/" for a bind mount of a folder)
    std::string mountPoint; // where it is mounted
    std::string options;    // per-mount options
    std::string fsType;
    std::string source;
    std::string superOptions;
};

// One line of /etc/fstab, with the octal escapes undone.
struct FstabEntry {
    std::string source;
    std::string mountPoint;
    std::string fsType;
    std::string options;
};

// Undoes the octal escapes (\040 for a blank, \011, \012, \134) of a mount table field.
std::string UnescapeMountField(std::string_view field);

// The lines of a mountinfo text in their order; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mounts that can be reached by path: without those covered by a later mount on the same or a
// parent folder.
std::vector<MountEntry> VisibleMounts(const std::vector<MountEntry>& mounts);

// The mount-point lines of an fstab text (no swap, no comments); malformed lines are skipped.
std::vector<FstabEntry> ParseFstab(std::string_view text);

// An absolute path without repeated or trailing separators and with "." and ".." resolved by text;
// empty when the path is not absolute.
std::string NormalizeFolder(std::string_view path);

// True when prefix is path itself or one of its parent folders (both normalised).
bool IsFolderPrefix(std::string_view prefix, std::string_view path);

// Index of the mount whose mount point is the longest folder prefix of the folder (the later one of two
// equal ones); -1 when none.
int MountHolding(const std::vector<MountEntry>& mounts, std::string_view folder);

// Index of the fstab entry whose mount point is the longest folder prefix of the folder; -1 when none.
int FstabEntryHolding(const std::vector<FstabEntry>& entries, std::string_view folder);
