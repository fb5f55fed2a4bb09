#include "PosixPlatform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "DriveTable.h"
#include "Encoding.h"
#include "FileOperations.h"

namespace {

constexpr const char* kConfigurationName = "tarvellin.ini";

// The system's text of an error number, to follow a colon: "permission denied".
std::string ErrorText(int error) {
    std::string text = std::strerror(error);
    if (!text.empty() && text.front() >= 'A' && text.front() <= 'Z' &&
        (text.size() < 2 || !std::isupper(static_cast<unsigned char>(text[1])))) {
        text.front() = static_cast<char>(text.front() - 'A' + 'a');
    }
    return text;
}
// fstab is looked at again at most this often: an edit of it matters only for drives without medium.
constexpr std::int64_t kFstabCheckMilliseconds = 1000;

// A mount or unmount is seen by the queries made this long after it at the latest.
constexpr std::int64_t kMountCheckMicroseconds = 1000;

std::int64_t MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

std::int64_t CoarseMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::optional<std::string> CurrentDirectory() {
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (!cwd) {
        return std::nullopt;
    }
    return std::string(cwd.get());
}

std::optional<std::string> RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The content of an open file from its start; empty when it cannot be read.
std::string ReadFromStart(int fd) {
    std::string content;
    if (lseek(fd, 0, SEEK_SET) != 0) {
        return content;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
}

// The device file that an fstab source names (UUID=..., LABEL=... or a path).
std::string DeviceFileOfSource(const std::string& source) {
    static const std::pair<const char*, const char*> kTags[] = {{"UUID=", "/dev/disk/by-uuid/"},
                                                                {"LABEL=", "/dev/disk/by-label/"},
                                                                {"PARTUUID=", "/dev/disk/by-partuuid/"},
                                                                {"PARTLABEL=", "/dev/disk/by-partlabel/"}};
    for (const auto& [tag, folder] : kTags) {
        const std::string_view prefix(tag);
        if (source.compare(0, prefix.size(), prefix) == 0) {
            return folder + source.substr(prefix.size());
        }
    }
    return source;
}

// Total and free bytes of the file system that holds the folder; nullopt when it cannot be asked.
std::optional<VolumeSpace> SpaceOf(const char* folder) {
    struct statvfs info {};
    if (statvfs(folder, &info) != 0) {
        return std::nullopt;
    }
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    return VolumeSpace{static_cast<std::uint64_t>(info.f_blocks) * unit,
                       static_cast<std::uint64_t>(info.f_bfree) * unit};
}

} // namespace

PosixPlatform::PosixPlatform() : PosixPlatform(Sources{}) {}

PosixPlatform::PosixPlatform(Sources sources) : m_sources(std::move(sources)) {}

PosixPlatform::~PosixPlatform() {
    if (m_mountInfoFd >= 0) {
        close(m_mountInfoFd);
    }
}

void PosixPlatform::RefreshTables() const {
    bool changed = false;
    if (!m_mountsLoaded) {
        m_mountInfoFd = open(m_sources.mountInfo.c_str(), O_RDONLY | O_CLOEXEC);
        m_mountInfoPollable = m_sources.mountInfo.rfind("/proc/", 0) == 0;
        changed = true;
    } else if (m_mountInfoFd >= 0 && m_mountInfoPollable) {
        // The kernel flags the mount table file when a mount or an unmount happened since the last look.
        // One look serves a burst of queries (a refresh cycle makes twenty within a fraction of this).
        const std::int64_t now = MonotonicMicroseconds();
        if (now - m_mountsCheckedAt >= kMountCheckMicroseconds) {
            m_mountsCheckedAt = now;
            pollfd watch{m_mountInfoFd, POLLPRI, 0};
            changed = poll(&watch, 1, 0) > 0 && (watch.revents & (POLLPRI | POLLERR)) != 0;
        }
    }
    if (changed) {
        m_mounts = m_mountInfoFd >= 0 ? VisibleMounts(ParseMountInfo(ReadFromStart(m_mountInfoFd)))
                                      : std::vector<MountEntry>{};
        m_mountsLoaded = true;
        m_mountsCheckedAt = MonotonicMicroseconds();
        m_devices.clear();
        m_driveValid.fill(false);
    }

    const std::int64_t now = CoarseMilliseconds();
    if (m_fstabCheckedAt < 0 || now - m_fstabCheckedAt >= kFstabCheckMilliseconds) {
        m_fstabCheckedAt = now;
        struct stat info {};
        std::array<std::int64_t, 4> stamp{-1, -1, -1, -1};
        if (stat(m_sources.fstab.c_str(), &info) == 0) {
            stamp = {static_cast<std::int64_t>(info.st_ino), static_cast<std::int64_t>(info.st_size),
                     static_cast<std::int64_t>(info.st_mtim.tv_sec), static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
        }
        if (stamp != m_fstabStamp) {
            m_fstabStamp = stamp;
            const std::optional<std::string> text = ReadWholeFile(m_sources.fstab, 1u << 20);
            m_fstab = text ? ParseFstab(*text) : std::vector<FstabEntry>{};
            m_driveValid.fill(false);
        }
    }
}

const std::vector<DriveMapping>& PosixPlatform::TableInForce() const {
    if (!m_table) {
        // Built once and kept for the run, so letters do not move when media come and go; the first
        // settings save stores it.
        RefreshTables();
        // A network mount point is taken on trust: looking at it could wait on an unreachable server.
        const auto isFolder = [](const MountEntry& mount) {
            return IsNetworkFilesystem(mount.fsType) || IsDirectory(mount.mountPoint);
        };
        m_table = NormalizeDriveTable(BuildAutomaticDriveTable(m_mounts, isFolder));
    }
    return *m_table;
}

BlockDeviceInfo PosixPlatform::DeviceByNumber(unsigned major, unsigned minor) const {
    const std::uint64_t key = (static_cast<std::uint64_t>(major) << 32) | minor;
    const auto found = m_devices.find(key);
    if (found != m_devices.end()) {
        return found->second;
    }
    const BlockDeviceInfo info = ReadBlockDevice(m_sources.sysRoot, major, minor);
    m_devices.emplace(key, info);
    return info;
}

BlockDeviceInfo PosixPlatform::DeviceByPath(const std::string& path) const {
    struct stat info {};
    if (path.rfind("/dev/", 0) != 0 || stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) {
        return {};
    }
    return DeviceByNumber(major(info.st_rdev), minor(info.st_rdev));
}

PosixPlatform::Drive& PosixPlatform::DriveOf(char letter) const {
    const std::vector<DriveMapping>& table = TableInForce();
    RefreshTables();
    const auto index = static_cast<std::size_t>(letter - 'A');
    Drive& drive = m_drives[index];
    if (m_driveValid[index]) {
        return drive;
    }
    drive = Drive{};
    m_driveValid[index] = true;
    for (const DriveMapping& mapping : table) {
        if (mapping.letter == letter) {
            drive.known = true;
            drive.folder = mapping.folder;
        }
    }
    if (!drive.known) {
        return drive;
    }
    const int mountIndex = MountHolding(m_mounts, drive.folder);
    const int fstabIndex = FstabEntryHolding(m_fstab, drive.folder);
    if (fstabIndex >= 0) {
        const FstabEntry& entry = m_fstab[static_cast<std::size_t>(fstabIndex)];
        if (mountIndex < 0 ||
            entry.mountPoint.size() > m_mounts[static_cast<std::size_t>(mountIndex)].mountPoint.size()) {
            drive.withoutMedium = true;
            drive.fstabType = ClassifyUnmountedDrive(entry, DeviceByPath(DeviceFileOfSource(entry.source)));
        }
    }
    return drive;
}

DriveType PosixPlatform::MountedTypeOf(Drive& drive, std::uint64_t device) const {
    if (drive.typeKnown && drive.typeDevice == device) {
        return drive.type;
    }
    int mountIndex = MountHolding(m_mounts, drive.folder);
    // A folder reached through a symbolic link lies on the filesystem of its device, not of its path.
    if (mountIndex >= 0) {
        const MountEntry& byPath = m_mounts[static_cast<std::size_t>(mountIndex)];
        if (makedev(byPath.major, byPath.minor) != device) {
            for (std::size_t i = 0; i < m_mounts.size(); ++i) {
                if (makedev(m_mounts[i].major, m_mounts[i].minor) == device) {
                    mountIndex = static_cast<int>(i);
                    break;
                }
            }
        }
    }
    DriveType type = DriveType::Fixed;
    if (mountIndex >= 0) {
        const MountEntry& mount = m_mounts[static_cast<std::size_t>(mountIndex)];
        BlockDeviceInfo info = DeviceByNumber(mount.major, mount.minor);
        if (!info.found) {
            info = DeviceByPath(mount.source); // btrfs and others show an anonymous device number
        }
        type = ClassifyMountedDrive(mount, info);
    }
    drive.typeKnown = true;
    drive.typeDevice = device;
    drive.type = type;
    return type;
}

std::optional<VolumeSpace> PosixPlatform::DiskFreeSpace(std::string_view root) const {
    const std::optional<char> letter = LetterOfRoot(root);
    if (!letter) {
        return std::nullopt;
    }
    std::string folder;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const Drive& drive = DriveOf(*letter);
        if (!drive.known || drive.withoutMedium) {
            return std::nullopt;
        }
        folder = drive.folder;
    }
    return SpaceOf(folder.c_str());
}

std::optional<VolumeSpace> PosixPlatform::CurrentDiskFreeSpace() const {
    return SpaceOf(".");
}

DriveType PosixPlatform::GetDriveType(std::string_view root) const {
    const std::optional<char> letter = LetterOfRoot(root);
    if (!letter) {
        return DriveType::NoRootDir;
    }
    std::string folder;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const Drive& drive = DriveOf(*letter);
        if (!drive.known) {
            return DriveType::NoRootDir;
        }
        folder = drive.folder;
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return DriveType::NoRootDir;
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    Drive& drive = DriveOf(*letter);
    if (!drive.known || drive.folder != folder) {
        return DriveType::NoRootDir; // the table changed meanwhile
    }
    return drive.withoutMedium ? drive.fstabType : MountedTypeOf(drive, static_cast<std::uint64_t>(info.st_dev));
}

std::string PosixPlatform::CurrentDriveLetter() const {
    const std::optional<std::string> cwd = CurrentDirectory();
    if (!cwd) {
        return {};
    }
    std::vector<DriveMapping> candidates;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        candidates = TableInForce();
    }
    // Folders are compared as written and as resolved, so a letter on a symbolic link still matches.
    const std::size_t count = candidates.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (const std::optional<std::string> resolved = RealPath(candidates[i].folder);
            resolved && *resolved != candidates[i].folder) {
            candidates.push_back({candidates[i].letter, *resolved});
        }
    }
    const std::optional<char> letter = LetterOfPath(candidates, *cwd);
    return letter ? std::string(1, *letter) : std::string();
}

std::string PosixPlatform::FolderOfRoot(std::string_view root) const {
    const std::optional<char> letter = LetterOfRoot(root);
    if (letter) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const DriveMapping& mapping : TableInForce()) {
            if (mapping.letter == *letter) {
                return mapping.folder == "/" ? mapping.folder : mapping.folder + "/";
            }
        }
    }
    return std::string(root);
}

std::string PosixPlatform::ConfigurationPath() const {
    const std::optional<std::string> cwd = CurrentDirectory();
    if (!cwd) {
        return kConfigurationName; // the current directory is gone: relative to it, whatever it is
    }
    return (cwd->back() == '/' ? *cwd : *cwd + "/") + kConfigurationName;
}

bool PosixPlatform::RenameNoReplace(const std::string& from, const std::string& to) {
    return RenameWithoutReplace(from, to);
}

bool PosixPlatform::CreateOrTruncate(const std::string& path) {
    return CreateOrTruncateFile(path);
}

bool PosixPlatform::FileExists(const std::string& path) const {
    struct stat info {};
    // A path that cannot be looked at (a folder without search permission) may well hold a file.
    return ::lstat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

std::optional<std::string> PosixPlatform::ReadTextFile(const std::string& path) const {
    // The bytes as they are: a hand-edited file may mix UTF-8 lines with code page 932 ones.
    return ReadWholeFile(path);
}

std::string PosixPlatform::ReadFailure(const std::string& path) const {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? "it does not exist" : ErrorText(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return "it is a folder";
    }
    if (!S_ISREG(info.st_mode)) {
        return "it is not a regular file";
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxTextFileBytes) {
        return "it is larger than " + std::to_string(kMaxTextFileBytes >> 20) + " MB";
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return ErrorText(errno);
    }
    ::close(fd);
    return ReadWholeFile(path) ? std::string() : "it could not be read to its end";
}

std::string PosixPlatform::TextLineToUtf8(std::string_view line) const {
    return LineToUtf8(line);
}

bool PosixPlatform::ReplaceFileAtomically(const std::string& path, std::string_view utf8Content) {
    return ReplaceFileContent(path, utf8Content);
}

int PosixPlatform::LocalMinute() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) {
        return -1;
    }
    return local.tm_min;
}

int PosixPlatform::MillisecondsToNextMinute() const {
    timespec now{};
    std::tm local{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0 || localtime_r(&now.tv_sec, &local) == nullptr) {
        return 60000;
    }
    // A leap second (tm_sec 60) belongs to the minute that is ending.
    const int intoMinute = std::min(local.tm_sec, 59) * 1000 + static_cast<int>(now.tv_nsec / 1000000);
    return 60000 - intoMinute;
}

std::string PosixPlatform::ToCodePage932(std::string_view utf8) const {
    return Utf8ToCodePage932(utf8);
}

std::vector<DriveMapping> PosixPlatform::DriveTable() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return TableInForce();
}

void PosixPlatform::SetDriveTable(std::vector<DriveMapping> table) {
    std::vector<DriveMapping> normalized = NormalizeDriveTable(std::move(table));
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_table = std::move(normalized);
    m_driveValid.fill(false);
}

std::unique_ptr<Platform> CreatePlatform() {
    return std::make_unique<PosixPlatform>();
}
