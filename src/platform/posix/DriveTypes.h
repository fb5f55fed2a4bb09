#pragma once

#include <string>
#include <string_view>

#include "MountTable.h"
#include "platform/Platform.h"

// What /sys tells about the block device behind a mount.
struct BlockDeviceInfo {
    bool found = false;     // /sys knows the device
    bool removable = false; // its disk's removable flag is 1
    bool usb = false;       // it hangs off a USB bus
    bool optical = false;   // an optical drive (sr)
};

// Looks the device up below sysRoot ("/sys" on a real machine); found is false when it is unknown.
BlockDeviceInfo ReadBlockDevice(const std::string& sysRoot, unsigned major, unsigned minor);

// True for filesystems whose data lives on another machine.
bool IsNetworkFilesystem(std::string_view fsType);

// Type of a drive on a mounted filesystem, from its type and its block device.
DriveType ClassifyMountedDrive(const MountEntry& mount, const BlockDeviceInfo& device);

// Type of a drive whose fstab mount point is not mounted now; device is what /sys tells about the
// entry's device when it is present at all.
DriveType ClassifyUnmountedDrive(const FstabEntry& entry, const BlockDeviceInfo& device);
