#include <gtest/gtest.h>

#include "WineEnvironment.h"
#include "platform/win32/Win32Platform.h"

// After the project headers: windows.h renames functions that share names with their methods.
#include <windows.h>

#undef GetDriveType

// Drive letters that scripts/test-windows maps onto tmpfs folders of known size.
TEST(Win32Drives, CapacityIsTheWholeSizeAndTheTotalFreeBytesOfTheVolume) {
    const auto volumes = WineVolumes();
    if (volumes.empty()) {
        GTEST_SKIP() << "no drive letters on volumes of known size (TARVELLIN_WINE_VOLUMES)";
    }
    Win32Platform platform;
    for (const auto& [letter, expected] : volumes) {
        for (const std::string& root : {RootOf(letter), RootOf(static_cast<char>(letter - 'A' + 'a'))}) {
            const auto space = platform.DiskFreeSpace(root);
            ASSERT_TRUE(space.has_value()) << root;
            EXPECT_EQ(space->totalBytes, expected.totalBytes) << root;
            EXPECT_EQ(space->freeBytes, expected.freeBytes) << root;
        }
    }
}

TEST(Win32Drives, CurrentDiskFreeSpaceMeasuresTheDriveOfTheCurrentDirectory) {
    const auto volumes = WineVolumes();
    if (volumes.empty()) {
        GTEST_SKIP() << "no drive letters on volumes of known size (TARVELLIN_WINE_VOLUMES)";
    }
    const auto& [letter, expected] = *volumes.begin();
    const std::string old = Win32Platform::CurrentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryA(RootOf(letter).c_str()));
    Win32Platform platform;
    const auto space = platform.CurrentDiskFreeSpace();
    const std::string currentLetter = platform.CurrentDriveLetter();
    SetCurrentDirectoryA(old.c_str());

    ASSERT_TRUE(space.has_value());
    EXPECT_EQ(space->totalBytes, expected.totalBytes);
    EXPECT_EQ(space->freeBytes, expected.freeBytes);
    EXPECT_EQ(currentLetter, std::string(1, letter));
}

TEST(Win32Drives, DriveTypesComeAsTheSystemReportsThem) {
    const auto types = WineDriveTypes();
    if (types.empty()) {
        GTEST_SKIP() << "no drive types set in Wine's registry (TARVELLIN_WINE_DRIVE_TYPES)";
    }
    Win32Platform platform;
    for (const auto& [letter, type] : types) {
        EXPECT_EQ(static_cast<unsigned>(platform.GetDriveType(RootOf(letter))), type) << letter;
    }
}

TEST(Win32Drives, ADriveWithoutMediumHasItsTypeButNoCapacity) {
    const auto letter = WineNoMediumDrive();
    if (!letter) {
        GTEST_SKIP() << "no drive without medium (TARVELLIN_WINE_NO_MEDIUM)";
    }
    const auto platform = CreatePlatform(); // with critical-error boxes off, as the agent runs
    EXPECT_EQ(platform->GetDriveType(RootOf(*letter)), DriveType::CdRom);
    EXPECT_EQ(platform->DiskFreeSpace(RootOf(*letter)), std::nullopt);
}

TEST(Win32Drives, AMissingOrMalformedRootIsNoDrive) {
    Win32Platform platform;
    const auto unused = UnusedDriveLetter();
    ASSERT_TRUE(unused.has_value());
    struct Case {
        std::string root;
        bool typeChecked; // false where Windows itself answers the type of a path that is no root
    } cases[] = {
        {RootOf(*unused), true},
        {std::string(1, *unused) + "::\\", false}, // a "Directory" of a letter and a colon
        {std::string("C\0:\\", 4), true},          // a NUL byte never reaches Windows
        {"\xE7\xA9\xBA:\\", false},                // no drive letter
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform.DiskFreeSpace(c.root), std::nullopt) << c.root;
        if (c.typeChecked) {
            EXPECT_EQ(platform.GetDriveType(c.root), DriveType::NoRootDir) << c.root;
        }
    }
}

TEST(Win32Drives, TheSystemDriveIsMeasurable) {
    Win32Platform platform;
    const auto space = platform.DiskFreeSpace("C:\\");
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(space->totalBytes, 0u);
    EXPECT_LE(space->freeBytes, space->totalBytes);
    EXPECT_EQ(platform.GetDriveType("C:\\"), DriveType::Fixed);
}
