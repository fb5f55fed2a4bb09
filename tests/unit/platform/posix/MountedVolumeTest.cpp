#include "FileOperations.h"
#include "PosixPlatform.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ScopedMount.h"
#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = 1u << 20;

TEST(Volumes, CapacityIsStatvfsTotalAndTotalFree) {
    TempDir dir;
    PosixPlatform platform;
    platform.SetDriveTable({{'T', dir.Path().string()}});
    struct statvfs info {};
    ASSERT_EQ(statvfs(dir.Path().c_str(), &info), 0);
    const std::optional<VolumeSpace> space = platform.DiskFreeSpace("T:\\");
    ASSERT_TRUE(space);
    EXPECT_EQ(space->totalBytes, static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize);
    // Other processes write to this volume; the total free bytes (not those for users) within a margin.
    const auto expectedFree = static_cast<double>(info.f_bfree) * static_cast<double>(info.f_frsize);
    EXPECT_NEAR(static_cast<double>(space->freeBytes), expectedFree, 256.0 * kMiB);
    EXPECT_GE(space->freeBytes, static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize - 256 * kMiB);
}

TEST(Volumes, TmpfsOfKnownSizeIsRamDiskWithExactCapacity) {
    TempDir dir;
    PosixPlatform platform;
    platform.SetDriveTable({{'R', (dir.Path() / "ram").string()}});
    fs::create_directories(dir.Path() / "ram");
    const DriveType before = platform.GetDriveType("R:\\");
    const ScopedMount ram(dir.Path() / "ram", "tmpfs", "size=64m");
    REQUIRE_MOUNT(ram);
    // The platform has looked at the mount table before; it must notice the new mount (within a
    // millisecond: one look serves a burst of queries).
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_NE(before, DriveType::RamDisk);
    EXPECT_EQ(platform.GetDriveType("R:\\"), DriveType::RamDisk);
    const std::optional<VolumeSpace> empty = platform.DiskFreeSpace("r:\\");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->totalBytes, 64 * kMiB);
    EXPECT_EQ(empty->freeBytes, 64 * kMiB);
    std::ofstream(dir.Path() / "ram/one-mib", std::ios::binary) << std::string(kMiB, 'x');
    const std::optional<VolumeSpace> used = platform.DiskFreeSpace("R:\\");
    ASSERT_TRUE(used);
    EXPECT_EQ(used->freeBytes, 63 * kMiB);
}

TEST(Volumes, UnmountedFolderFallsBackToTheParentFilesystem) {
    TempDir dir;
    PosixPlatform platform;
    platform.SetDriveTable({{'R', (dir.Path() / "ram").string()}});
    {
        const ScopedMount ram(dir.Path() / "ram", "tmpfs", "size=8m");
        REQUIRE_MOUNT(ram);
        EXPECT_EQ(platform.GetDriveType("R:\\"), DriveType::RamDisk);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_NE(platform.GetDriveType("R:\\"), DriveType::RamDisk);
    const std::optional<VolumeSpace> space = platform.DiskFreeSpace("R:\\");
    ASSERT_TRUE(space);
    EXPECT_NE(space->totalBytes, 8 * kMiB);
}

TEST(Volumes, LoopMountedExt4IsFixed) {
    TempDir dir;
    const fs::path image = dir.Path() / "disk.img";
    {
        std::ofstream out(image, std::ios::binary);
        out.seekp(32 * kMiB - 1);
        out.put('\0');
    }
    const std::string mkfs = "mkfs.ext4 -q -F '" + image.string() + "' >/dev/null 2>&1";
    if (geteuid() != 0 || std::system(mkfs.c_str()) != 0) {
        GTEST_SKIP() << "needs root and mkfs.ext4";
    }
    const ScopedMount disk(dir.Path() / "disk", image);
    REQUIRE_MOUNT(disk);
    PosixPlatform platform;
    platform.SetDriveTable({{'X', (dir.Path() / "disk").string()}});
    EXPECT_EQ(platform.GetDriveType("X:\\"), DriveType::Fixed);
    const std::optional<VolumeSpace> space = platform.DiskFreeSpace("X:\\");
    ASSERT_TRUE(space);
    EXPECT_GT(space->totalBytes, 16 * kMiB);
    EXPECT_LE(space->totalBytes, 32 * kMiB);
    EXPECT_GT(space->freeBytes, 0u);
    EXPECT_LT(space->freeBytes, space->totalBytes);
}

TEST(SaveOnFullOrReadOnlyVolume, FullVolumeKeepsOldFileAndLeavesNoTemporary) {
    TempDir dir;
    const ScopedMount small(dir.Path() / "small", "tmpfs", "size=64k");
    REQUIRE_MOUNT(small);
    const fs::path ini = dir.Path() / "small/tarvellin.ini";
    std::ofstream(ini, std::ios::binary) << "[Setting]\nPort=8085\n";
    {
        // Fill the volume to the last block.
        const int fd = open((dir.Path() / "small/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        close(fd);
    }
    EXPECT_FALSE(ReplaceFileContent(ini.string(), std::string(32 * 1024, 'n')));
    EXPECT_EQ(dir.Read("small/tarvellin.ini"), "[Setting]\nPort=8085\n");
    EXPECT_EQ(dir.List("small"), (std::vector<std::string>{"filler", "tarvellin.ini"}));
}

TEST(SaveOnFullOrReadOnlyVolume, ReadOnlyVolumeKeepsOldFile) {
    TempDir dir;
    ScopedMount volume(dir.Path() / "ro", "tmpfs", "size=1m");
    REQUIRE_MOUNT(volume);
    std::ofstream(dir.Path() / "ro/tarvellin.ini", std::ios::binary) << "old";
    ASSERT_TRUE(volume.Remount("tmpfs", MS_RDONLY, "size=1m"));
    PosixPlatform platform;
    EXPECT_FALSE(platform.ReplaceFileAtomically((dir.Path() / "ro/tarvellin.ini").string(), "new"));
    EXPECT_FALSE(platform.CreateOrTruncate((dir.Path() / "ro/tarvellin.ini").string()));
    EXPECT_EQ(dir.Read("ro/tarvellin.ini"), "old");
}

// Settings files that no rename can replace: one on a read-only mount with the file mounted writable on
// top, and one that is a mount point of its own in a writable folder (a file bind-mounted into a container).
TEST(SaveOnFullOrReadOnlyVolume, FileMountedWritableIsWrittenInPlace) {
    for (const bool folderReadOnly : {true, false}) {
        TempDir dir;
        const fs::path folder = dir.Path() / "config";
        dir.Write("real/tarvellin.ini", "[Setting]\nPort=1\n");
        ScopedMount folderMount(folder, "tmpfs", "size=1m");
        REQUIRE_MOUNT(folderMount);
        const ScopedMount file(dir.Path() / "real/tarvellin.ini", folder / "tarvellin.ini",
                               ScopedMount::Bind::ReadWrite);
        REQUIRE_MOUNT(file);
        if (folderReadOnly) {
            ASSERT_TRUE(folderMount.Remount("tmpfs", MS_RDONLY, "size=1m"));
        }
        PosixPlatform platform;
        for (const std::string content : {"; longer than before\n[Setting]\nPort=8085\n", "[Setting]\n"}) {
            EXPECT_TRUE(platform.ReplaceFileAtomically((folder / "tarvellin.ini").string(), content)) << folderReadOnly;
            EXPECT_EQ(dir.Read("real/tarvellin.ini"), content) << folderReadOnly;
        }
        EXPECT_EQ(dir.List("config"), std::vector<std::string>{"tarvellin.ini"}) << folderReadOnly;
    }
}

TEST(RenameFallbacks, EveryMethodKeepsTargetsOnTmpfs) {
    TempDir dir;
    const ScopedMount ram(dir.Path() / "ram", "tmpfs", "size=1m");
    REQUIRE_MOUNT(ram);
    for (const RenameMethod method :
         {RenameMethod::Automatic, RenameMethod::LinkThenUnlink, RenameMethod::CheckThenRename}) {
        const fs::path folder = dir.Path() / "ram";
        std::ofstream(folder / "a") << "a";
        std::ofstream(folder / "b") << "b";
        EXPECT_FALSE(RenameWithoutReplace((folder / "a").string(), (folder / "b").string(), method));
        EXPECT_EQ(dir.Read("ram/b"), "b");
        fs::remove(folder / "b");
        EXPECT_TRUE(RenameWithoutReplace((folder / "a").string(), (folder / "b").string(), method));
        EXPECT_EQ(dir.List("ram"), std::vector<std::string>{"b"});
        fs::remove(folder / "b");
    }
}

} // namespace
