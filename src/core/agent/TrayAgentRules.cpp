#include "core/agent/TrayAgentRules.h"

#include <optional>

#include "core/capacity/CapacityReading.h"
#include "core/capacity/Monitor.h"
#include "core/history/Trend.h"
#include "platform/Utf8.h"

namespace {

// Room of the tooltip field: 128 bytes with the terminating zero.
constexpr std::size_t kTipBytes = 127;

// The text cut to at most maxBytes, never inside a UTF-8 character.
std::string BoundUtf8(std::string text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t cut = maxBytes;
    while (cut > 0 && IsUtf8Continuation(text[cut])) {
        --cut;
    }
    text.resize(cut);
    return text;
}

// The first character of a UTF-8 text (a drive letter is one byte; a value from a foreign file may not be).
std::string FirstCharacter(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    std::size_t length = 1;
    while (length < text.size() && length < 4 && IsUtf8Continuation(text[length])) {
        ++length;
    }
    return text.substr(0, length);
}

// The main drive's forecast for the tooltip ([Display] Forecast=1): with its range when the whole fits in the
// room left, else without it, else none.
std::string ForecastTipLine(const Monitor& monitor, std::size_t room) {
    const ForecastSettings& options = monitor.Forecast();
    const DriveOutlook* outlook = monitor.OutlookOf(monitor.Settings().Directory);
    if (options.DisplayForecast != 1 || options.HistoryDays <= 0 || outlook == nullptr || !outlook->fullInSeconds) {
        return {};
    }
    std::string line =
        "\n" + FullInText({*outlook->fullInSeconds, outlook->fullInLowSeconds, outlook->fullInHighSeconds});
    if (line.size() > room) {
        line.resize(line.find(" ("));
    }
    return line.size() <= room ? line : std::string();
}

} // namespace

std::string WarningText(int nokori) {
    return "残り容量が" + std::to_string(nokori) + "MBを切りました\nHDDを整理してください";
}

TrayAgentRules::TrayAgentRules(Monitor& monitor) : m_monitor(monitor) {}

void TrayAgentRules::Initialise(const ListenerStart& startListening) {
    m_minuteChanged = 1;
    m_warningGuard = 1;
    m_refreshedOnLastTick = false;

    const std::string directory = m_monitor.LoadSettings(startListening);

    // The first measurement: the configured drive, or the current directory's drive when none is
    // configured or the configured one cannot be measured (Directory then takes its letter).
    m_monitor.MeasureMainDrive();
    std::string prefix = "tarvellin " + FirstCharacter(m_monitor.Settings().Directory);
    prefix += directory.empty() ? "ドライブ" : "ドライブ空容量";

    for (DriveSlot& slot : m_monitor.Slots()) {
        slot.type = DriveType::Unknown;
    }
    UpdateTip(prefix);
    m_monitor.FormatTexts();
    m_lastMinute = m_monitor.GetPlatform().LocalMinute();
}

bool TrayAgentRules::Reload() {
    if (!m_monitor.ReloadSettings()) {
        return false;
    }
    m_minuteChanged = 1;
    m_refreshedOnLastTick = false;
    for (DriveSlot& slot : m_monitor.Slots()) {
        slot.type = DriveType::Unknown;
    }
    UpdateTip("tarvellin " + m_monitor.Settings().Directory + "ドライブ空容量");
    m_lastMinute = m_monitor.GetPlatform().LocalMinute();
    return true;
}

void TrayAgentRules::Tick(const WarningPresenter& showWarning) {
    m_refreshedOnLastTick = false;
    const MonitorSettings& settings = m_monitor.Settings();
    if (settings.Auto == 1) {
        // The time of the tick is taken before the refresh and its warning box.
        const int minute = m_monitor.GetPlatform().LocalMinute();
        if (RefreshDue()) {
            m_monitor.RefreshCycle(RefreshTrigger::Auto);
            m_minuteChanged = 0;
            m_monitor.RestartMinuteCount();
            WarningStep(showWarning);
            m_refreshedOnLastTick = true;
        }
        if (minute != m_lastMinute) {
            m_monitor.CountMinute();
            m_lastMinute = minute;
            m_minuteChanged = 1;
        }
    }
    UpdateTip("tarvellin " + m_monitor.Settings().Directory + "ドライブ空容量");
}

bool TrayAgentRules::RefreshDue() const {
    return m_minuteChanged == 1 && m_monitor.Settings().Time == m_monitor.MinuteCounter();
}

void TrayAgentRules::WarningStep(const WarningPresenter& showWarning) {
    const std::string text = WarningText(m_monitor.Settings().Nokori);
    if (m_monitor.WarningPending() == 1 && m_warningGuard == 1) {
        m_warningGuard = 0;
        // The box runs a nested loop in which further ticks arrive; the guard keeps them from a second box.
        m_warningGuard = showWarning ? showWarning(text) : 0;
        m_monitor.ClearWarning();
    }
}

void TrayAgentRules::UpdateTip(const std::string& prefix) {
    const CapacityReading& reading = m_monitor.Reading();
    m_tipText = BoundUtf8(prefix + FreePercentText(reading.freeMB, reading.totalMB) + "%", kTipBytes);
    m_tipText += ForecastTipLine(m_monitor, kTipBytes - m_tipText.size());
    m_level = LevelOf(reading.totalMB, reading.freeMB);
}
