#pragma once

#include <memory>
#include <string>

#include "core/agent/AgentCore.h"
#include "core/agent/AgentDriver.h"
#include "core/net/CommandListener.h"
#include "platform/EventSource.h"

class Platform;
class Sockets;

// The agent core on a face's event source, with the command listener: the front both modes share. One timer
// wakes the core only when a tick can change something; a change made outside a tick (a refresh from the
// port or a dialog, the settings dialog opening or closing) wakes it at once. The mode's face shows the status
// and the warning.
class AgentLoop final : private AgentPresenter {
public:
    AgentLoop(Platform& platform, const std::string& configurationPath, AgentPresenter& face, EventSource& events,
              Sockets& sockets);
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
    void Announce(const std::string& text) override;
    void TellForecast(const std::string& text) override;

    AgentPresenter& m_face;
    AgentCore m_core;
    CommandListener m_listener;
    // A minute's first tick must not come before the minute: the timer never fires early.
    std::unique_ptr<EventTimer> m_timer;
    AgentDriver m_driver; // after the timer it arms
};
