#include "core/capacity/Monitor.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "TempDir.h"
#include "core/settings/IniProfile.h"

namespace {

using Names = std::vector<std::string>;

class OtherDrivesTest : public ::testing::Test {
protected:
    OtherDrivesTest() : monitor(platform, dir.Folder() + "tarvellin.ini") {
        platform.AddDrive('C', 10000, 4000);
        platform.AddDrive('D', 700, 0, DriveType::CdRom).space.reset(); // no disc
        platform.AddDrive('E', 8192, 2048, DriveType::Removable);
        for (int k = 0; k < kDriveSlots; ++k) {
            const std::string name = "slot" + std::to_string(k + 1);
            std::filesystem::create_directory(dir.Path() / name);
            monitor.Settings().Path2To10[static_cast<std::size_t>(k)] = dir.Folder() + name + "/";
        }
    }
    std::string& Letters() { return monitor.Settings().Directory2; }
    DriveType TypeOf(int slot) { return monitor.Slots()[static_cast<std::size_t>(slot - 1)].type; }

    TempDir dir;
    FakePlatform platform;
    Monitor monitor;
};

struct FilterCase {
    std::string letters;
    std::string kept;
    int examined;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.letters);
}

class LetterFilterTest : public OtherDrivesTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(LetterFilterTest, KeepsExistingDrivesAmongFirstNine) {
    for (char letter : std::string("FGHIJKLMN")) {
        platform.AddDrive(letter, 100, 50);
    }
    Letters() = GetParam().letters;
    monitor.FilterDriveLetters();
    EXPECT_EQ(Letters(), GetParam().kept);
    EXPECT_EQ(platform.driveTypeQueries, GetParam().examined);
}

INSTANTIATE_TEST_SUITE_P(Table, LetterFilterTest,
                         ::testing::Values(FilterCase{"CDQ", "CD", 3}, FilterCase{"", "", 0},
                                           FilterCase{"cde", "cde", 3}, FilterCase{"CC", "CC", 2},
                                           FilterCase{"CDEFGHIJKLMN", "CDEFGHIJK", 9}, FilterCase{"QQQQQQQQQC", "", 9},
                                           FilterCase{"C:\\D", "CD", 4}, FilterCase{std::string("C\0D", 3), "CD", 3}));

TEST_F(OtherDrivesTest, FilterRecordsTypesByKeptPosition) {
    Letters() = "CQD";
    monitor.Slots()[2].type = DriveType::Remote;
    monitor.FilterDriveLetters();
    EXPECT_EQ(Letters(), "CD");
    EXPECT_EQ(TypeOf(1), DriveType::Fixed);
    EXPECT_EQ(TypeOf(2), DriveType::CdRom);
    EXPECT_EQ(TypeOf(3), DriveType::Remote); // slots beyond the letters keep their values
}

TEST_F(OtherDrivesTest, DriveWithoutMediumPublishesItsTypeText) {
    Letters() = "CQD";
    monitor.RefreshOtherDrives(0);
    EXPECT_EQ(dir.List("slot1"), Names{"空容量4000 MByte"});
    EXPECT_EQ(dir.List("slot2"), Names{"NO CD_DVD DISK"});
    EXPECT_EQ(monitor.Settings().Filename2To10[1], "NO CD_DVD DISK");
    EXPECT_FALSE(monitor.Slots()[1].reading.ok);

    // The disc comes back: the same file takes the free text.
    platform.drives['D'].space = VolumeSpace{700ULL << 20, 0};
    monitor.RefreshOtherDrives(1);
    EXPECT_EQ(dir.List("slot2"), Names{"空容量0.00 GByte"});
    EXPECT_EQ(dir.List("slot1"), Names{"空容量3.91 GByte"});
}

TEST_F(OtherDrivesTest, GByteTextForTwoGigabytesFree) {
    Letters() = "E";
    monitor.RefreshOtherDrives(1);
    EXPECT_EQ(dir.List("slot1"), Names{"空容量2.00 GByte"});
}

TEST_F(OtherDrivesTest, EmptyFolderDefaultsToTheDrivesRootFolder) {
    std::filesystem::create_directory(dir.Path() / "eroot");
    platform.drives['E'].folder = dir.Folder() + "eroot/";
    Letters() = "CE";
    monitor.Settings().Path2To10[1].clear();
    monitor.RefreshOtherDrives(0);
    EXPECT_EQ(monitor.Settings().Path2To10[1], dir.Folder() + "eroot/");
    EXPECT_EQ(dir.List("eroot"), Names{"空容量2048 MByte"});
    EXPECT_EQ(dir.List("slot2"), Names{});
}

TEST_F(OtherDrivesTest, SameLetterTwiceWithDifferentOrSharedFolders) {
    Letters() = "CC";
    monitor.RefreshOtherDrives(0);
    EXPECT_EQ(dir.List("slot1"), Names{"空容量4000 MByte"});
    EXPECT_EQ(dir.List("slot2"), Names{"空容量4000 MByte"});

    Monitor shared(platform, dir.Folder() + "tarvellin.ini");
    shared.Settings().Directory2 = "CC";
    shared.Settings().Path2To10[0] = dir.Folder() + "slot3/";
    shared.Settings().Path2To10[1] = dir.Folder() + "slot3/";
    platform.drives['C'].space = VolumeSpace{10000ULL << 20, 3999ULL << 20};
    shared.RefreshOtherDrives(0);
    EXPECT_EQ(dir.List("slot3"), Names{"空容量3999 MByte"});
}

TEST_F(OtherDrivesTest, UnpluggedDriveShiftsLaterDrivesDownOnePosition) {
    Letters() = "CEC";
    monitor.RefreshOtherDrives(0);
    EXPECT_EQ(dir.List("slot2"), Names{"空容量2048 MByte"});
    EXPECT_EQ(dir.List("slot3"), Names{"空容量4000 MByte"});

    platform.drives.erase('E');
    monitor.RefreshOtherDrives(0);
    EXPECT_EQ(Letters(), "CC");
    // Position 2 renames slot 2's remembered file to drive C's text; slot 3 is no longer used.
    EXPECT_EQ(dir.List("slot2"), Names{"空容量4000 MByte"});
    EXPECT_EQ(dir.List("slot3"), Names{"空容量4000 MByte"});
}

TEST_F(OtherDrivesTest, RefreshCycleSavesFilteredLettersAndDefaultedFolders) {
    Letters() = "CDQ";
    monitor.Settings().OtherDrive = 1;
    monitor.Settings().Path = dir.Folder();
    monitor.Settings().Path2To10[0].clear();
    std::filesystem::create_directory(dir.Path() / "croot");
    platform.drives['C'].folder = dir.Folder() + "croot/";
    monitor.RefreshCycle();
    const IniProfile saved(dir.Read("tarvellin.ini"));
    EXPECT_EQ(saved.GetProfileString("Setting", "Directory2"), "CD");
    EXPECT_EQ(saved.GetProfileString("Setting", "Path2"), "\"" + dir.Folder() + "croot/\"");
    EXPECT_EQ(dir.List("croot"), Names{"空容量4000 MByte"});
    EXPECT_EQ(saved.GetProfileString("Setting", "Filename3"), "NO CD_DVD DISK");
}

TEST_F(OtherDrivesTest, DriveOfUnlistedTypeWithoutMediumPublishesNothing) {
    platform.AddDrive('F', 100, 0, static_cast<DriveType>(7)).space.reset();
    Letters() = "F";
    monitor.RefreshOtherDrives(0);
    EXPECT_EQ(Letters(), "F");
    EXPECT_EQ(dir.List("slot1"), Names{});
    EXPECT_EQ(dir.List(), (Names{"slot1", "slot2", "slot3", "slot4", "slot5", "slot6", "slot7", "slot8", "slot9"}));
}

TEST_F(OtherDrivesTest, EmptyLettersDoNothing) {
    monitor.RefreshOtherDrives(0);
    EXPECT_EQ(platform.capacityQueries, 0);
    for (int k = 1; k <= kDriveSlots; ++k) {
        EXPECT_EQ(dir.List("slot" + std::to_string(k)), Names{});
    }
}

} // namespace
