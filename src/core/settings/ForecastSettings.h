#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/IniProfile.h"

// Largest [History] Days.
inline constexpr int kMaxHistoryDays = 400;

// Free space below which a drive counts as low: a share of its size, an amount, or the two (low when either
// is crossed).
struct DriveLimit {
    std::optional<double> percent;      // of the drive's size, above 0 up to 100
    std::optional<std::uint64_t> bytes; // free bytes, above 0

    friend bool operator==(const DriveLimit&, const DriveLimit&) = default;
};

// The opt-in options of the history, the forecast and the limits per drive. They are only read: a save never
// writes these sections, so a file without them stays without them.
struct ForecastSettings {
    int HistoryDays = 0;               // [History] Days: days of samples kept; 0 keeps no history
    int DisplayForecast = 0;           // [Display] Forecast: 1 appends the forecast to the tooltip
    std::map<char, DriveLimit> Limits; // [Limits] <letter>, by upper-case letter
    int LimitsRepeatHours = 0;         // [Limits] Repeat: hours after which an unchanged state is told again; 0 never

    friend bool operator==(const ForecastSettings&, const ForecastSettings&) = default;
};

// The options and one line for each value that is not taken (and why; such a value counts as missing).
struct ForecastSettingsRead {
    ForecastSettings settings;
    std::vector<std::string> problems;
};

ForecastSettingsRead ReadForecastSettings(const IniProfile& ini);

// A limit written as "10%", "50GB", "5%,20GB" or "1.5 TB" (units %, MB, GB, TB in any case, binary multiples);
// nullopt for anything else.
std::optional<DriveLimit> ParseDriveLimit(std::string_view text);
