#include "DriveTable.h"

#include <gtest/gtest.h>

namespace {

TEST(RootText, AcceptsOnlyLetterColonBackslash) {
    const struct {
        const char* root;
        std::optional<char> letter;
    } cases[] = {{"D:\\", 'D'},          {"d:\\", 'D'},         {"z:\\", 'Z'},
                 {"D:", std::nullopt},   {"D:/", std::nullopt}, {"DD:\\", std::nullopt},
                 {"1:\\", std::nullopt}, {"", std::nullopt},    {"\xE3:\\", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(LetterOfRoot(c.root), c.letter) << c.root;
    }
}

TEST(AutomaticDriveTable, RootIsCThenUserMountsInMountPointOrder) {
    const std::vector<MountEntry> mounts =
        VisibleMounts(ParseMountInfo("27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                                     "22 27 0:21 / /proc rw - proc proc rw\n"
                                     "40 27 8:17 / /run/media/kim/MY\\040STICK rw - vfat /dev/sdb1 rw\n"
                                     "41 27 0:45 / /run/user/1000 rw - tmpfs tmpfs rw\n"
                                     "42 27 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
                                     "43 27 8:3 / /home rw - ext4 /dev/sda3 rw\n"
                                     "44 27 0:46 / /tmp rw - tmpfs tmpfs rw\n"
                                     "45 27 7:1 / /snap/core/1 ro - squashfs /dev/loop1 ro\n"
                                     "46 27 0:50 / /mnt/nas rw - nfs4 nas:/ rw\n"
                                     "47 27 8:33 / /data rw - ext4 /dev/sdc1 rw\n"
                                     "48 27 8:34 / /etc/hosts rw - ext4 /dev/sdc2 rw\n"
                                     "49 27 8:35 / /data rw - xfs /dev/sdc3 rw\n"));
    const auto table =
        BuildAutomaticDriveTable(mounts, [](const MountEntry& mount) { return mount.mountPoint != "/etc/hosts"; });
    const std::vector<DriveMapping> expected{
        {'C', "/"}, {'D', "/data"}, {'E', "/home"}, {'F', "/mnt/nas"}, {'G', "/run/media/kim/MY STICK"}};
    EXPECT_EQ(table, expected);
}

TEST(AutomaticDriveTable, StopsAtZ) {
    std::string text = "1 0 8:0 / / rw - ext4 /dev/sda rw\n";
    for (int i = 0; i < 30; ++i) {
        text += std::to_string(i + 2) + " 1 8:" + std::to_string(i + 1) + " / /m" + std::to_string(100 + i) +
                " rw - ext4 /dev/x rw\n";
    }
    const auto table = BuildAutomaticDriveTable(VisibleMounts(ParseMountInfo(text)), {});
    ASSERT_EQ(table.size(), 24u);
    EXPECT_EQ(table.back().letter, 'Z');
}

TEST(SettingsDriveTable, NormalisesLettersFoldersAndAddsRoot) {
    const struct {
        const char* name;
        std::vector<DriveMapping> given;
        std::vector<DriveMapping> expected;
    } cases[] = {
        {"empty gets root on C", {}, {{'C', "/"}}},
        {"lower case and trailing slash", {{'d', "/mnt/data/"}}, {{'C', "/"}, {'D', "/mnt/data"}}},
        {"root on another letter is kept", {{'R', "/"}, {'C', "/home"}}, {{'C', "/home"}, {'R', "/"}}},
        {"C taken: root on first free letter from C",
         {{'C', "/home"}, {'D', "/srv"}},
         {{'C', "/home"}, {'D', "/srv"}, {'E', "/"}}},
        {"relative folders and bad letters dropped",
         {{'D', "data"}, {'1', "/x"}, {'E', ""}, {'F', "/f"}},
         {{'C', "/"}, {'F', "/f"}}},
        {"later entry for a letter wins", {{'D', "/a"}, {'d', "/b"}}, {{'C', "/"}, {'D', "/b"}}},
        {"sorted by letter", {{'Z', "/z"}, {'A', "/a"}}, {{'A', "/a"}, {'C', "/"}, {'Z', "/z"}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeDriveTable(c.given), c.expected) << c.name;
    }
}

TEST(SettingsDriveTable, EveryLetterTakenLeavesRootOut) {
    std::vector<DriveMapping> full;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        full.push_back({letter, std::string("/") + letter});
    }
    EXPECT_EQ(NormalizeDriveTable(full).size(), 26u);
}

TEST(CurrentLetter, LongestFolderPrefixWins) {
    const std::vector<DriveMapping> table{{'C', "/"}, {'D', "/mnt/data"}, {'E', "/mnt/data/archive"}, {'F', "/mnt/d"}};
    const struct {
        const char* cwd;
        char letter;
    } cases[] = {{"/", 'C'},
                 {"/home/kim", 'C'},
                 {"/mnt/data", 'D'},
                 {"/mnt/data/", 'D'},
                 {"/mnt/data/x/y", 'D'},
                 {"/mnt/database", 'C'},
                 {"/mnt/data/archive/2024", 'E'},
                 {"/mnt/d", 'F'}};
    for (const auto& c : cases) {
        EXPECT_EQ(LetterOfPath(table, c.cwd), c.letter) << c.cwd;
    }
    EXPECT_EQ(LetterOfPath({{'D', "/mnt"}}, "/home"), std::nullopt);
}

} // namespace
