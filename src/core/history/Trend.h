#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/history/HistoryLog.h"

inline constexpr std::int64_t kSecondsPerDay = 86400;

// When a drive is expected to be full: the median estimate and a range from the spread of the slopes.
struct FullIn {
    std::int64_t seconds = 0;
    std::int64_t lowSeconds = 0; // at the steeper slope
    std::int64_t highSeconds = 0;

    friend bool operator==(const FullIn&, const FullIn&) = default;
};

// The fitted course of a drive's free space over one window.
struct Trend {
    double bytesPerDay = 0;       // negative while the drive fills
    std::optional<FullIn> fullIn; // only when the fall is clear
};

// What a fit needs before it tells anything: at least this many samples spanning at least this long.
inline constexpr std::size_t kTrendMinSamples = 30;
inline constexpr std::int64_t kTrendMinSpanSeconds = 3 * 3600;
// Samples of a window weighed at most (a longer window is thinned evenly), and pairs of samples whose slopes are
// weighed at most (more are paired at random, with a fixed seed, so one history gives one answer).
inline constexpr std::size_t kTrendMaxPoints = 1000;
inline constexpr std::size_t kTrendMaxPairs = 2000;

// A Theil-Sen fit (the median of the slopes between pairs of samples, which a burst of writes in a few
// samples cannot swing) of the points of the window before now, sorted by time. nullopt when there are too
// few samples or they span too short a time. fullIn is set only when the fall is clear: 90 % of the slopes
// below zero; its range comes from the quartiles of the slopes, its level from the fit at now.
std::optional<Trend> FitTrend(const std::vector<FreePoint>& points, std::int64_t now, std::int64_t window);

// A drive's trends over the last day and the last week.
struct DriveForecast {
    std::optional<Trend> day;
    std::optional<Trend> week;

    // The trend to show: the day's when it tells a full-in (the recent course counts first), else the week's
    // when it does, else whichever exists, the day's first; nullptr when neither.
    const Trend* Shown() const;
};

DriveForecast ForecastOf(const std::vector<FreePoint>& points, std::int64_t now);

// "full in about 7 hours (5-9)", "full in about 12 days (10-15)": hours below two days, else days.
std::string FullInText(const FullIn& fullIn);
