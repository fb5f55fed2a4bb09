#include "core/capacity/CapacityReading.h"

#include <climits>
#include <cstdint>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "FakePlatform.h"

namespace {

struct FiguresCase {
    std::uint64_t totalBytes;
    std::uint64_t freeBytes;
    int totalMB;
    int freeMB;
    int usedMB;
};

void PrintTo(const FiguresCase& c, std::ostream* os) {
    *os << c.totalBytes << "/" << c.freeBytes;
}

class FiguresOfTest : public ::testing::TestWithParam<FiguresCase> {};

TEST_P(FiguresOfTest, ShiftsBytesToWholeMegabytesInLow32Bits) {
    const CapacityFigures figures = FiguresOf(VolumeSpace{GetParam().totalBytes, GetParam().freeBytes});
    EXPECT_TRUE(figures.ok);
    EXPECT_EQ(figures.totalMB, GetParam().totalMB);
    EXPECT_EQ(figures.freeMB, GetParam().freeMB);
    EXPECT_EQ(figures.usedMB, GetParam().usedMB);
}

constexpr std::uint64_t kMB = 1ULL << 20;

INSTANTIATE_TEST_SUITE_P(Table, FiguresOfTest,
                         ::testing::Values(FiguresCase{0, 0, 0, 0, 0}, FiguresCase{kMB - 1, kMB - 1, 0, 0, 0},
                                           FiguresCase{2048 * kMB, 1610612735ULL, 2048, 1535, 513},
                                           // used comes from the rounded figures, not from the byte counts
                                           FiguresCase{10 * kMB + kMB / 2, 3 * kMB + kMB / 2 + 1, 10, 3, 7},
                                           // 2^31 MB and more leave the signed 32-bit range: the low 32 bits are kept
                                           FiguresCase{(1ULL << 31) * kMB, kMB, INT_MIN, 1, INT_MAX},
                                           FiguresCase{(1ULL << 32) * kMB + 5 * kMB, 0, 5, 0, 5}));

struct TextCase {
    int mb;
    int gbyte;
    std::string freeText;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.mb << (c.gbyte == 1 ? " GByte" : " MByte");
}

class FreeTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FreeTextTest, FormatsWholeMegabytesOrGigabytesWithTwoDecimals) {
    EXPECT_EQ(FreeText(GetParam().mb, GetParam().gbyte), GetParam().freeText);
}

INSTANTIATE_TEST_SUITE_P(Table, FreeTextTest,
                         ::testing::Values(TextCase{12345, 0, "空容量12345 MByte"}, TextCase{0, 0, "空容量0 MByte"},
                                           TextCase{0, 1, "空容量0.00 GByte"}, TextCase{1535, 1, "空容量1.50 GByte"},
                                           TextCase{1536, 1, "空容量1.50 GByte"}, TextCase{1152, 1, "空容量1.13 GByte"},
                                           TextCase{1151, 1, "空容量1.12 GByte"}, TextCase{2048, 1, "空容量2.00 GByte"},
                                           TextCase{1023, 1, "空容量1.00 GByte"}, TextCase{5, 1, "空容量0.00 GByte"},
                                           TextCase{6, 1, "空容量0.01 GByte"}, TextCase{-1152, 1, "空容量-1.13 GByte"},
                                           TextCase{-7, 0, "空容量-7 MByte"},
                                           TextCase{INT_MAX, 1, "空容量2097152.00 GByte"},
                                           TextCase{INT_MIN, 1, "空容量-2097152.00 GByte"},
                                           // only exactly 1 selects GByte
                                           TextCase{1536, 2, "空容量1536 MByte"}));

TEST(CapacityTextsTest, LabelsUsedTotalAndFree) {
    const CapacityTexts mb = FormatCapacityTexts(100, 300, 200, 0);
    EXPECT_EQ(mb.usedText, "使用量200 MByte");
    EXPECT_EQ(mb.totalText, "全容量300 MByte");
    EXPECT_EQ(mb.freeText, "空容量100 MByte");
    const CapacityTexts gb = FormatCapacityTexts(1536, 4096, 2560, 1);
    EXPECT_EQ(gb.usedText, "使用量2.50 GByte");
    EXPECT_EQ(gb.totalText, "全容量4.00 GByte");
    EXPECT_EQ(gb.freeText, "空容量1.50 GByte");
}

struct PercentCase {
    int freeMB;
    int totalMB;
    int percent;
};

void PrintTo(const PercentCase& c, std::ostream* os) {
    *os << c.freeMB << "/" << c.totalMB;
}

class FreePercentTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(FreePercentTest, TruncatesAndNeverFaults) {
    EXPECT_EQ(FreePercent(GetParam().freeMB, GetParam().totalMB), GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(Table, FreePercentTest,
                         ::testing::Values(PercentCase{5, 100, 5}, PercentCase{100, 100, 100}, PercentCase{42, 100, 42},
                                           PercentCase{999, 1000, 99}, PercentCase{1, 0, 0}, PercentCase{0, 0, 0},
                                           PercentCase{5, -10, 0},
                                           // over 20 TiB: free * 100 exceeds 32 bits
                                           PercentCase{25000000, 50000000, 50}, PercentCase{INT_MAX, INT_MAX, 100},
                                           PercentCase{INT_MAX, 1, INT_MAX}, PercentCase{INT_MIN, 1, INT_MIN}));

struct LevelCase {
    int totalMB;
    int freeMB;
    int level;
};

void PrintTo(const LevelCase& c, std::ostream* os) {
    *os << "total " << c.totalMB << " free " << c.freeMB;
}

class LevelOfTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LevelOfTest, FollowsTheTenthsRule) {
    EXPECT_EQ(LevelOf(GetParam().totalMB, GetParam().freeMB), GetParam().level);
}

INSTANTIATE_TEST_SUITE_P(Table, LevelOfTest,
                         ::testing::Values(LevelCase{1000, 0, 0}, LevelCase{1000, 49, 0}, LevelCase{1000, 50, 1},
                                           LevelCase{1000, 99, 1}, LevelCase{1000, 100, 2}, LevelCase{1000, 199, 2},
                                           LevelCase{1000, 200, 3}, LevelCase{1000, 299, 3}, LevelCase{1000, 300, 4},
                                           LevelCase{1000, 399, 4}, LevelCase{1000, 400, 5}, LevelCase{1000, 499, 5},
                                           LevelCase{1000, 500, 6}, LevelCase{1000, 699, 6}, LevelCase{1000, 700, 7},
                                           LevelCase{1000, 1000, 7},
                                           LevelCase{1000, 1100, 0}, // quotient 11 is shown as level 0
                                           LevelCase{1019, 100, 2},  // quotient 0, level 100 / 50
                                           LevelCase{19, 15, 0},     // quotient 15
                                           LevelCase{19, 0, 0},      // divisor total / 20 is zero
                                           LevelCase{9, 5, 0},       // divisor total / 10 is zero
                                           LevelCase{0, 0, 0}, LevelCase{1000, -100, 0}, LevelCase{-15, INT_MIN, 0},
                                           LevelCase{INT_MAX, INT_MAX, 7}));

TEST(DriveTypeTextTest, NamesEveryKeptType) {
    EXPECT_EQ(DriveTypeText(DriveType::Removable), "NO REMOVABLE DISK");
    EXPECT_EQ(DriveTypeText(DriveType::Fixed), "FIXED");
    EXPECT_EQ(DriveTypeText(DriveType::Remote), "REMOTE");
    EXPECT_EQ(DriveTypeText(DriveType::CdRom), "NO CD_DVD DISK");
    EXPECT_EQ(DriveTypeText(DriveType::RamDisk), "NO RAM DISK");
    EXPECT_EQ(DriveTypeText(DriveType::Unknown), "");
    EXPECT_EQ(DriveTypeText(DriveType::NoRootDir), "");
}

TEST(ReadCapacityTest, QueriesRootOrCurrentVolumeAndGivesZerosOnFailure) {
    FakePlatform platform;
    platform.AddDrive('C', 1000, 400);
    platform.AddDrive('D', 3000, 1000).space.reset();
    platform.currentLetter = "C";

    const CapacityFigures root = ReadCapacity(platform, "c:\\");
    EXPECT_TRUE(root.ok);
    EXPECT_EQ(root.freeMB, 400);
    EXPECT_EQ(root.usedMB, 600);
    const CapacityFigures current = ReadCapacity(platform, std::nullopt);
    EXPECT_TRUE(current.ok);
    EXPECT_EQ(current.totalMB, 1000);

    for (const char* failing : {"D:\\", "Q:\\", "D::\\"}) {
        const CapacityFigures figures = ReadCapacity(platform, std::string_view(failing));
        EXPECT_FALSE(figures.ok) << failing;
        EXPECT_EQ(figures.freeMB + figures.totalMB + figures.usedMB, 0) << failing;
    }
}

} // namespace
