#pragma once

#include <functional>
#include <string>

#include "core/capacity/Monitor.h"

// Text of the low-capacity warning box for a threshold.
std::string WarningText(int nokori);

// The tray agent's rules without any window: start-up (settings load and first measurement), the 100 ms
// tick with the automatic refresh and the warning step, and the tooltip text and fill level it shows.
class TrayAgentRules {
public:
    // Shows the warning text and returns the box's result (1 when closed with OK, 0 when it cannot be shown).
    using WarningPresenter = std::function<int(const std::string& text)>;

    explicit TrayAgentRules(Monitor& monitor);

    // Settings load (startListening is called on its way) and the first measurement with its tooltip.
    void Initialise(const ListenerStart& startListening = {});
    // The settings file read again as at start (no listener is started), the main drive measured, and the
    // tooltip made anew; a warning box that is up stays the only one. False when the file could not be read:
    // nothing changed.
    bool Reload();
    // One timer tick: automatic refresh when due (then the warning step), then the new tooltip and level.
    void Tick(const WarningPresenter& showWarning);

    // Tooltip text, at most 127 bytes.
    const std::string& TipText() const { return m_tipText; }
    int Level() const { return m_level; }
    // True when the last Tick ran an automatic refresh.
    bool RefreshedOnLastTick() const { return m_refreshedOnLastTick; }
    // True when the next Tick runs the automatic refresh (while Auto is 1).
    bool RefreshDue() const;

    // Warning guard flag: 1 while a warning box may be shown.
    int WarningGuard() const { return m_warningGuard; }
    // Minute-changed flag: 1 after a change of the local minute, 0 after the automatic refresh.
    int MinuteChanged() const { return m_minuteChanged; }

private:
    // Shows a pending warning when no box is up, and clears the pending flag after the box.
    void WarningStep(const WarningPresenter& showWarning);
    // Tooltip text of the prefix and the free percentage, and the level, from the main reading.
    void UpdateTip(const std::string& prefix);

    Monitor& m_monitor;
    int m_warningGuard = 1;
    int m_lastMinute = -1;
    int m_minuteChanged = 1;
    std::string m_tipText;
    int m_level = 0;
    bool m_refreshedOnLastTick = false;
};
