#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// A private X display (Xvfb), with or without a tray (trayer), started through scripts/with-desktop and
// torn down with it. Also runs the X tools the tests look and click with.
class DesktopSession {
public:
    // Starts the display; Display() is empty when it could not be started (tools missing).
    explicit DesktopSession(bool withTray = true);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    const std::string& Display() const { return m_display; }
    const std::string& RuntimeDir() const { return m_runtimeDir; }

    // Runs a shell command on this display; its standard output, or nullopt when it failed.
    std::optional<std::string> Run(const std::string& command) const;
    // Starts trayer on this display (for a session whose tray comes late); stopped with the session.
    bool StartTray();
    // Centre of the agent's icon in the tray, when an icon has docked there.
    std::optional<std::pair<int, int>> IconCentre() const;
    // Ids of the visible windows whose name matches a regular expression.
    int CountWindows(const std::string& nameRegex) const;
    // Saves a part of the screen as a PNG file; false on failure.
    bool Screenshot(const std::string& path, int x, int y, int width, int height) const;

private:
    pid_t m_group = -1;
    pid_t m_trayer = -1;
    std::string m_display;
    std::string m_runtimeDir;
    std::string m_infoFile;
};

// True when the tools of the desktop tests are installed.
bool DesktopToolsInstalled();
