#include "headless/AgentLoop.h"

AgentLoop::AgentLoop(Platform& platform, const std::string& configurationPath, AgentPresenter& face, QObject* parent)
    : QObject(parent), m_face(face), m_core(platform, configurationPath, *this), m_listener(m_core.GetMonitor()),
      m_driver(m_core, [this](std::chrono::milliseconds delay) { m_timer.start(delay); }) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // a minute's first tick must not come before the minute
    connect(&m_timer, &QTimer::timeout, this, [this] { m_driver.OnTimer(); });
}

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
