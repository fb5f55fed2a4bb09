#include "core/history/Trend.h"

#include <algorithm>
#include <array>
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

std::size_t QuantileIndex(std::size_t size, double q) {
    return static_cast<std::size_t>(q * static_cast<double>(size - 1) + 0.5);
}

// The quantiles 0.25, 0.5, 0.75 and 0.9 of the slopes, each found within the part the earlier ones left.
std::array<double, 4> Quartiles(std::vector<double>& slopes) {
    const auto at = [&slopes](double q) {
        return slopes.begin() + static_cast<std::ptrdiff_t>(QuantileIndex(slopes.size(), q));
    };
    std::nth_element(slopes.begin(), at(0.5), slopes.end());
    std::nth_element(slopes.begin(), at(0.25), at(0.5));
    std::nth_element(at(0.5) + 1, at(0.75), slopes.end());
    std::nth_element(at(0.75) + 1, at(0.9), slopes.end());
    return {*at(0.25), *at(0.5), *at(0.75), *at(0.9)};
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
    const auto count = static_cast<std::size_t>(last - first);
    if (count < kTrendMinSamples || (last - 1)->time - first->time < kTrendMinSpanSeconds) {
        return std::nullopt;
    }
    // A long window is thinned to evenly spread samples: the fit needs no more to be robust.
    std::vector<FreePoint> used;
    const std::size_t stride = (count + kTrendMaxPoints - 1) / kTrendMaxPoints;
    used.reserve(count / stride + 1);
    for (auto point = first; point < last;
         point += static_cast<std::ptrdiff_t>(std::min<std::size_t>(stride, static_cast<std::size_t>(last - point)))) {
        used.push_back(*point);
    }
    const std::size_t n = used.size();
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
    const auto [q25, median, q75, q90] = Quartiles(slopes);
    Trend trend;
    trend.bytesPerDay = median * kSecondsPerDay;
    if (q90 >= 0) {
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
    trend.fullIn =
        FullIn{SecondsUntilEmpty(level, median), SecondsUntilEmpty(level, q25), SecondsUntilEmpty(level, q75)};
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
    const std::string median = count(fullIn.seconds);
    const std::string unitName = std::string(inHours ? " hour" : " day") + (median == "1" ? "" : "s");
    return "full in about " + median + unitName + " (" + count(fullIn.lowSeconds) + "-" + count(fullIn.highSeconds) +
           ")";
}
