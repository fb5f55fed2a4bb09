#pragma once

#include <chrono>
#include <functional>

#include "core/agent/AgentCore.h"

// What every face does the same way around the agent core: one timer of the face's own drives the ticks, a change
// made outside a tick wakes it at once, the ticks go on while a warning box is up, and the exit command waits for
// an open settings dialog. The face only arms its timer, draws and forwards its events.
class AgentDriver {
public:
    // Starts (or restarts) the face's single-shot tick timer to fire after the delay.
    using ArmTimer = std::function<void(std::chrono::milliseconds delay)>;

    // Watches the core's monitor for changes until destroyed.
    AgentDriver(AgentCore& core, ArmTimer arm);
    ~AgentDriver();
    AgentDriver(const AgentDriver&) = delete;
    AgentDriver& operator=(const AgentDriver&) = delete;

    // Starts the core (startListening is called on its way) and arms the first tick.
    void Start(const ListenerStart& startListening);
    // Reads the settings file again as at start; an automatic refresh due now runs at the next tick.
    void ReloadSettings();
    // The tick timer fired: one tick, then the timer armed for the next one.
    void OnTimer();
    // Runs the face's modal warning box (showBox returns its result) so that the ticks go on meanwhile.
    int RunWarningBox(const std::function<int()>& showBox);

    // The exit command: true when the loop is to end now. While the settings dialog is open it is closed as by
    // OK (closeDialog) and the answer is false: the loop ends once the dialog's run has returned.
    bool ExitNow(bool dialogOpen, const std::function<void()>& closeDialog);
    // True when an exit command waits for the settings dialog's run to return.
    bool ExitPending() const { return m_exitPending; }

private:
    AgentCore& m_core;
    ArmTimer m_arm;
    bool m_inTick = false; // a change seen inside a tick is followed by the timer armed after it
    bool m_exitPending = false;
};
