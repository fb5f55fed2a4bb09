#pragma once

#include <QObject>
#include <QTimer>

#include <string>

#include "agent/TrayAgentRules.h"
#include "capacity/Monitor.h"

class CommandListener;
class Platform;

// The tray agent without any window: settings load, first measurement, the 100 ms tick with the automatic
// refresh, status files, settings save and the command listener. A warning that cannot be shown as a box
// goes to stderr as one line. Runs on the event loop of a QCoreApplication.
class HeadlessAgent final : public QObject {
    Q_OBJECT
public:
    HeadlessAgent(Platform& platform, const std::string& configurationPath, QObject* parent = nullptr);
    ~HeadlessAgent() override;
    HeadlessAgent(const HeadlessAgent&) = delete;
    HeadlessAgent& operator=(const HeadlessAgent&) = delete;

    // Loads the settings, takes the first measurement and starts the ticks; the event loop does the rest.
    void Start();

    const TrayAgentRules& Rules() const { return m_rules; }

private:
    void OnTick();

    Monitor m_monitor;
    TrayAgentRules m_rules;
    CommandListener* m_listener = nullptr;
    QTimer m_timer;
};

// Writes a warning text as one line to stderr (line breaks become blanks); returns 1, as a box closed with OK.
int WriteWarningLine(const std::string& text);
