#pragma once

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/agent/AgentCore.h"
#include "core/agent/AgentDriver.h"
#include "core/dialogs/DriveDialogModel.h"
#include "core/dialogs/NetworkDialogModel.h"
#include "core/dialogs/SettingDialogModel.h"

class CommandListener;
class Platform;
class Sockets;
class Win32Dialogs;
class WindowEventSource;

// The tray agent: a hidden window (dialog 129) that owns the notification-area icon, whose picture and
// tooltip follow the main drive; its menu (settings, exit), the settings dialog on double click, the
// low-capacity warning box, the command port's socket events, and the one timer that drives the agent core.
class CChildDlg final : private AgentPresenter {
public:
    // The callback message of the notification-area icon.
    static constexpr UINT kTrayCallback = WM_USER + 100;
    // The timer of the agent core's ticks.
    static constexpr UINT_PTR kTickTimer = 1;
    // The timer that adds the icon again while the notification area is not there.
    static constexpr UINT_PTR kTrayRetryTimer = 2;
    static constexpr UINT kTrayRetryMs = 2000;
    // The announcements kept for the icon while the notification area stays away, the newest.
    static constexpr std::size_t kMostWaitingAnnouncements = 16;

    CChildDlg(HINSTANCE instance, Platform& platform, const std::string& configurationPath);
    // Removes the icon and closes the command port.
    ~CChildDlg() override;
    CChildDlg(const CChildDlg&) = delete;
    CChildDlg& operator=(const CChildDlg&) = delete;

    // Runs the hidden window modally, which starts the agent; its loop is the program's message loop until the
    // exit command. Returns IDOK, or -1 when the window cannot be made.
    INT_PTR RunModal();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnTimer(UINT_PTR id);
    void OnTrayCallback(UINT mouseMessage);
    // The settings command and the double click: opens the settings dialog unless it is open already.
    void OnSettingsCommand();
    // The exit command: closes open dialogs as by OK, then ends the loop; nothing is saved.
    void OnExitCommand();
    void ShowTrayMenu();
    void Arm(std::chrono::milliseconds delay);
    // Adds the icon; while the notification area refuses it, tries again every kTrayRetryMs.
    void AddTrayIcon();
    void RemoveTrayIcon();
    // Loads the level icons at the size the notification area shows them at the window's DPI, unless they
    // have that size already.
    void LoadLevelIcons();
    void DestroyLevelIcons();
    // Hands the icon the tooltip and the picture of the level.
    void ShowStatus(const std::string& tipText, int level) override;
    // Shows the warning box; 1 when closed with OK, 0 when it could not be shown.
    int ShowWarning(const std::string& text) override;
    // A drive's limit state as the icon's balloon (no window, no focus taken); clicking it opens the settings.
    // Told before the icon is there (the start's first measurement comes before the icon is added), it waits
    // for the icon.
    void Announce(const std::string& text) override;
    void ShowBalloon(const std::string& text);
    void EndLoop();

    HINSTANCE m_instance;
    HWND m_window = nullptr;
    UINT m_taskbarCreated = 0;
    AgentCore m_core;
    NetworkDialogModel m_networkModel;
    DriveDialogModel m_driveModel;
    SettingDialogModel m_settingModel;
#ifdef TARVELLIN_WITH_DIALOG_VIEWS
    std::unique_ptr<Win32Dialogs> m_dialogs; // the settings dialogs' views, made with the window
#endif
    // The command port, on the window's messages: made with the window.
    std::unique_ptr<Sockets> m_sockets;
    std::unique_ptr<WindowEventSource> m_events;
    std::unique_ptr<CommandListener> m_listener;
    std::array<HICON, 8> m_levelIcons{};
    int m_iconSide = 0;           // of m_levelIcons, in pixels
    std::size_t m_shownLevel = 0; // the level whose icon the area shows
    NOTIFYICONDATAW m_iconData{};
    bool m_iconAdded = false;
    std::vector<std::string> m_waitingAnnouncements; // told while the icon was not there, oldest first
    AgentDriver m_driver;
};
