#include "core/agent/AgentCore.h"

#include "core/agent/StartLine.h"
#include "core/diagnostics/Report.h"

#include <algorithm>
#include <utility>

AgentCore::AgentCore(Platform& platform, std::string configurationPath, AgentPresenter& presenter)
    : m_monitor(platform, std::move(configurationPath)), m_rules(m_monitor), m_watch(m_monitor),
      m_presenter(presenter) {}

void AgentCore::Start(const ListenerStart& startListening) {
    m_rules.Initialise([this, &startListening](int port, const std::string& address) {
        m_listenedPort = port;
        if (startListening) {
            startListening(port, address);
        }
    });
    ShowStatusIfChanged();
    // The first measurement of the watch at once, so a drive already low is told at the start.
    m_watchedMinute = m_monitor.GetPlatform().LocalMinute();
    WatchDrives();
    ReportUnwatchedLimits();
}

void AgentCore::ReportUnwatchedLimits() {
    for (const std::string& line : m_watch.UnwatchedLimits()) {
        Report(line);
    }
}

void AgentCore::ReloadSettings() {
    if (!m_rules.Reload()) {
        return;
    }
    m_watch.SettingsChanged();
    Report(ReloadLine(m_monitor.ConfigurationPath(), m_listenedPort.value_or(m_monitor.Settings().Port),
                      m_monitor.Settings().Port));
    ReportUnwatchedLimits();
    ShowStatusIfChanged();
}

void AgentCore::Tick() {
    // The watch first, so that the tooltip made by the rules' tick shows its forecast at once.
    if (m_watch.Active()) {
        const int minute = m_monitor.GetPlatform().LocalMinute();
        if (minute != m_watchedMinute) {
            m_watchedMinute = minute;
            WatchDrives();
        }
    }
    m_rules.Tick([this](const std::string& text) { return m_presenter.ShowWarning(text); });
    ShowStatusIfChanged();
}

void AgentCore::WatchDrives() {
    const DriveNews news = m_watch.Measure();
    for (const std::string& text : news.announcements) {
        m_presenter.Announce(text);
    }
    for (const std::string& text : news.forecasts) {
        m_presenter.TellForecast(text);
    }
}

void AgentCore::ShowStatusIfChanged() {
    if (m_rules.TipText() == m_shownTip && m_rules.Level() == m_shownLevel) {
        return;
    }
    m_shownTip = m_rules.TipText();
    m_shownLevel = m_rules.Level();
    m_presenter.ShowStatus(m_shownTip, m_shownLevel);
}

std::chrono::milliseconds AgentCore::NextTickDelay() {
    const MonitorSettings& settings = m_monitor.Settings();
    if (m_monitor.WindowOpen() || (settings.Auto == 1 && m_rules.RefreshDue())) {
        return kTickInterval;
    }
    if (settings.Auto != 1 && !m_watch.Active()) {
        return kLongestSleep;
    }
    const std::chrono::milliseconds toNextMinute(m_monitor.GetPlatform().MillisecondsToNextMinute());
    return std::min(toNextMinute + kMinuteMargin, kLongestSleep + kMinuteMargin);
}
