#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "core/agent/DriveWatch.h"
#include "core/agent/TrayAgentRules.h"
#include "core/capacity/Monitor.h"

class Platform;

// What a mode shows of the agent: the tray icon and its boxes, or lines on stderr.
class AgentPresenter {
public:
    virtual ~AgentPresenter() = default;
    // Shows the tooltip text and the fill level; called at the start and whenever either has changed.
    virtual void ShowStatus(const std::string& tipText, int level) = 0;
    // Shows the low-capacity warning; 1 when it was closed with OK, 0 when it could not be shown.
    virtual int ShowWarning(const std::string& text) = 0;
    // Tells the user of a drive's limit state without waiting for an answer (nothing modal); by default nowhere.
    virtual void Announce(const std::string& text) { static_cast<void>(text); }
    // Tells of a drive's forecast that came, went or changed, for a log; by default nowhere (the tooltip shows it).
    virtual void TellForecast(const std::string& text) { static_cast<void>(text); }
};

// The agent of both modes without a face: the monitor with the settings and readings, the tick with the
// automatic refresh and the warning, and when the next tick can change anything, so that an idle agent sleeps.
// A front end drives it from one timer of its own and shows what it hands to the presenter.
class AgentCore {
public:
    // The tick's cadence wherever one can matter: the settings dialog open, or an automatic refresh due.
    static constexpr std::chrono::milliseconds kTickInterval{100};
    // Past the next change of the local minute, so that the tick there sees the new minute.
    static constexpr std::chrono::milliseconds kMinuteMargin{20};
    // The longest sleep, also when nothing is due.
    static constexpr std::chrono::milliseconds kLongestSleep{60000};

    AgentCore(Platform& platform, std::string configurationPath, AgentPresenter& presenter);
    AgentCore(const AgentCore&) = delete;
    AgentCore& operator=(const AgentCore&) = delete;

    Monitor& GetMonitor() { return m_monitor; }
    const TrayAgentRules& Rules() const { return m_rules; }

    // Settings load (startListening is called on its way), the first measurement and the first status.
    void Start(const ListenerStart& startListening = {});
    // Reads the settings file again as at start and shows the new status; the listener keeps the port it has
    // until a restart. Reports one line saying so; a file that cannot be read changes nothing.
    void ReloadSettings();
    // At a change of the local minute the drives' watch when the options ask for it, then one tick of the rules
    // (automatic refresh when due, then the warning), then the status when it changed.
    void Tick();
    // How long from now the front end may sleep before the next tick: kTickInterval while the settings dialog
    // is open or an automatic refresh is due, until just past the next change of the local minute while
    // automatic refresh counts minutes or the drives' watch is on, otherwise kLongestSleep. Changes made outside a tick
    // (a refresh, the dialog opening or closing) reach the front end through the monitor's change observer.
    std::chrono::milliseconds NextTickDelay();

private:
    void ShowStatusIfChanged();
    // The drives' watch, its announcements handed to the presenter.
    void WatchDrives();
    void ReportUnwatchedLimits();

    Monitor m_monitor;
    TrayAgentRules m_rules;
    DriveWatch m_watch;
    int m_watchedMinute = -1;
    AgentPresenter& m_presenter;
    std::string m_shownTip;
    int m_shownLevel = -1;
    std::optional<int> m_listenedPort; // the Port read at start, which the listener keeps
};
