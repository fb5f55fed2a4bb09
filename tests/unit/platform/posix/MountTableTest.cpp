#include "MountTable.h"

#include <gtest/gtest.h>

namespace {

// A desktop with a USB stick whose label has a blank, /home stacked twice and /data covered by a later
// mount of /srv over its parent.
constexpr const char* kMountInfo =
    "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
    "23 22 0:21 / /proc rw,nosuid shared:12 - proc proc rw\n"
    "24 22 0:22 / /sys rw - sysfs sysfs rw\n"
    "25 22 8:3 / /home rw shared:2 - ext4 /dev/sda3 rw\n"
    "26 25 8:4 / /home rw shared:3 - xfs /dev/sda4 rw\n"
    "27 22 8:17 / /run/media/kim/MY\\040STICK rw,nosuid shared:4 master:9 - vfat /dev/sdb1 rw\n"
    "28 22 8:5 / /srv/data rw - ext4 /dev/sda5 rw\n"
    "29 22 8:6 / /srv rw - ext4 /dev/sda6 rw\n"
    "malformed line\n"
    "30 22 0:50 /exports /mnt/share rw - nfs4 server:/exports rw,vers=4.2\n";

TEST(MountInfoParsing, ReadsFieldsAroundOptionalTagsAndUndoesEscapes) {
    const std::vector<MountEntry> mounts = ParseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 9u);
    const MountEntry& stick = mounts[5];
    EXPECT_EQ(stick.id, 27);
    EXPECT_EQ(stick.parentId, 22);
    EXPECT_EQ(stick.major, 8u);
    EXPECT_EQ(stick.minor, 17u);
    EXPECT_EQ(stick.mountPoint, "/run/media/kim/MY STICK");
    EXPECT_EQ(stick.fsType, "vfat");
    EXPECT_EQ(stick.source, "/dev/sdb1");
    EXPECT_EQ(mounts[8].root, "/exports");
    EXPECT_EQ(mounts[8].source, "server:/exports");
}

TEST(MountInfoParsing, SkipsTruncatedLinesWithoutSeparator) {
    EXPECT_TRUE(ParseMountInfo("22 1 8:2 / / rw shared:1 ext4 /dev/sda2 rw\n").empty());
    EXPECT_TRUE(ParseMountInfo("22 1 8:2 / / rw - ext4\n").empty());
    EXPECT_TRUE(ParseMountInfo("x 1 8:2 / / rw - ext4 /dev/sda2 rw\n").empty());
    EXPECT_TRUE(ParseMountInfo("").empty());
}

TEST(VisibleMountsTest, DropsStackedAndCoveredMounts) {
    const std::vector<MountEntry> visible = VisibleMounts(ParseMountInfo(kMountInfo));
    std::vector<int> ids;
    for (const MountEntry& mount : visible) {
        ids.push_back(mount.id);
    }
    // 25 lies under 26 on the same folder; 28 (/srv/data) was covered when /srv was mounted later.
    EXPECT_EQ(ids, (std::vector<int>{22, 23, 24, 26, 27, 29, 30}));
}

TEST(VisibleMountsTest, KeepsChildrenListedBeforeTheirParent) {
    // Container mount tables list /proc before the root it hangs on.
    const char* text = "22 27 0:21 / /proc rw - proc proc rw\n"
                       "27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                       "30 27 0:27 / /dev/shm rw - tmpfs tmpfs rw\n";
    EXPECT_EQ(VisibleMounts(ParseMountInfo(text)).size(), 3u);
}

TEST(MountHoldingTest, LongestPrefixOnFolderBoundaries) {
    const std::vector<MountEntry> visible = VisibleMounts(ParseMountInfo(kMountInfo));
    const struct {
        const char* folder;
        const char* mountPoint;
    } cases[] = {
        {"/", "/"},
        {"/home", "/home"},
        {"/home/kim/docs", "/home"},
        {"/homework", "/"},
        {"/srv/data/x", "/srv"},
        {"/run/media/kim/MY STICK/photos", "/run/media/kim/MY STICK"},
        {"/mnt/share", "/mnt/share"},
    };
    for (const auto& c : cases) {
        const int index = MountHolding(visible, c.folder);
        ASSERT_GE(index, 0) << c.folder;
        EXPECT_EQ(visible[static_cast<std::size_t>(index)].mountPoint, c.mountPoint) << c.folder;
    }
    EXPECT_EQ(MountHolding({}, "/x"), -1);
}

TEST(FstabParsing, KeepsMountPointsSkipsCommentsAndSwap) {
    const std::vector<FstabEntry> entries = ParseFstab("# /etc/fstab\n"
                                                       "UUID=1234 / ext4 errors=remount-ro 0 1\n"
                                                       "\n"
                                                       "UUID=55 none swap sw 0 0\n"
                                                       "/dev/sr0 /media/cdrom0 udf,iso9660 user,noauto 0 0\n"
                                                       "//nas/share /mnt/My\\040Share/ cifs guest 0 0\n"
                                                       "   \t  \n"
                                                       "LABEL=x relative ext4\n");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].source, "/dev/sr0");
    EXPECT_EQ(entries[1].fsType, "udf,iso9660");
    EXPECT_EQ(entries[1].options, "user,noauto");
    EXPECT_EQ(entries[2].mountPoint, "/mnt/My Share");
    EXPECT_EQ(FstabEntryHolding(entries, "/media/cdrom0/disc"), 1);
    EXPECT_EQ(FstabEntryHolding(entries, "/media"), 0);
}

TEST(FolderText, NormalisesAndComparesByComponent) {
    const struct {
        const char* path;
        const char* normalised;
    } cases[] = {{"/", "/"},      {"//", "/"},      {"/a//b/", "/a/b"}, {"/a/./b/..", "/a"},
                 {"/../..", "/"}, {"relative", ""}, {"", ""},           {"/a b/c", "/a b/c"}};
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeFolder(c.path), c.normalised) << c.path;
    }
    EXPECT_TRUE(IsFolderPrefix("/", "/anything"));
    EXPECT_TRUE(IsFolderPrefix("/mnt/data", "/mnt/data"));
    EXPECT_TRUE(IsFolderPrefix("/mnt/data", "/mnt/data/x"));
    EXPECT_FALSE(IsFolderPrefix("/mnt/data", "/mnt/database"));
    EXPECT_FALSE(IsFolderPrefix("/mnt/data", "/mnt"));
}

TEST(FolderText, UnescapesOnlyWholeOctalTriples) {
    EXPECT_EQ(UnescapeMountField("a\\040b\\011c\\134d"), "a b\tc\\d");
    EXPECT_EQ(UnescapeMountField("end\\04"), "end\\04");
    EXPECT_EQ(UnescapeMountField("x\\9zz"), "x\\9zz");
}

} // namespace
