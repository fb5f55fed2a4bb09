#include "core/history/HistoryLog.h"

#include <gtest/gtest.h>

#include "FakePlatform.h"

namespace {

constexpr std::int64_t kNow = 1'800'000'000;
const std::string kPath = "/data/tarvellin.history";

HistorySample SampleAt(std::int64_t minutesAgo, char letter = 'C') {
    return {kNow - minutesAgo * 60, letter, 500ull << 30, (100ull << 30) + static_cast<std::uint64_t>(minutesAgo)};
}

std::string Records(int count) {
    std::string bytes;
    for (int i = count; i > 0; --i) {
        bytes += EncodeHistorySample(SampleAt(i));
    }
    return bytes;
}

// The file is ours and whole: the header, then only records that decode.
bool AllRecordsDecode(const std::string& file) {
    bool whole = file.size() % kHistoryRecordBytes == 0 && file.starts_with(EncodeHistoryHeader());
    for (std::size_t at = kHistoryRecordBytes; whole && at < file.size(); at += kHistoryRecordBytes) {
        whole = DecodeHistorySample(file.substr(at, kHistoryRecordBytes)).has_value();
    }
    return whole;
}

struct LoadCase {
    const char* name;
    std::optional<std::string> file; // nullopt: no file
    std::size_t samplesRead;         // of drive C, before the new one
    const char* problem;             // part of the line told; empty for none
    bool written;                    // the new sample reached the file
};

void PrintTo(const LoadCase& c, std::ostream* os) {
    *os << c.name;
}

class HistoryLoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(HistoryLoadTest, ReadsWhatIsWholeAndAppendsOnlyToItsOwnFile) {
    const LoadCase& c = GetParam();
    FakePlatform platform;
    if (c.file) {
        platform.dataFiles[kPath] = *c.file;
    }
    HistoryLog log(platform, kPath);
    const auto problem = log.Append({SampleAt(0)}, 7, kNow);
    ASSERT_EQ(problem.has_value(), *c.problem != '\0') << problem.value_or("");
    EXPECT_NE(problem.value_or(c.problem).find(c.problem), std::string::npos) << *problem;
    EXPECT_EQ(log.Recent('C').size(), c.samplesRead + (c.written ? 1 : 0));
    const std::string& file = platform.dataFiles[kPath];
    EXPECT_EQ(file.ends_with(EncodeHistorySample(SampleAt(0))), c.written);
    if (c.written) {
        EXPECT_TRUE(file.starts_with(EncodeHistoryHeader()) && file.size() % kHistoryRecordBytes == 0);
    } else {
        EXPECT_EQ(file, c.file.value_or(""));
    }
    // A failure that stays is told once.
    EXPECT_FALSE(log.Append({SampleAt(0)}, 7, kNow));
}

std::string FutureRecord() {
    std::string record = EncodeHistorySample(SampleAt(5));
    record[0] = 2;
    return record;
}

std::string DamagedRecord() {
    std::string record = EncodeHistorySample(SampleAt(4));
    record[20] ^= 1;
    return record;
}

std::string ForeignHeaderSize() {
    std::string header = EncodeHistoryHeader();
    header[10] = 64; // records of another size; the checksum no longer matches either
    return header + Records(2);
}

const LoadCase kLoadCases[] = {
    {"missingFileIsStarted", std::nullopt, 0, "", true},
    {"recordsAreRead", EncodeHistoryHeader() + Records(3), 3, "", true},
    {"tornLastRecordIsCutOff", EncodeHistoryHeader() + Records(3) + Records(1).substr(0, 17), 3, "", true},
    {"tornHeaderIsStartedAgain", EncodeHistoryHeader().substr(0, 5), 0, "", true},
    {"futureAndDamagedRecordsSkipped", EncodeHistoryHeader() + FutureRecord() + DamagedRecord() + Records(2), 2, "",
     true},
    {"samplesBeyondAWeekStayOnDisk", EncodeHistoryHeader() + EncodeHistorySample(SampleAt(8 * 1440)), 0, "", true},
    {"otherFileIsLeftAlone", std::string(64, 'x'), 0, "not a history file", false},
    {"headerOfAnotherLayoutIsLeftAlone", ForeignHeaderSize(), 0, "not a history file", false},
};

INSTANTIATE_TEST_SUITE_P(Files, HistoryLoadTest, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HistoryLog, RefusedFileIsToldOnceAndWrittenOnceItCanBe) {
    FakePlatform platform;
    platform.dataFileRefusal = "it belongs to another user (uid 1001)";
    HistoryLog log(platform, kPath);
    const auto problem = log.Append({SampleAt(1)}, 7, kNow);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("another user"), std::string::npos);
    EXPECT_FALSE(log.Append({SampleAt(0)}, 7, kNow));
    EXPECT_TRUE(platform.dataFiles.empty());

    platform.dataFileRefusal.clear();
    EXPECT_FALSE(log.Append({SampleAt(0)}, 7, kNow));
    EXPECT_TRUE(AllRecordsDecode(platform.dataFiles[kPath]));
}

TEST(HistoryLog, StaysWithinItsBoundKeepingTheNewestSamples) {
    FakePlatform platform;
    HistoryLog log(platform, kPath);
    const int days = 1;
    const std::uint64_t bound = HistoryFileBoundBytes(days);
    std::vector<HistorySample> tenDrives(10);
    for (std::int64_t minute = 0; minute < 2 * 1440 + 30; ++minute) {
        for (int d = 0; d < 10; ++d) {
            tenDrives[static_cast<std::size_t>(d)] = {kNow + minute * 60, static_cast<char>('C' + d), 1000, 500};
        }
        ASSERT_FALSE(log.Append(tenDrives, days, kNow + minute * 60));
        ASSERT_LE(platform.dataFiles[kPath].size(), bound);
    }
    const std::string& file = platform.dataFiles[kPath];
    EXPECT_EQ(platform.dataFileRewrites, 1);
    EXPECT_TRUE(AllRecordsDecode(file));
    EXPECT_EQ(DecodeHistorySample(file.substr(file.size() - kHistoryRecordBytes))->time, kNow + (2 * 1440 + 29) * 60);
    EXPECT_GE(file.size(), kHistoryRecordBytes * (1 + HistoryRecordsKept(days)));
}

// A rewrite that fails (a disk too slow to copy the file in time) is tried again hourly, not every minute;
// appends go on within the bound meanwhile, and stop at it until a rewrite succeeds.
TEST(HistoryLog, FailedRewriteIsRetriedHourlyWithinTheBound) {
    FakePlatform platform;
    const int days = 1;
    const std::uint64_t bound = HistoryFileBoundBytes(days);
    const auto capacity = static_cast<int>(bound / kHistoryRecordBytes - 1);
    platform.dataFiles[kPath] =
        EncodeHistoryHeader() + Records(capacity - static_cast<int>(kHistoryRewriteEarlyRecords) - 5);
    platform.rewriteRefusal = "the folder did not answer within 2 s";
    HistoryLog log(platform, kPath);
    std::vector<HistorySample> tenDrives(10);
    int told = 0;
    for (std::int64_t minute = 0; minute <= 240; ++minute) {
        if (minute == 240) {
            platform.rewriteRefusal.clear();
        }
        for (int d = 0; d < 10; ++d) {
            tenDrives[static_cast<std::size_t>(d)] = {kNow + minute * 60, static_cast<char>('C' + d), 1000, 500};
        }
        told += log.Append(tenDrives, days, kNow + minute * 60) ? 1 : 0;
        ASSERT_LE(platform.dataFiles[kPath].size(), bound) << "minute " << minute;
    }
    EXPECT_EQ(platform.refusedRewrites, 4) << "at minutes 0, 60, 120 and 180";
    EXPECT_EQ(told, 5) << "each failed try (appends succeed between them), the bound reached once";
    const std::string& file = platform.dataFiles[kPath];
    EXPECT_EQ(platform.dataFileRewrites, 1);
    EXPECT_TRUE(AllRecordsDecode(file));
    EXPECT_EQ(DecodeHistorySample(file.substr(file.size() - kHistoryRecordBytes))->time, kNow + 240 * 60);
}

} // namespace
