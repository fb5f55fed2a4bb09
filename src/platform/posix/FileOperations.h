#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

// How a rename that must not replace its target is done.
enum class RenameMethod {
    Automatic,       // renameat2 with RENAME_NOREPLACE, falling back when the filesystem refuses the flag
    LinkThenUnlink,  // link() then unlink(): still atomic, for filesystems without the flag
    CheckThenRename, // for filesystems without hard links either: a short window remains
};

// Renames or moves a regular file without ever replacing an existing target (a symbolic link at the target
// counts as taken). Onto another filesystem only an empty file is moved (its new name created, the old one
// removed). False on any failure, and when the source is a symbolic link, a folder or another non-regular file.
bool RenameWithoutReplace(const std::string& from, const std::string& to,
                          RenameMethod method = RenameMethod::Automatic);

// Creates the file empty (0666 less the umask) or truncates it, never through a symbolic link. False on failure,
// and when the name is taken by a link, a folder, a FIFO or another non-regular file, or by a file with content
// and further hard links: these are left as they are.
bool CreateOrTruncateFile(const std::string& path);

// Largest file ReadWholeFile returns.
inline constexpr std::size_t kMaxTextFileBytes = 16u << 20;

// Bytes of a regular file of at most maxBytes; nullopt when it cannot be read, is no regular file or is
// larger.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes = kMaxTextFileBytes);

// Replaces the content of the file (of the file a symbolic link points to) through a temporary file in the
// same folder, flushed to disk and renamed over it. Where the folder takes no temporary file, or the file
// is a mount point, an existing file is written in place and flushed instead. False on failure, with no
// temporary file left behind and, short of a disk error in the middle of an in-place write, the old file
// whole.
bool ReplaceFileContent(const std::string& path, std::string_view content);

// The process's file-creation mask.
unsigned CurrentUmask();

// Data files (see Platform::ReadDataFile and the two after it): regular files of the effective user only,
// never reached through a symbolic link.
DataFileRead ReadDataFileRange(const std::string& path, std::uint64_t offset, std::uint64_t length);
std::string AppendDataFileBytes(const std::string& path, std::string_view bytes);
std::string RewriteDataFileContent(const std::string& path, std::string_view head, std::uint64_t keepFrom,
                                   std::uint64_t keepTo);
