#pragma once

#include <QObject>
#include <QTimer>

#include <string>

#include "core/agent/AgentCore.h"
#include "core/agent/AgentDriver.h"
#include "headless/CommandListener.h"

class Platform;

// The agent core on the Qt event loop, with the command listener: the front both modes share. One timer
// wakes the core only when a tick can change something; a change made outside a tick (a refresh from the
// port or a dialog, the settings dialog opening or closing) wakes it at once. The mode's face shows the status
// and the warning.
class AgentLoop final : public QObject, private AgentPresenter {
    Q_OBJECT
public:
    AgentLoop(Platform& platform, const std::string& configurationPath, AgentPresenter& face,
              QObject* parent = nullptr);
    ~AgentLoop() override;
    AgentLoop(const AgentLoop&) = delete;
    AgentLoop& operator=(const AgentLoop&) = delete;

    Monitor& GetMonitor() { return m_core.GetMonitor(); }
    const TrayAgentRules& Rules() const { return m_core.Rules(); }
    CommandListener& Listener() { return m_listener; }
    AgentDriver& Driver() { return m_driver; }

    // Loads the settings (the listener starts on its way), takes the first measurement and starts the ticks.
    void Start();
    // Reads the settings file again as at start; the listener keeps its port until a restart.
    void ReloadSettings();

private:
    void ShowStatus(const std::string& tipText, int level) override;
    int ShowWarning(const std::string& text) override;

    AgentPresenter& m_face;
    AgentCore m_core;
    CommandListener m_listener;
    QTimer m_timer;
    AgentDriver m_driver; // after the timer it arms
};
