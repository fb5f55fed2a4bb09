#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "headless/AgentMode.h"

class EventSource;
class Platform;
class SignalWatcher;

// The application object: prepares the network layer and the configuration path, then runs the agent as
// the program's loop until it ends. With a display the desktop module runs the tray agent (and owns Qt's
// application object and event loop); otherwise, or when the module cannot run, the headless agent runs here
// on a poll loop.
class CQuorvantelApp {
public:
    CQuorvantelApp(int& argc, char** argv);
    ~CQuorvantelApp();
    CQuorvantelApp(const CQuorvantelApp&) = delete;
    CQuorvantelApp& operator=(const CQuorvantelApp&) = delete;

    // Start-up and exit; returns the process exit code (1 when another agent runs in this folder).
    int Run();

    AgentMode Mode() const { return m_mode; }

private:
    // Takes the working folder's lock; false, after one line naming the agent that holds it, when another
    // agent runs here.
    bool LockWorkingFolder();
    // Hands the run to the desktop module when a display may exist; true when the tray agent ran.
    bool RunDesktop();
    // The start-up steps once the loop the agent runs in exists: stop signals, network check, platform and
    // configuration path. Returns nullptr, or the failure text to show.
    const char* StartUp(EventSource& events);
    // Releases the stop-signal watcher and the platform.
    void ShutDown();
    // Always false: when it returns the headless agent has ended (or never started) and only exit remains.
    bool InitInstance();
    // Frees the configuration path; returns the exit code.
    int ExitInstance();

    int& m_argc;
    char** m_argv;
    AgentMode m_mode = AgentMode::Headless;
    std::unique_ptr<SignalWatcher> m_stopSignals;
    std::unique_ptr<Platform> m_platform;
    std::optional<std::string> m_configurationPath;
    int m_exitCode = 0;
    std::function<void()> m_reloadAgent; // the running agent's settings reload; empty while none runs
};
