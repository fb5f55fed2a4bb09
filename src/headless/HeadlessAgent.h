#pragma once

#include <string>

#include "core/agent/AgentLoop.h"

class EventSource;
class Platform;
class Sockets;

// The tray agent without any window: settings load, first measurement, the ticks with the automatic refresh,
// status files, settings save and the command listener. A warning that cannot be shown as a box goes to
// stderr as one line. Runs on the program's poll loop.
class HeadlessAgent final : private AgentPresenter {
public:
    HeadlessAgent(Platform& platform, const std::string& configurationPath, EventSource& events, Sockets& sockets);
    ~HeadlessAgent() override;
    HeadlessAgent(const HeadlessAgent&) = delete;
    HeadlessAgent& operator=(const HeadlessAgent&) = delete;

    // Loads the settings, takes the first measurement and starts the ticks, then writes the start line; the
    // event loop does the rest.
    void Start();
    // Reads the settings file again as at start (SIGHUP); the port stays until a restart.
    void ReloadSettings() { m_loop.ReloadSettings(); }

    const TrayAgentRules& Rules() const { return m_loop.Rules(); }

private:
    void ShowStatus(const std::string& /*tipText*/, int /*level*/) override {}
    int ShowWarning(const std::string& text) override;
    void Announce(const std::string& text) override;
    void TellForecast(const std::string& text) override;

    AgentLoop m_loop;
};

// Writes a warning text as one line to stderr (line breaks become blanks); returns 1, as a box closed with OK.
int WriteWarningLine(const std::string& text);
