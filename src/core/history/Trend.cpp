#include "core/history/Trend.h"

#include <algorithm>
#include <cmath>

namespace {

// A fixed generator (SplitMix64), the same on every platform and library.
class PairPicker {
public:
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

private:
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t m_state = 0x7461727665ull;
};

double Slope(const FreePoint& a, const FreePoint& b) {
    return (static_cast<double>(b.freeBytes) - static_cast<double>(a.freeBytes)) / static_cast<double>(b.time - a.time);
}

double Quantile(const std::vector<double>& sorted, double q) {
    return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5)];
}

std::int64_t SecondsUntilEmpty(double level, double bytesPerSecond) {
    const double seconds = level / -bytesPerSecond;
    return seconds >= 1e15 ? std::int64_t{1'000'000'000'000'000} : static_cast<std::int64_t>(std::llround(seconds));
}

} // namespace

std::optional<Trend> FitTrend(const std::vector<FreePoint>& points, std::int64_t now, std::int64_t window) {
    const auto first = std::lower_bound(points.begin(), points.end(), now - window,
                                        [](const FreePoint& point, std::int64_t time) { return point.time < time; });
    const auto last = std::upper_bound(first, points.end(), now,
                                       [](std::int64_t time, const FreePoint& point) { return time < point.time; });
    const std::vector<FreePoint> used(first, last);
    const std::size_t n = used.size();
    if (n < kTrendMinSamples || used.back().time - used.front().time < kTrendMinSpanSeconds) {
        return std::nullopt;
    }
    std::vector<double> slopes;
    if (n * (n - 1) / 2 <= kTrendMaxPairs) {
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                if (used[j].time > used[i].time) {
                    slopes.push_back(Slope(used[i], used[j]));
                }
            }
        }
    } else {
        PairPicker picker;
        slopes.reserve(kTrendMaxPairs);
        for (std::size_t k = 0; k < 4 * kTrendMaxPairs && slopes.size() < kTrendMaxPairs; ++k) {
            const std::size_t i = picker.Below(n);
            const std::size_t j = picker.Below(n);
            if (used[i].time != used[j].time) {
                slopes.push_back(i < j ? Slope(used[i], used[j]) : Slope(used[j], used[i]));
            }
        }
    }
    if (slopes.empty()) {
        return std::nullopt;
    }
    std::sort(slopes.begin(), slopes.end());
    const double median = Quantile(slopes, 0.5);
    Trend trend;
    trend.bytesPerDay = median * kSecondsPerDay;
    if (Quantile(slopes, 0.9) >= 0) {
        return trend;
    }
    // The fitted level at now: the median of each sample carried forward along the median slope.
    std::vector<double> levels;
    levels.reserve(n);
    for (const FreePoint& point : used) {
        levels.push_back(static_cast<double>(point.freeBytes) + median * static_cast<double>(now - point.time));
    }
    std::nth_element(levels.begin(), levels.begin() + static_cast<std::ptrdiff_t>(n / 2), levels.end());
    const double level = std::max(levels[n / 2], 0.0);
    trend.fullIn = FullIn{SecondsUntilEmpty(level, median), SecondsUntilEmpty(level, Quantile(slopes, 0.25)),
                          SecondsUntilEmpty(level, Quantile(slopes, 0.75))};
    return trend;
}

const Trend* DriveForecast::Shown() const {
    for (const std::optional<Trend>* trend : {&day, &week}) {
        if (*trend && (*trend)->fullIn) {
            return &**trend;
        }
    }
    return day ? &*day : week ? &*week : nullptr;
}

DriveForecast ForecastOf(const std::vector<FreePoint>& points, std::int64_t now) {
    return {FitTrend(points, now, kSecondsPerDay), FitTrend(points, now, 7 * kSecondsPerDay)};
}

std::string FullInText(const FullIn& fullIn) {
    const bool inHours = fullIn.seconds < 2 * kSecondsPerDay;
    const std::int64_t unit = inHours ? 3600 : kSecondsPerDay;
    const auto count = [unit](std::int64_t seconds) {
        return std::to_string(std::max<std::int64_t>(1, (seconds + unit / 2) / unit));
    };
    return "full in about " + count(fullIn.seconds) + (inHours ? " hours (" : " days (") + count(fullIn.lowSeconds) +
           "-" + count(fullIn.highSeconds) + ")";
}
