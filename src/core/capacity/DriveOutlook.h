#pragma once

#include <cstdint>
#include <optional>

// What the history and the limits tell of one drive, as the agent's minute tick last found it.
struct DriveOutlook {
    std::optional<std::int64_t> trendBytesPerDay; // of the trend shown; nullopt without one
    std::optional<std::int64_t> fullInSeconds;    // with its range, only when the trend has a forecast
    std::int64_t fullInLowSeconds = 0;
    std::int64_t fullInHighSeconds = 0;
    int limitState = 0; // 0 ok, 1 low, 2 full within 24 hours (for a drive with a limit)

    friend bool operator==(const DriveOutlook&, const DriveOutlook&) = default;
};
