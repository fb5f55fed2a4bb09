#include "core/agent/AgentDriver.h"

#include <algorithm>
#include <utility>

AgentDriver::AgentDriver(AgentCore& core, ArmTimer arm) : m_core(core), m_arm(std::move(arm)) {
    m_core.GetMonitor().SetChangeObserver([this] {
        if (!m_inTick) {
            m_arm(std::chrono::milliseconds(0));
        }
    });
}

AgentDriver::~AgentDriver() {
    m_core.GetMonitor().SetChangeObserver({});
}

void AgentDriver::Start(const ListenerStart& startListening) {
    m_core.Start(startListening);
    // The first tick turns the start's tooltip into the running one.
    m_arm(AgentCore::kTickInterval);
}

void AgentDriver::ReloadSettings() {
    m_core.ReloadSettings();
    // As after the start: an automatic refresh due now runs at the next tick.
    m_arm(std::min(m_core.NextTickDelay(), AgentCore::kTickInterval));
}

void AgentDriver::OnTimer() {
    m_inTick = true;
    m_core.Tick();
    m_inTick = false;
    m_arm(m_core.NextTickDelay());
}

int AgentDriver::RunWarningBox(const std::function<int()>& showBox) {
    // The box runs a loop nested in the tick: the ticks and the changes it sees go on meanwhile, the first one
    // a tick's length after the box came up, as if the box were not there. A timer restarted here fires inside
    // that loop, as a timer whose handler is running would not.
    const bool inTick = std::exchange(m_inTick, false);
    m_arm(AgentCore::kTickInterval);
    const int result = showBox();
    m_inTick = inTick;
    return result;
}

bool AgentDriver::ExitNow(bool dialogOpen, const std::function<void()>& closeDialog) {
    if (!dialogOpen) {
        return true;
    }
    // The loop ends when the dialog's run returns; a dialog whose values fail validation stays open until the
    // user closes it.
    m_exitPending = true;
    closeDialog();
    return false;
}
