#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/capacity/Monitor.h"
#include "core/history/HistoryLog.h"
#include "core/history/LimitWatch.h"
#include "core/history/Trend.h"

// The minute tick of the opt-in options: each watched drive measured once a minute (no rename, no save, no
// refresh count), its sample appended to the history, its forecast kept, its limit weighed. What it finds goes
// into the monitor's outlooks; what the user must be told is returned.
struct DriveNews {
    std::vector<std::string> announcements; // limit states, told on every face
    std::vector<std::string> forecasts;     // a drive's forecast come, gone or changed by a whole hour or day
};

class DriveWatch {
public:
    // A forecast is fitted again at most this often.
    static constexpr std::int64_t kForecastSeconds = 600;

    explicit DriveWatch(Monitor& monitor);

    // True when the options ask for the minute tick ([History] Days or a [Limits] key).
    bool Active() const;
    // Measures the watched drives in one bounded batch and weighs them; what is to be told. The forecasts found
    // by the first measurement are taken as known (the start line shows them).
    DriveNews Measure();
    // After a reload: drives whose limit is gone are forgotten.
    void SettingsChanged();
    // One line for each [Limits] letter that is not a watched drive, whose limit is therefore never weighed.
    std::vector<std::string> UnwatchedLimits() const;

private:
    // The main drive's letter and, with OtherDrive 1, the first nine of Directory2, upper case.
    std::vector<char> WatchedLetters() const;
    char MainLetter() const;
    // Adds a line to told when the drive's forecast came, went or changed its headline since last told.
    void TellForecastChange(char letter, const DriveOutlook& outlook, std::vector<std::string>& told);

    Monitor& m_monitor;
    HistoryLog m_history; // tarvellin.history beside the settings file
    LimitWatch m_limits;
    std::map<char, DriveForecast> m_forecasts;
    std::map<char, std::int64_t> m_fittedAt;
    std::map<char, std::string> m_toldForecast; // "full in about N days" last told, empty for none
    bool m_measured = false;
};
