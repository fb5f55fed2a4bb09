#include "core/history/LimitWatch.h"

#include <gtest/gtest.h>

namespace {

constexpr double kGB = 1024.0 * 1024 * 1024;

// One measurement of a drive of 100 GB at a time (a fake clock, in seconds) and what is told then.
struct Step {
    std::int64_t time;
    double freeGB;
    std::optional<double> fullInHours;
    LimitState state;
    const char* told; // the announcement, nullptr for none
};

struct WatchCase {
    const char* name;
    const char* limit;
    int repeatHours;
    std::vector<Step> steps;
};

void PrintTo(const WatchCase& c, std::ostream* os) {
    *os << c.name;
}

class LimitWatchTest : public ::testing::TestWithParam<WatchCase> {};

TEST_P(LimitWatchTest, TellsChangesOnceWithHysteresisAndRepeats) {
    const WatchCase& c = GetParam();
    const std::optional<DriveLimit> limit = ParseDriveLimit(c.limit);
    ASSERT_TRUE(limit);
    LimitWatch watch;
    for (const Step& step : c.steps) {
        const VolumeSpace space{static_cast<std::uint64_t>(100 * kGB), static_cast<std::uint64_t>(step.freeGB * kGB)};
        std::optional<FullIn> fullIn;
        if (step.fullInHours) {
            const auto seconds = static_cast<std::int64_t>(*step.fullInHours * 3600);
            fullIn = FullIn{seconds, seconds / 2, seconds * 2};
        }
        const auto told = watch.Update('D', *limit, space, fullIn, step.time, c.repeatHours);
        EXPECT_EQ(told ? told->text : "", step.told ? step.told : "") << "at " << step.time;
        EXPECT_EQ(watch.StateOf('D'), step.state) << "at " << step.time;
    }
}

using S = LimitState;

const WatchCase kWatchCases[] = {
    {"amountWithHysteresis",
     "5GB",
     0,
     {
         {0, 6.0, {}, S::Ok, nullptr},
         {60, 4.2, {}, S::Low, "D: low on free space: 4.20 GByte free (limit 5.00 GByte)"},
         {120, 3.0, {}, S::Low, nullptr},
         {180, 5.2, {}, S::Low, nullptr},
         {240, 5.6, {}, S::Ok, "D: free space above the limit again: 5.60 GByte free (limit 5.00 GByte)"},
         {300, 5.2, {}, S::Ok, nullptr},
         {99999, 5.1, {}, S::Ok, nullptr},
     }},
    {"percentWithHysteresis",
     "10%",
     0,
     {
         {0, 9.5, 72.0, S::Low, "D: low on free space: 9.50 GByte free (limit 10 %), full in about 3 days (2-6)"},
         {60, 10.5, {}, S::Low, nullptr},
         {120, 11.2, {}, S::Ok, "D: free space above the limit again: 11.20 GByte free (limit 10 %)"},
     }},
    {"eitherPartCrossed",
     "5%,20GB",
     0,
     {
         {0, 0.8, {}, S::Low, "D: low on free space: 819 MByte free (limit 5 % or 20.00 GByte)"},
     }},
    {"forecastWithinADayIsWorseAndTold",
     "5GB",
     0,
     {
         {0, 30, 10.0, S::FullWithinDay,
          "D: full within 24 hours at the current rate: 30.00 GByte free, full in about 10 hours (5-20)"},
         {60, 28, 25.0, S::FullWithinDay, nullptr},
         {120, 27, 30.0, S::Ok, "D: free space above the limit again: 27.00 GByte free (limit 5.00 GByte)"},
         {180, 4, 20.0, S::FullWithinDay,
          "D: full within 24 hours at the current rate: 4.00 GByte free, full in about 20 hours (10-40)"},
         {240, 4, {}, S::Low, "D: low on free space: 4.00 GByte free (limit 5.00 GByte)"},
     }},
    {"unchangedStateRepeatsAfterTheInterval",
     "5GB",
     2,
     {
         {0, 4, {}, S::Low, "D: low on free space: 4.00 GByte free (limit 5.00 GByte)"},
         {3600, 3, {}, S::Low, nullptr},
         {7200, 3, {}, S::Low, "D: low on free space: 3.00 GByte free (limit 5.00 GByte)"},
         {7260, 3, {}, S::Low, nullptr},
         {7320, 6, {}, S::Ok, "D: free space above the limit again: 6.00 GByte free (limit 5.00 GByte)"},
         {99999, 6, {}, S::Ok, nullptr},
     }},
};

INSTANTIATE_TEST_SUITE_P(Sequences, LimitWatchTest, ::testing::ValuesIn(kWatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
