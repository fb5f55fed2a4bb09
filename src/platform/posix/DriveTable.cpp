#include "DriveTable.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace {

constexpr std::string_view kPseudoFilesystems[] = {
    "proc",       "sysfs",       "devtmpfs",        "devpts",      "tmpfs",      "ramfs",  "cgroup",    "cgroup2",
    "securityfs", "debugfs",     "tracefs",         "configfs",    "fusectl",    "mqueue", "hugetlbfs", "pstore",
    "bpf",        "binfmt_misc", "autofs",          "efivarfs",    "rpc_pipefs", "nsfs",   "selinuxfs", "squashfs",
    "overlay",    "nfsd",        "fuse.gvfsd-fuse", "fuse.portal", "rootfs"};

// Folders of the system whose mounts are not drives; /run/media (removable media) is the exception.
bool IsSystemFolder(std::string_view mountPoint) {
    if (IsFolderPrefix("/run/media", mountPoint)) {
        return false;
    }
    for (const std::string_view folder : {"/proc", "/sys", "/dev", "/run", "/boot"}) {
        if (IsFolderPrefix(folder, mountPoint)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<char> LetterOfRoot(std::string_view root) {
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') {
        return std::nullopt;
    }
    const char letter = root[0];
    if (letter >= 'a' && letter <= 'z') {
        return static_cast<char>(letter - 'a' + 'A');
    }
    if (letter >= 'A' && letter <= 'Z') {
        return letter;
    }
    return std::nullopt;
}

bool IsPseudoFilesystem(std::string_view fsType) {
    return std::find(std::begin(kPseudoFilesystems), std::end(kPseudoFilesystems), fsType) !=
           std::end(kPseudoFilesystems);
}

std::vector<DriveMapping> BuildAutomaticDriveTable(const std::vector<MountEntry>& visibleMounts,
                                                   const std::function<bool(const MountEntry&)>& isFolder) {
    std::vector<std::string> folders;
    for (const MountEntry& mount : visibleMounts) {
        const std::string folder = NormalizeFolder(mount.mountPoint);
        if (folder.empty() || folder == "/" || IsSystemFolder(folder) || IsPseudoFilesystem(mount.fsType) ||
            (isFolder && !isFolder(mount))) {
            continue;
        }
        folders.push_back(folder);
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());

    std::vector<DriveMapping> table{{'C', "/"}};
    char letter = 'D';
    for (std::string& folder : folders) {
        if (letter > 'Z') {
            break;
        }
        table.push_back({letter++, std::move(folder)});
    }
    return table;
}

std::vector<DriveMapping> NormalizeDriveTable(std::vector<DriveMapping> table) {
    std::map<char, std::string> byLetter;
    for (DriveMapping& mapping : table) {
        char letter = mapping.letter;
        if (letter >= 'a' && letter <= 'z') {
            letter = static_cast<char>(letter - 'a' + 'A');
        }
        std::string folder = NormalizeFolder(mapping.folder);
        if (letter < 'A' || letter > 'Z' || folder.empty()) {
            continue;
        }
        byLetter[letter] = std::move(folder);
    }
    const bool rootMapped =
        std::any_of(byLetter.begin(), byLetter.end(), [](const auto& entry) { return entry.second == "/"; });
    if (!rootMapped) {
        for (const char letter : std::string_view("CDEFGHIJKLMNOPQRSTUVWXYZAB")) {
            if (byLetter.find(letter) == byLetter.end()) {
                byLetter.emplace(letter, std::string(1, '/'));
                break;
            }
        }
    }
    std::vector<DriveMapping> result;
    result.reserve(byLetter.size());
    for (auto& [letter, folder] : byLetter) {
        result.push_back({letter, std::move(folder)});
    }
    return result;
}

std::optional<char> LetterOfPath(const std::vector<DriveMapping>& table, std::string_view path) {
    const std::string normalized = NormalizeFolder(path);
    std::optional<char> best;
    std::size_t bestLength = 0;
    for (const DriveMapping& mapping : table) {
        if (IsFolderPrefix(mapping.folder, normalized) && (!best || mapping.folder.size() > bestLength)) {
            best = mapping.letter;
            bestLength = mapping.folder.size();
        }
    }
    return best;
}
