#include "DriveTypes.h"
#include "PosixPlatform.h"

#include <atomic>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDir.h"

namespace fs = std::filesystem;

namespace {

MountEntry Mount(const char* fsType, const char* source) {
    MountEntry mount;
    mount.fsType = fsType;
    mount.source = source;
    mount.mountPoint = "/x";
    return mount;
}

TEST(DriveTypeRules, MountedFilesystemsByTypeAndDevice) {
    BlockDeviceInfo none;
    BlockDeviceInfo fixedDisk{true, false, false, false};
    BlockDeviceInfo cardReader{true, true, false, false};
    BlockDeviceInfo usbDisk{true, false, true, false};
    BlockDeviceInfo optical{true, true, false, true};
    const struct {
        const char* fsType;
        const char* source;
        BlockDeviceInfo device;
        DriveType expected;
    } cases[] = {
        {"nfs", "server:/x", none, DriveType::Remote},
        {"nfs4", "server:/x", none, DriveType::Remote},
        {"cifs", "//nas/share", none, DriveType::Remote},
        {"smb3", "//nas/share", none, DriveType::Remote},
        {"fuse.sshfs", "kim@host:", none, DriveType::Remote},
        {"9p", "hostshare", none, DriveType::Remote},
        {"ceph", "mon:/", none, DriveType::Remote},
        {"glusterfs", "g:/v", none, DriveType::Remote},
        {"iso9660", "/dev/sr0", optical, DriveType::CdRom},
        {"udf", "/dev/loop3", none, DriveType::CdRom},
        {"ext4", "/dev/sr1", none, DriveType::CdRom},
        {"tmpfs", "tmpfs", none, DriveType::RamDisk},
        {"ramfs", "ramfs", none, DriveType::RamDisk},
        {"vfat", "/dev/sdb1", cardReader, DriveType::Removable},
        {"exfat", "/dev/sdc1", usbDisk, DriveType::Removable},
        {"ext4", "/dev/sda2", fixedDisk, DriveType::Fixed},
        {"btrfs", "/dev/nvme0n1p2", none, DriveType::Fixed},
        {"fuse.mergerfs", "a:b", none, DriveType::Fixed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyMountedDrive(Mount(c.fsType, c.source), c.device), c.expected) << c.fsType << " " << c.source;
    }
}

TEST(DriveTypeRules, UnmountedFstabEntries) {
    const struct {
        FstabEntry entry;
        BlockDeviceInfo device;
        DriveType expected;
    } cases[] = {
        {{"/dev/sr0", "/media/cdrom", "udf,iso9660", "user,noauto"}, {}, DriveType::CdRom},
        {{"/dev/cdrom", "/media/cd", "auto", "noauto"}, {}, DriveType::CdRom},
        {{"nas:/export", "/mnt/nas", "nfs", "noauto"}, {}, DriveType::Remote},
        {{"UUID=AB-CD", "/media/stick", "vfat", "noauto,user"}, {}, DriveType::Removable},
        {{"UUID=AB-CD", "/media/stick", "vfat", "defaults"}, {true, false, true, false}, DriveType::Removable},
        {{"/dev/sdb1", "/srv/backup", "ext4", "defaults"}, {}, DriveType::Fixed},
        {{"tmpfs", "/scratch", "tmpfs", "size=1g"}, {}, DriveType::RamDisk},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ClassifyUnmountedDrive(c.entry, c.device), c.expected) << c.entry.source << " " << c.entry.mountPoint;
    }
}

// A /sys with a SATA disk, a USB stick's partition, a card reader and an optical drive.
class FakeSys {
public:
    FakeSys() {
        AddDevice("8:0", "devices/pci0000:00/ata1/host0/block/sda", "0", false);
        AddDevice("8:17", "devices/pci0000:00/usb1/1-1/host6/block/sdb/sdb1", "0", true);
        AddDevice("8:32", "devices/platform/mmc/block/mmcblk0", "1", false);
        AddDevice("11:0", "devices/pci0000:00/ata2/host1/block/sr0", "1", false);
    }
    std::string Root() const { return m_dir.Path().string(); }

private:
    void AddDevice(const std::string& number, const std::string& path, const std::string& removable, bool partition) {
        const fs::path device = m_dir.Path() / path;
        fs::create_directories(device);
        const fs::path disk = partition ? device.parent_path() : device;
        m_dir.Write(fs::relative(disk / "removable", m_dir.Path()).string(), removable + "\n");
        if (partition) {
            m_dir.Write(fs::relative(device / "partition", m_dir.Path()).string(), "1\n");
        }
        fs::create_directories(m_dir.Path() / "dev/block");
        fs::create_symlink(fs::path("../..") / path, m_dir.Path() / "dev/block" / number);
    }
    TempDir m_dir;
};

TEST(BlockDevices, ReadsRemovableUsbAndOpticalFromSys) {
    FakeSys sys;
    const struct {
        unsigned major, minor;
        bool found, removable, usb, optical;
    } cases[] = {
        {8, 0, true, false, false, false}, {8, 17, true, false, true, false},   {8, 32, true, true, false, false},
        {11, 0, true, true, false, true},  {8, 99, false, false, false, false}, {0, 40, false, false, false, false},
    };
    for (const auto& c : cases) {
        const BlockDeviceInfo info = ReadBlockDevice(sys.Root(), c.major, c.minor);
        EXPECT_EQ(info.found, c.found) << c.major << ":" << c.minor;
        EXPECT_EQ(info.removable, c.removable) << c.major << ":" << c.minor;
        EXPECT_EQ(info.usb, c.usb) << c.major << ":" << c.minor;
        EXPECT_EQ(info.optical, c.optical) << c.major << ":" << c.minor;
    }
}

// A platform over a made-up mount table and fstab, with drive folders that exist in a TempDir.
class FakeMachine : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"usb", "cdrom", "nas", "ram", "disk", "disk/sub"}) {
            fs::create_directories(m_dir.Path() / folder);
        }
        const std::string base = m_dir.Path().string();
        // Device numbers that the real folders do not have, so the device check keeps the path's mount.
        m_dir.Write("mountinfo", "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
                                 "2 1 8:17 / " +
                                     base +
                                     "/usb rw - vfat /dev/sdb1 rw\n"
                                     "3 1 0:4060 / " +
                                     base +
                                     "/nas rw - nfs4 nas:/ rw\n"
                                     "4 1 0:4061 / " +
                                     base +
                                     "/ram rw - tmpfs tmpfs rw\n"
                                     "5 1 8:0 / " +
                                     base + "/disk rw - ext4 /dev/sda rw\n");
        m_dir.Write("fstab", "/dev/sda2 / ext4 defaults 0 1\n"
                             "/dev/sr0 " +
                                 base +
                                 "/cdrom udf,iso9660 user,noauto 0 0\n"
                                 "/dev/sda " +
                                 base + "/disk ext4 defaults 0 2\n");
        PosixPlatform::Sources sources{base + "/mountinfo", base + "/fstab", m_sys.Root()};
        m_platform = std::make_unique<PosixPlatform>(sources);
        m_platform->SetDriveTable({{'E', base + "/usb"},
                                   {'F', base + "/cdrom"},
                                   {'G', base + "/nas"},
                                   {'H', base + "/ram"},
                                   {'I', base + "/disk/sub"},
                                   {'J', base + "/missing"}});
    }

    TempDir m_dir;
    FakeSys m_sys;
    std::unique_ptr<PosixPlatform> m_platform;
};

TEST_F(FakeMachine, DriveTypesFollowTheMountHoldingTheFolder) {
    const struct {
        const char* root;
        DriveType expected;
    } cases[] = {
        {"C:\\", DriveType::Fixed},     {"e:\\", DriveType::Removable}, {"F:\\", DriveType::CdRom},
        {"G:\\", DriveType::Remote},    {"H:\\", DriveType::RamDisk},   {"I:\\", DriveType::Fixed},
        {"J:\\", DriveType::NoRootDir}, {"K:\\", DriveType::NoRootDir}, {"E:", DriveType::NoRootDir},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m_platform->GetDriveType(c.root), c.expected) << c.root;
    }
}

TEST_F(FakeMachine, UnmountedFstabMountPointHasNoCapacity) {
    EXPECT_EQ(m_platform->DiskFreeSpace("F:\\"), std::nullopt);
    EXPECT_EQ(m_platform->DiskFreeSpace("J:\\"), std::nullopt);
    EXPECT_EQ(m_platform->DiskFreeSpace("K:\\"), std::nullopt);
    EXPECT_EQ(m_platform->DiskFreeSpace("E"), std::nullopt);
    EXPECT_NE(m_platform->DiskFreeSpace("E:\\"), std::nullopt);
    EXPECT_NE(m_platform->DiskFreeSpace("i:\\"), std::nullopt);
}

TEST_F(FakeMachine, FolderOfRootEndsInSeparator) {
    const std::string base = m_dir.Path().string();
    EXPECT_EQ(m_platform->FolderOfRoot("C:\\"), "/");
    EXPECT_EQ(m_platform->FolderOfRoot("e:\\"), base + "/usb/");
    EXPECT_EQ(m_platform->FolderOfRoot("I:\\"), base + "/disk/sub/");
    EXPECT_EQ(m_platform->FolderOfRoot("Q:\\"), "Q:\\");
    EXPECT_EQ(m_platform->FolderOfRoot("nonsense"), "nonsense");
}

TEST_F(FakeMachine, DriveTableIsSortedWithRootAdded) {
    const std::vector<DriveMapping> table = m_platform->DriveTable();
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table.front(), (DriveMapping{'C', "/"}));
    EXPECT_EQ(table[1].letter, 'E');
    EXPECT_TRUE(m_platform->UsesDriveTable());
}

// Runs with the current directory moved, and moves it back.
class CurrentDirectoryGuard {
public:
    explicit CurrentDirectoryGuard(const fs::path& folder) : m_old(fs::current_path()) { fs::current_path(folder); }
    ~CurrentDirectoryGuard() { fs::current_path(m_old); }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

private:
    fs::path m_old;
};

TEST_F(FakeMachine, CurrentLetterAndConfigurationFollowTheCurrentDirectory) {
    {
        const CurrentDirectoryGuard guard(m_dir.Path() / "disk/sub");
        EXPECT_EQ(m_platform->CurrentDriveLetter(), "I");
        EXPECT_EQ(m_platform->ConfigurationPath(), (m_dir.Path() / "disk/sub/tarvellin.ini").string());
    }
    {
        const CurrentDirectoryGuard guard(m_dir.Path() / "disk");
        EXPECT_EQ(m_platform->CurrentDriveLetter(), "C");
    }
    {
        const CurrentDirectoryGuard guard("/");
        EXPECT_EQ(m_platform->ConfigurationPath(), "/tarvellin.ini");
    }
}

TEST_F(FakeMachine, RemovedCurrentDirectoryGivesRelativeConfigurationAndNoLetter) {
    fs::create_directory(m_dir.Path() / "gone");
    const CurrentDirectoryGuard guard(m_dir.Path() / "gone");
    fs::remove(m_dir.Path() / "gone");
    EXPECT_EQ(m_platform->ConfigurationPath(), "tarvellin.ini");
    EXPECT_EQ(m_platform->CurrentDriveLetter(), "");
}

TEST_F(FakeMachine, LetterOnASymbolicLinkMatchesTheResolvedDirectory) {
    fs::create_symlink(m_dir.Path() / "ram", m_dir.Path() / "link");
    m_platform->SetDriveTable({{'L', (m_dir.Path() / "link").string()}});
    const CurrentDirectoryGuard guard(m_dir.Path() / "ram");
    EXPECT_EQ(m_platform->CurrentDriveLetter(), "L");
}

TEST_F(FakeMachine, QueriesFromSeveralThreadsAgree) {
    // Drive queries may run on worker threads (time-bounded queries) while the table is read and set.
    const std::string base = m_dir.Path().string();
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                if (m_platform->GetDriveType(t % 2 == 0 ? "G:\\" : "H:\\") !=
                    (t % 2 == 0 ? DriveType::Remote : DriveType::RamDisk)) {
                    ++wrong;
                }
                if (!m_platform->DiskFreeSpace("E:\\") || m_platform->DiskFreeSpace("F:\\")) {
                    ++wrong;
                }
                if (t == 3 && i % 50 == 0) {
                    m_platform->SetDriveTable(m_platform->DriveTable());
                }
                if (m_platform->FolderOfRoot("e:\\") != base + "/usb/") {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(AutomaticTable, RealMachineHasRootOnC) {
    PosixPlatform platform;
    const std::vector<DriveMapping> table = platform.DriveTable();
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table.front(), (DriveMapping{'C', "/"}));
    EXPECT_EQ(platform.GetDriveType("C:\\") == DriveType::NoRootDir, false);
    EXPECT_NE(platform.DiskFreeSpace("c:\\"), std::nullopt);
}

} // namespace
