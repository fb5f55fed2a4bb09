#include "agent/AgentLoop.h"

#include <algorithm>
#include <utility>

AgentLoop::AgentLoop(Platform& platform, const std::string& configurationPath, AgentPresenter& face, QObject* parent)
    : QObject(parent), m_face(face), m_core(platform, configurationPath, *this), m_listener(m_core.GetMonitor()) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // a minute's first tick must not come before the minute
    connect(&m_timer, &QTimer::timeout, this, &AgentLoop::OnTimer);
    m_core.GetMonitor().SetChangeObserver([this] {
        if (!m_inTick) {
            Arm(std::chrono::milliseconds(0));
        }
    });
}

AgentLoop::~AgentLoop() {
    m_core.GetMonitor().SetChangeObserver({});
}

void AgentLoop::Start() {
    m_core.Start([this](int port, const std::string& address) { m_listener.StartListening(port, address); });
    // The first tick turns the start's tooltip into the running one.
    Arm(AgentCore::kTickInterval);
}

void AgentLoop::ReloadSettings() {
    m_core.ReloadSettings();
    // As after the start: an automatic refresh due now runs at the next tick.
    Arm(std::min(m_core.NextTickDelay(), AgentCore::kTickInterval));
}

void AgentLoop::Arm(std::chrono::milliseconds delay) {
    m_timer.start(delay);
}

void AgentLoop::OnTimer() {
    m_inTick = true;
    m_core.Tick();
    m_inTick = false;
    Arm(m_core.NextTickDelay());
}

void AgentLoop::ShowStatus(const std::string& tipText, int level) {
    m_face.ShowStatus(tipText, level);
}

int AgentLoop::ShowWarning(const std::string& text) {
    // The box runs a loop nested in the tick: the ticks and the changes it sees go on meanwhile, the first one
    // a tick's length after the box came up, as if the box were not there. The timer restarted here fires
    // inside that loop, as a timer whose handler is running would not.
    const bool inTick = std::exchange(m_inTick, false);
    Arm(AgentCore::kTickInterval);
    const int result = m_face.ShowWarning(text);
    m_inTick = inTick;
    return result;
}
