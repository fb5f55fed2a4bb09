#include "core/agent/AgentLoop.h"

AgentLoop::AgentLoop(Platform& platform, const std::string& configurationPath, AgentPresenter& face,
                     EventSource& events, Sockets& sockets)
    : m_face(face), m_core(platform, configurationPath, *this), m_listener(m_core.GetMonitor(), events, sockets),
      m_timer(events.CreateTimer([this] { m_driver.OnTimer(); })),
      m_driver(m_core, [this](std::chrono::milliseconds delay) { m_timer->Start(delay); }) {}

AgentLoop::~AgentLoop() = default;

void AgentLoop::Start() {
    m_driver.Start([this](int port, const std::string& address) { m_listener.StartListening(port, address); });
}

void AgentLoop::ReloadSettings() {
    m_driver.ReloadSettings();
}

void AgentLoop::ShowStatus(const std::string& tipText, int level) {
    m_face.ShowStatus(tipText, level);
}

int AgentLoop::ShowWarning(const std::string& text) {
    return m_driver.RunWarningBox([this, &text] { return m_face.ShowWarning(text); });
}

void AgentLoop::Announce(const std::string& text) {
    m_face.Announce(text);
}

void AgentLoop::TellForecast(const std::string& text) {
    m_face.TellForecast(text);
}
