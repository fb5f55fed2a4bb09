#include "core/agent/DriveWatch.h"

#include "core/diagnostics/Report.h"
#include "platform/PathText.h"

#include <algorithm>
#include <cmath>

namespace {

char UpperLetter(char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c >= 'A' && c <= 'Z' ? c : 0;
}

} // namespace

DriveWatch::DriveWatch(Monitor& monitor)
    : m_monitor(monitor),
      m_history(monitor.GetPlatform(), FolderOf(monitor.ConfigurationPath()) + std::string(kHistoryFileName)) {}

bool DriveWatch::Active() const {
    const ForecastSettings& options = m_monitor.Forecast();
    return options.HistoryDays > 0 || !options.Limits.empty();
}

char DriveWatch::MainLetter() const {
    const std::string& directory = m_monitor.Settings().Directory;
    const std::string letter = directory.empty() ? m_monitor.GetPlatform().CurrentDriveLetter() : directory;
    return letter.size() == 1 ? UpperLetter(letter[0]) : 0;
}

std::vector<char> DriveWatch::WatchedLetters() const {
    std::vector<char> letters;
    const auto add = [&letters](char letter) {
        if (letter != 0 && std::find(letters.begin(), letters.end(), letter) == letters.end()) {
            letters.push_back(letter);
        }
    };
    add(MainLetter());
    const MonitorSettings& settings = m_monitor.Settings();
    if (settings.OtherDrive == 1) {
        for (std::size_t i = 0; i < settings.Directory2.size() && i < kDriveSlots; ++i) {
            add(UpperLetter(settings.Directory2[i]));
        }
    }
    return letters;
}

DriveNews DriveWatch::Measure() {
    DriveNews news;
    if (!Active()) {
        return news;
    }
    const ForecastSettings& options = m_monitor.Forecast();
    Platform& platform = m_monitor.GetPlatform();
    const std::vector<char> letters = WatchedLetters();
    std::vector<std::string> roots;
    for (const char letter : letters) {
        roots.push_back(std::string(1, letter) + ":\\");
    }
    // One batch: the whole minute's measurement waits at most one time bound.
    const std::vector<DriveAnswer> answers = platform.QueryDrives(roots);
    const std::int64_t now = platform.UnixTime();

    std::vector<HistorySample> samples;
    for (std::size_t i = 0; i < letters.size(); ++i) {
        if (i < answers.size() && answers[i].space) {
            samples.push_back({now, letters[i], answers[i].space->totalBytes, answers[i].space->freeBytes});
        } else {
            // A drive that does not answer has no trend to show now; its limit state stays as last weighed.
            DriveOutlook unknown;
            unknown.limitState = static_cast<int>(m_limits.StateOf(letters[i]));
            m_monitor.SetOutlook(letters[i], unknown);
        }
    }
    if (options.HistoryDays > 0) {
        if (std::optional<std::string> problem = m_history.Append(samples, options.HistoryDays, now)) {
            Report(*problem);
        }
    }

    for (const HistorySample& sample : samples) {
        const char letter = sample.letter;
        DriveOutlook outlook;
        if (options.HistoryDays > 0) {
            const auto fitted = m_fittedAt.find(letter);
            if (fitted == m_fittedAt.end() || now - fitted->second >= kForecastSeconds || now < fitted->second) {
                m_forecasts[letter] = ForecastOf(m_history.Recent(letter), now);
                m_fittedAt[letter] = now;
            }
            if (const Trend* shown = m_forecasts[letter].Shown()) {
                outlook.trendBytesPerDay = std::llround(shown->bytesPerDay);
                if (shown->fullIn) {
                    outlook.fullInSeconds = shown->fullIn->seconds;
                    outlook.fullInLowSeconds = shown->fullIn->lowSeconds;
                    outlook.fullInHighSeconds = shown->fullIn->highSeconds;
                }
            }
            TellForecastChange(letter, outlook, news.forecasts);
        }
        const auto limit = options.Limits.find(letter);
        if (limit != options.Limits.end()) {
            std::optional<FullIn> fullIn;
            if (outlook.fullInSeconds) {
                fullIn = FullIn{*outlook.fullInSeconds, outlook.fullInLowSeconds, outlook.fullInHighSeconds};
            }
            const VolumeSpace space{sample.totalBytes, sample.freeBytes};
            if (std::optional<LimitAnnouncement> told =
                    m_limits.Update(letter, limit->second, space, fullIn, now, options.LimitsRepeatHours)) {
                news.announcements.push_back(std::move(told->text));
            }
            outlook.limitState = static_cast<int>(m_limits.StateOf(letter));
        }
        m_monitor.SetOutlook(letter, outlook);
    }
    m_measured = true;
    return news;
}

void DriveWatch::TellForecastChange(char letter, const DriveOutlook& outlook, std::vector<std::string>& told) {
    // Only the headline counts ("full in about 12 days"): the range moves with every fit.
    std::string text;
    if (outlook.fullInSeconds) {
        text = FullInText({*outlook.fullInSeconds, outlook.fullInLowSeconds, outlook.fullInHighSeconds});
    }
    const std::string headline = text.substr(0, text.find(" ("));
    std::string& before = m_toldForecast[letter];
    if (headline == before) {
        return;
    }
    if (m_measured) {
        told.push_back(std::string(1, letter) + ": " +
                       (text.empty() ? "no forecast any more: free space no longer falls clearly" : text));
    }
    before = headline;
}

void DriveWatch::SettingsChanged() {
    const ForecastSettings& options = m_monitor.Forecast();
    if (options.HistoryDays == 0) {
        m_toldForecast.clear();
    }
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (options.Limits.find(letter) == options.Limits.end()) {
            m_limits.Forget(letter);
        }
    }
}

std::vector<std::string> DriveWatch::UnwatchedLimits() const {
    std::vector<std::string> lines;
    const std::vector<char> watched = WatchedLetters();
    for (const auto& [letter, limit] : m_monitor.Forecast().Limits) {
        if (std::find(watched.begin(), watched.end(), letter) == watched.end()) {
            const std::string name(1, letter);
            lines.push_back("[Limits] " + name + ": drive " + name +
                            " is not watched (neither the main drive nor, with OtherDrive=1, in Directory2): its "
                            "limit is not checked");
        }
    }
    return lines;
}
