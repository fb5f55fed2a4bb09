#include "DriveTypes.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::string_view kNetworkFilesystems[] = {
    "nfs",    "nfs4",        "cifs",          "smb3",          "smbfs",     "sshfs",          "fuse.sshfs",
    "9p",     "virtiofs",    "ceph",          "fuse.ceph",     "glusterfs", "fuse.glusterfs", "afs",
    "davfs",  "fuse.davfs2", "fuse.rclone",   "fuse.s3fs",     "lustre",    "ncpfs",          "coda",
    "beegfs", "gpfs",        "fuse.smbnetfs", "fuse.curlftpfs"};

bool ReadsOne(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char c = 0;
    const ssize_t got = read(fd, &c, 1);
    close(fd);
    return got == 1 && c == '1';
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

std::string_view BaseName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsOpticalName(std::string_view name) {
    return name.substr(0, 2) == "sr" || name == "cdrom" || name == "dvd" || name.substr(0, 3) == "scd";
}

bool IsOpticalFilesystem(std::string_view fsType) {
    return fsType == "iso9660" || fsType == "udf";
}

bool IsMemoryFilesystem(std::string_view fsType) {
    return fsType == "tmpfs" || fsType == "ramfs";
}

} // namespace

BlockDeviceInfo ReadBlockDevice(const std::string& sysRoot, unsigned major, unsigned minor) {
    BlockDeviceInfo info;
    if (major == 0) {
        return info; // an anonymous device: no disk behind it
    }
    char link[64];
    std::snprintf(link, sizeof link, "/dev/block/%u:%u", major, minor);
    char* resolved = realpath((sysRoot + link).c_str(), nullptr);
    if (resolved == nullptr) {
        return info;
    }
    std::string device(resolved);
    std::free(resolved);
    info.found = true;
    // A partition keeps the removable flag in its disk's folder, one level up.
    std::string disk = device;
    if (Exists(device + "/partition")) {
        disk = device.substr(0, device.rfind('/'));
    }
    info.removable = ReadsOne(disk + "/removable");
    info.usb = device.find("/usb") != std::string::npos;
    info.optical = IsOpticalName(BaseName(disk));
    return info;
}

bool IsNetworkFilesystem(std::string_view fsType) {
    return std::find(std::begin(kNetworkFilesystems), std::end(kNetworkFilesystems), fsType) !=
           std::end(kNetworkFilesystems);
}

namespace {

// The type of a drive from its file system type, its source and its block device.
DriveType ClassifyDrive(std::string_view fsType, std::string_view source, const BlockDeviceInfo& device) {
    if (IsNetworkFilesystem(fsType)) {
        return DriveType::Remote;
    }
    if (IsOpticalFilesystem(fsType) || device.optical || IsOpticalName(BaseName(source))) {
        return DriveType::CdRom;
    }
    if (IsMemoryFilesystem(fsType)) {
        return DriveType::RamDisk;
    }
    if (device.removable || device.usb) {
        return DriveType::Removable;
    }
    return DriveType::Fixed;
}

} // namespace

DriveType ClassifyMountedDrive(const MountEntry& mount, const BlockDeviceInfo& device) {
    return ClassifyDrive(mount.fsType, mount.source, device);
}

DriveType ClassifyUnmountedDrive(const FstabEntry& entry, const BlockDeviceInfo& device) {
    const DriveType type = ClassifyDrive(entry.fsType, entry.source, device);
    if (type != DriveType::Fixed) {
        return type;
    }
    // The medium is away and the device with it: an entry that is not mounted at boot is one for media
    // that come and go.
    if (!device.found && entry.options.find("noauto") != std::string::npos) {
        return DriveType::Removable;
    }
    return DriveType::Fixed;
}
