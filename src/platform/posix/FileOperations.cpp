#include "FileOperations.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

// The flag-aware rename: the raw system call, so an older C library without the wrapper still works.
int RenameAt2NoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

bool RefusesFlag(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

// How one way of renaming ended.
enum class RenameEnd { Renamed, Failed, Unsupported, OtherFileSystem };

RenameEnd EndOf(int error) {
    return error == EXDEV ? RenameEnd::OtherFileSystem : RenameEnd::Failed;
}

RenameEnd LinkThenUnlink(const std::string& from, const std::string& to) {
    if (link(from.c_str(), to.c_str()) != 0) {
        // EPERM: no hard links on this filesystem (vfat, exfat) or from is a folder.
        const bool unsupported = errno == EPERM || errno == EOPNOTSUPP || errno == ENOTSUP || errno == ENOSYS;
        return unsupported ? RenameEnd::Unsupported : EndOf(errno);
    }
    if (unlink(from.c_str()) != 0) {
        unlink(to.c_str()); // back to the one name we started with
        return RenameEnd::Failed;
    }
    return RenameEnd::Renamed;
}

RenameEnd CheckThenRename(const std::string& from, const std::string& to) {
    struct stat target {};
    if (lstat(to.c_str(), &target) == 0 || errno != ENOENT) {
        return RenameEnd::Failed;
    }
    return rename(from.c_str(), to.c_str()) == 0 ? RenameEnd::Renamed : EndOf(errno);
}

// A file cannot be renamed onto another filesystem. Status files are empty, so one is moved there by
// creating the new name (never replacing a file) and removing the old one; a file with content is never
// moved this way, as it would be lost.
bool MoveEmptyFile(const std::string& from, const std::string& to) {
    const int source = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (source < 0) {
        return false;
    }
    struct stat info {};
    const auto empty = [&] { return fstat(source, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0; };
    bool moved = false;
    if (empty()) {
        const int target = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
        if (target >= 0) {
            moved = close(target) == 0 && empty() && unlink(from.c_str()) == 0;
            if (!moved) {
                unlink(to.c_str()); // back to the one name we started with
            }
        }
    }
    close(source);
    return moved;
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool WriteAllAt(int fd, std::string_view content, off_t offset) {
    while (!content.empty()) {
        const ssize_t written = pwrite(fd, content.data(), content.size(), offset);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

// Writes the content into the existing regular file itself, for a folder that takes no new file. The part
// beyond the old end goes first: it is the part that needs new room, and when it does not fit, cutting
// the file back to its old length leaves the old content whole.
bool WriteInPlace(const std::string& path, std::string_view content) {
    // O_NONBLOCK: a FIFO put there meanwhile must not hang the agent.
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const std::size_t oldSize = ok ? static_cast<std::size_t>(info.st_size) : 0;
    if (ok && content.size() > oldSize) {
        ok = WriteAllAt(fd, content.substr(oldSize), static_cast<off_t>(oldSize));
        if (!ok) {
            [[maybe_unused]] const int ignored = ftruncate(fd, static_cast<off_t>(oldSize));
        }
    }
    ok = ok && WriteAllAt(fd, content.substr(0, std::min(oldSize, content.size())), 0) &&
         ftruncate(fd, static_cast<off_t>(content.size())) == 0 && fsync(fd) == 0;
    return (close(fd) == 0) && ok;
}

// True when creating a file failed because the folder takes no new file (permissions, read-only mount).
bool FolderRefusesNewFiles(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// The file a path finally names, following symbolic links in its last component (a link to a missing
// file gives the missing file's path); info receives what lstat tells of it (st_mode 0 when missing).
std::string ResolveLastComponent(std::string path, struct stat& info) {
    for (int depth = 0; depth < 40; ++depth) {
        info = {};
        if (lstat(path.c_str(), &info) != 0) {
            info = {};
            return path;
        }
        if (!S_ISLNK(info.st_mode)) {
            return path;
        }
        std::vector<char> buffer(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
        if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
            return path;
        }
        std::string target(buffer.data(), static_cast<std::size_t>(length));
        if (target.empty()) {
            return path;
        }
        if (target[0] != '/') {
            const std::size_t slash = path.rfind('/');
            target = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
        }
        path = std::move(target);
    }
    return path;
}

unsigned ReadUmask() {
    // /proc tells the mask without changing it (umask() itself can only be read by setting it).
    if (const std::optional<std::string> status = ReadWholeFile("/proc/self/status", 1 << 16)) {
        const std::size_t pos = status->find("\nUmask:");
        if (pos != std::string::npos) {
            return static_cast<unsigned>(std::strtoul(status->c_str() + pos + 7, nullptr, 8)) & 0777u;
        }
    }
    const mode_t mask = umask(022);
    umask(mask);
    return static_cast<unsigned>(mask);
}

} // namespace

bool RenameWithoutReplace(const std::string& from, const std::string& to, RenameMethod method) {
    if (from == to) {
        return false; // the target is the source: it exists (no replace) or is missing (nothing to move)
    }
    // Only a regular file is moved: a link or a folder put at the old name is somebody else's, and a link
    // moved to the new name would pass for the file just published. A swap after this look moves the link
    // itself, never its target.
    struct stat source {};
    if (lstat(from.c_str(), &source) != 0 || !S_ISREG(source.st_mode)) {
        return false;
    }
    RenameEnd end = RenameEnd::Unsupported;
    if (method == RenameMethod::Automatic) {
        end = RenameAt2NoReplace(from.c_str(), to.c_str()) == 0 ? RenameEnd::Renamed
              : RefusesFlag(errno)                              ? RenameEnd::Unsupported
                                                                : EndOf(errno);
        method = RenameMethod::LinkThenUnlink;
    }
    if (end == RenameEnd::Unsupported && method == RenameMethod::LinkThenUnlink) {
        end = LinkThenUnlink(from, to);
    }
    if (end == RenameEnd::Unsupported) {
        end = CheckThenRename(from, to);
    }
    if (end == RenameEnd::OtherFileSystem) {
        return MoveEmptyFile(from, to);
    }
    return end == RenameEnd::Renamed;
}

bool CreateOrTruncateFile(const std::string& path) {
    // The folder may be writable by others: a link planted at the name is not followed (O_NOFOLLOW), and a
    // FIFO or a device put there neither hangs the open nor becomes our terminal.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    // A file with content and further names may be somebody else's file linked in here: it is not emptied.
    // Truncating an empty file still marks it as written now, as a fresh one would be.
    const bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_size == 0 || info.st_nlink == 1) &&
                    ftruncate(fd, 0) == 0;
    return (close(fd) == 0) && ok;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    // O_NONBLOCK: a FIFO put where the file should be must not hang the agent.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info {};
    const bool procFile = path.rfind("/proc/", 0) == 0;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        (!procFile && static_cast<std::uint64_t>(info.st_size) > maxBytes)) {
        close(fd);
        return std::nullopt;
    }
    std::string content;
    content.resize(procFile ? 4096 : static_cast<std::size_t>(info.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == content.size()) {
            if (content.size() > maxBytes) {
                close(fd);
                return std::nullopt; // grew beyond the bound while being read
            }
            content.resize(std::min(content.size() * 2, maxBytes + 1));
        }
        const ssize_t got = read(fd, content.data() + used, content.size() - used);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        used += static_cast<std::size_t>(got);
        if (!procFile && used < content.size()) {
            break; // a short read of a regular file is its end
        }
    }
    close(fd);
    if (used > maxBytes) {
        return std::nullopt;
    }
    content.resize(used);
    return content;
}

namespace {

// Removes the named temporaries "<prefix><pid>-<n>" that a process killed between naming its file and the
// rename left in the folder; those of live processes are in use and stay.
void RemoveOrphanedTemporaries(const std::string& folder, const std::string& namePrefix) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (!entryName.starts_with(namePrefix)) {
            continue;
        }
        const std::string_view rest = entryName.substr(namePrefix.size());
        const std::size_t dash = rest.find('-');
        pid_t owner = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + std::min(dash, rest.size()), owner);
        if (dash == std::string_view::npos || error != std::errc() || end != rest.data() + dash || owner <= 0) {
            continue;
        }
        if (owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    closedir(dir);
}

} // namespace

bool ReplaceFileContent(const std::string& path, std::string_view content) {
    if (path.empty()) {
        return false;
    }
    struct stat old {};
    const std::string target = ResolveLastComponent(path, old);
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        return false;
    }
    const bool hadOld = S_ISREG(old.st_mode);
    const mode_t mode = hadOld ? (old.st_mode & 07777) : static_cast<mode_t>(0666u & ~CurrentUmask());
    // Content, permissions and owner of the new file, all on the disk before it gets a name.
    const auto fill = [&](int fd) {
        bool ok = WriteAll(fd, content) && fchmod(fd, mode) == 0;
        static const uid_t user = geteuid();
        static const gid_t group = getegid();
        if (ok && hadOld && (old.st_uid != user || old.st_gid != group)) {
            // Keep the owner when we may (root saving a user's file); a failure is no reason to stop.
            [[maybe_unused]] const int ignored = fchown(fd, old.st_uid, old.st_gid);
        }
        return ok && fsync(fd) == 0;
    };
    const std::string prefix = (slash == std::string::npos ? std::string() : folder) + "." + name + ".";

    // The file is written unnamed and named only just before the rename, so a process killed while it
    // writes leaves nothing behind. Where the filesystem has no unnamed files, a named temporary serves.
    std::string temporary;
    bool ok = false;
    const int unnamed = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        ok = fill(unnamed);
        const std::string self = "/proc/self/fd/" + std::to_string(unnamed);
        for (int attempt = 0; ok && attempt < 100; ++attempt) {
            temporary = prefix + std::to_string(getpid()) + "-" + std::to_string(attempt);
            if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                break;
            }
            temporary.clear();
            ok = errno == EEXIST;
        }
        ok = (close(unnamed) == 0) && ok && !temporary.empty();
    }
    if (!ok) {
        temporary = prefix + "XXXXXX";
        const int fd = mkostemp(temporary.data(), O_CLOEXEC);
        if (fd < 0) {
            // A read-only folder holding a writable file (a shared configuration): the file itself is written.
            return FolderRefusesNewFiles(errno) && hadOld && WriteInPlace(target, content);
        }
        ok = fill(fd);
        ok = (close(fd) == 0) && ok;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        // EBUSY: the file is a mount point of its own (a file bind-mounted into a container), which no
        // rename replaces; the file itself is written.
        return error == EBUSY && hadOld && WriteInPlace(target, content);
    }
    RemoveOrphanedTemporaries(folder, "." + name + ".");
    // The rename itself reaches the disk with the folder.
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

unsigned CurrentUmask() {
    static const unsigned mask = ReadUmask();
    return mask;
}

namespace {

// Largest part of a data file read at once.
constexpr std::uint64_t kMaxDataReadBytes = 64u << 20;

// Opens a data file without following a link and checks it is a regular file of ours; why not otherwise.
int OpenDataFile(const std::string& path, int flags, struct stat& info, std::string& failure) {
    // O_NONBLOCK: a FIFO put at the name must not hang the agent.
    const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // EISDIR: a folder opened for writing; ENXIO: a FIFO without a reader opened for writing.
        failure = errno == ELOOP                      ? "it is a symbolic link"
                  : errno == EISDIR || errno == ENXIO ? "it is not a regular file"
                                                      : std::strerror(errno);
        return -1;
    }
    if (fstat(fd, &info) != 0) {
        failure = std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        failure = "it is not a regular file";
    } else if (info.st_uid != geteuid()) {
        failure = "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    } else {
        return fd;
    }
    close(fd);
    errno = EPERM; // not ENOENT: something is there
    return -1;
}

bool ReadAllAt(int fd, std::string& bytes, std::uint64_t offset, std::uint64_t length) {
    bytes.resize(static_cast<std::size_t>(length));
    std::size_t used = 0;
    while (used < bytes.size()) {
        const ssize_t got = pread(fd, bytes.data() + used, bytes.size() - used, static_cast<off_t>(offset + used));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    return true;
}

} // namespace

DataFileRead ReadDataFileRange(const std::string& path, std::uint64_t offset, std::uint64_t length) {
    DataFileRead read;
    struct stat info {};
    const int fd = OpenDataFile(path, O_RDONLY, info, read.failure);
    if (fd < 0) {
        read.status = errno == ENOENT ? DataFileRead::Status::Missing : DataFileRead::Status::Refused;
        return read;
    }
    read.size = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t wanted = offset >= read.size ? 0 : std::min({length, read.size - offset, kMaxDataReadBytes});
    read.status =
        ReadAllAt(fd, read.bytes, offset, wanted) ? DataFileRead::Status::Read : DataFileRead::Status::Refused;
    if (read.status == DataFileRead::Status::Refused) {
        read.failure = std::strerror(errno);
        read.bytes.clear();
    }
    close(fd);
    return read;
}

std::string AppendDataFileBytes(const std::string& path, std::string_view bytes) {
    std::string failure;
    struct stat info {};
    const int fd = OpenDataFile(path, O_WRONLY | O_APPEND | O_CREAT, info, failure);
    if (fd < 0) {
        return failure;
    }
    if (!WriteAll(fd, bytes)) {
        failure = std::strerror(errno);
    }
    if (close(fd) != 0 && failure.empty()) {
        failure = std::strerror(errno);
    }
    return failure;
}

std::string RewriteDataFileContent(const std::string& path, std::string_view head, std::uint64_t keepFrom,
                                   std::uint64_t keepTo) {
    std::string failure;
    struct stat info {};
    const int old = OpenDataFile(path, O_RDONLY, info, failure);
    const bool missing = old < 0 && errno == ENOENT;
    if (old < 0 && !(missing && keepFrom >= keepTo)) {
        return failure;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    std::string temporary = (slash == std::string::npos ? std::string() : folder) + "." +
                            path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        failure = std::string("no temporary file beside it: ") + std::strerror(errno);
        if (old >= 0) {
            close(old);
        }
        return failure;
    }
    bool ok = WriteAll(fd, head);
    std::string chunk;
    for (std::uint64_t at = keepFrom; ok && old >= 0 && at < keepTo; at += chunk.size()) {
        ok = ReadAllAt(old, chunk, at, std::min<std::uint64_t>(keepTo - at, 1u << 20)) && !chunk.empty() &&
             WriteAll(fd, chunk);
    }
    const mode_t mode = old >= 0 ? (info.st_mode & 07777) : static_cast<mode_t>(0666u & ~CurrentUmask());
    ok = ok && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    if (!ok) {
        failure = std::strerror(errno);
    }
    ok = (close(fd) == 0) && ok;
    if (old >= 0) {
        close(old);
    }
    // The rename replaces whatever holds the name now, a link planted meanwhile included, never a link's target.
    if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
        failure = failure.empty() ? std::strerror(errno) : failure;
        unlink(temporary.c_str());
        return failure;
    }
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return {};
}
