#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/AgentMode.h"

class Platform;
class QCoreApplication;

// The application object: prepares the network layer and the configuration path, then runs the agent as
// the program's loop (the tray agent in desktop mode, the headless agent otherwise) until it ends.
class CQuorvantelApp {
public:
    CQuorvantelApp(int& argc, char** argv);
    ~CQuorvantelApp();
    CQuorvantelApp(const CQuorvantelApp&) = delete;
    CQuorvantelApp& operator=(const CQuorvantelApp&) = delete;

    // Start-up and exit; returns the process exit code.
    int Run();

    AgentMode Mode() const { return m_mode; }

private:
    // Always false: when it returns the agent has ended (or never started) and only exit remains.
    bool InitInstance();
    // Frees the configuration path; returns the exit code.
    int ExitInstance();
    // A start-up failure message: a box with OK in desktop mode, one stderr line otherwise.
    void ShowStartupMessage(const char* utf8Text) const;

    AgentMode m_mode;
    std::unique_ptr<QCoreApplication> m_qtApp;
    std::unique_ptr<Platform> m_platform;
    std::optional<std::string> m_configurationPath;
    int m_exitCode = 0;
};

// True when the network layer can make a socket (the listener needs one).
bool NetworkLayerAvailable();
