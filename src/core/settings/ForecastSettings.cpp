#include "core/settings/ForecastSettings.h"

#include <charconv>
#include <cmath>

namespace {

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A whole text of decimal digits as an int; nullopt for anything else.
std::optional<int> WholeNumber(std::string_view text) {
    text = Trimmed(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// One part of a limit ("10%", "50 GB") into the limit; false when it is no such part or repeats a kind.
bool AddLimitPart(std::string_view part, DriveLimit& limit) {
    part = Trimmed(part);
    std::size_t numberEnd = 0;
    while (numberEnd < part.size() && ((part[numberEnd] >= '0' && part[numberEnd] <= '9') || part[numberEnd] == '.')) {
        ++numberEnd;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + numberEnd, value);
    if (numberEnd == 0 || error != std::errc() || end != part.data() + numberEnd || !std::isfinite(value) ||
        value <= 0) {
        return false;
    }
    std::string unit;
    for (const char c : Trimmed(part.substr(numberEnd))) {
        unit += Upper(c);
    }
    if (unit == "%") {
        if (limit.percent || value > 100) {
            return false;
        }
        limit.percent = value;
        return true;
    }
    const int shift = unit == "MB" ? 20 : unit == "GB" ? 30 : unit == "TB" ? 40 : 0;
    const double bytes = std::ldexp(value, shift);
    if (shift == 0 || limit.bytes || bytes < 1 || bytes >= std::ldexp(1.0, 63)) {
        return false;
    }
    limit.bytes = static_cast<std::uint64_t>(bytes);
    return true;
}

} // namespace

std::optional<DriveLimit> ParseDriveLimit(std::string_view text) {
    DriveLimit limit;
    const std::size_t comma = text.find(',');
    if (!AddLimitPart(text.substr(0, comma), limit) ||
        (comma != std::string_view::npos && !AddLimitPart(text.substr(comma + 1), limit))) {
        return std::nullopt;
    }
    return limit;
}

ForecastSettingsRead ReadForecastSettings(const IniProfile& ini) {
    ForecastSettingsRead read;
    ForecastSettings& settings = read.settings;
    if (const std::optional<std::string> stored = ini.GetProfileStrings("History", {"Days"}).front()) {
        const std::string& days = *stored;
        const std::optional<int> value = WholeNumber(days);
        if (!value) {
            read.problems.push_back("[History] Days=" + days + " is not a number of days from 0 to " +
                                    std::to_string(kMaxHistoryDays) + "; no history is kept");
        } else if (*value > kMaxHistoryDays) {
            read.problems.push_back("[History] Days=" + days + " is more than " + std::to_string(kMaxHistoryDays) +
                                    "; " + std::to_string(kMaxHistoryDays) + " days are kept");
            settings.HistoryDays = kMaxHistoryDays;
        } else {
            settings.HistoryDays = *value;
        }
    }
    settings.DisplayForecast = ini.GetProfileInt("Display", "Forecast", 0);

    for (const auto& [key, value] : ini.Entries("Limits")) {
        if (ProfileNamesEqual(key, "Repeat")) {
            const std::optional<int> hours = WholeNumber(value);
            if (hours) {
                settings.LimitsRepeatHours = *hours;
            } else {
                read.problems.push_back("[Limits] Repeat=" + value +
                                        " is not a number of hours; a warning is not repeated");
            }
        } else if (key.size() == 1 && Upper(key[0]) >= 'A' && Upper(key[0]) <= 'Z') {
            const std::optional<DriveLimit> limit = ParseDriveLimit(value);
            if (!limit) {
                read.problems.push_back("[Limits] " + key + "=" + value +
                                        " is not a limit such as 10%, 50GB or 5%,20GB; it is ignored");
            } else {
                settings.Limits.emplace(Upper(key[0]), *limit); // the first key of a letter counts
            }
        } else {
            read.problems.push_back("[Limits] " + key + " is neither a drive letter nor Repeat; it is ignored");
        }
    }
    return read;
}
