#include "core/history/Trend.h"

#include <cmath>
#include <functional>

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kNow = 1'800'000'000;
constexpr double kGB = 1024.0 * 1024 * 1024;

struct TrendCase {
    const char* name;
    int minutes;                          // samples, one a minute, the last at now
    std::function<double(int minute)> gb; // free GB at a minute (0 is the first sample)
    std::optional<double> fullInDays;     // expected forecast (within 10 %), nullopt for none
    bool trend;                           // a trend is told at all (enough samples)
};

// A fixed pseudo-random wobble in -1..1.
double Wobble(int minute) {
    return std::sin(minute * 12.9898) * 43758.5453 - std::floor(std::sin(minute * 12.9898) * 43758.5453) - 0.5;
}

void PrintTo(const TrendCase& c, std::ostream* os) {
    *os << c.name;
}

class TrendTest : public ::testing::TestWithParam<TrendCase> {};

TEST_P(TrendTest, ForecastsOnlyAClearFall) {
    const TrendCase& c = GetParam();
    std::vector<FreePoint> points;
    for (int minute = 0; minute < c.minutes; ++minute) {
        points.push_back({kNow - (c.minutes - 1 - minute) * 60, static_cast<std::uint64_t>(c.gb(minute) * kGB)});
    }
    const DriveForecast forecast = ForecastOf(points, kNow);
    const Trend* shown = forecast.Shown();
    ASSERT_EQ(shown != nullptr, c.trend);
    const std::optional<FullIn> fullIn = shown ? shown->fullIn : std::nullopt;
    ASSERT_EQ(fullIn.has_value(), c.fullInDays.has_value());
    if (fullIn) {
        EXPECT_NEAR(static_cast<double>(fullIn->seconds) / kSecondsPerDay, *c.fullInDays, *c.fullInDays * 0.1);
        EXPECT_LE(fullIn->lowSeconds, fullIn->seconds);
        EXPECT_GE(fullIn->highSeconds, fullIn->seconds);
    }
}

// A drive that fills by 10 GB a day and has 100 GB free at the end is full in 10 days.
double SteadyFill(int minute, int minutes) {
    return 100 + 10.0 * (minutes - 1 - minute) / 1440;
}

const TrendCase kTrendCases[] = {
    {"steadyFill", 1440, [](int m) { return SteadyFill(m, 1440); }, 10.0, true},
    {"steadyFillOverAWeek", 7 * 1440, [](int m) { return SteadyFill(m, 7 * 1440); }, 10.0, true},
    {"oneBurstDoesNotSwingIt", 1440, [](int m) { return SteadyFill(m, 1440) - (m >= 700 && m < 730 ? 80 : 0); }, 10.0,
     true},
    {"burstOnAFlatDriveIsNoFall", 1440, [](int m) { return 200.0 - (m >= 700 && m < 760 ? 80 : 0); }, std::nullopt,
     true},
    {"lastHoursFillOnAFlatDriveIsNoFall", 1440, [](int m) { return 200.0 - (m >= 1300 ? 50 : 0); }, std::nullopt, true},
    {"flat", 1440, [](int) { return 200.0; }, std::nullopt, true},
    {"rising", 1440, [](int m) { return 100 + 10.0 * m / 1440; }, std::nullopt, true},
    {"noisy", 1440, [](int m) { return SteadyFill(m, 1440) + 40 * Wobble(m); }, std::nullopt, true},
    {"fastFillInHours", 600, [](int m) { return 10 + 0.01 * (599 - m); }, 10.0 / (0.01 * 1440), true},
    {"tooFewSamples", 20, [](int m) { return SteadyFill(m, 20); }, std::nullopt, false},
    {"tooShortASpan", 120, [](int m) { return SteadyFill(m, 120); }, std::nullopt, false},
};

INSTANTIATE_TEST_SUITE_P(Series, TrendTest, ::testing::ValuesIn(kTrendCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
