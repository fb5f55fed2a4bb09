#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <array>
#include <string>

#include "agent/DrawnIcons.h"
#include "agent/TrayAgentRules.h"
#include "capacity/Monitor.h"
#include "dialogs/CSettingDlg.h"
#include "net/CommandListener.h"

class Platform;

// The tray agent: the notification-area icon whose picture and tooltip follow the main drive, its menu
// (settings, exit), the settings dialog on double click, the 100 ms tick with the automatic refresh and the
// low-capacity warning box. It has no window of its own, so no key can reach it and end it.
class CChildDlg final : public QObject {
    Q_OBJECT
public:
    CChildDlg(Platform& platform, const std::string& configurationPath, QObject* parent = nullptr);
    // Removes the icon from the tray.
    ~CChildDlg() override;
    CChildDlg(const CChildDlg&) = delete;
    CChildDlg& operator=(const CChildDlg&) = delete;

    // Initialises the agent and runs the program's loop until the exit command (result 0) or a stop signal.
    int RunModal();

    // The settings command and the double click: opens the settings dialog unless it is open already.
    void OnSettingsCommand();
    // The exit command: closes open dialogs as by OK, then ends the loop; nothing is saved.
    void OnExitCommand();

    const TrayAgentRules& Rules() const { return m_rules; }
    QSystemTrayIcon& TrayIcon() { return m_tray; }
    const QMenu& ContextMenu() const { return m_menu; }
    CSettingDlg& SettingDialog() { return m_settingDlg; }

private:
    void OnInitDialog();
    void OnTick();
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
    // Shows the warning box modally; 1 when closed with OK, 0 when it could not be shown.
    int ShowWarningBox(const std::string& text);
    // Hands the tray the rules' tooltip and picture, each only when it differs from what the tray shows.
    void UpdateTray();
    void ShowIconWhenTrayAvailable();
    void EndLoop();

    Monitor m_monitor;
    TrayAgentRules m_rules;
    CommandListener m_listener;
    CSettingDlg m_settingDlg;
    std::array<QIcon, kLevelCount> m_levelIcons;
    QMenu m_menu;
    QSystemTrayIcon m_tray;
    QTimer m_tickTimer;
    QTimer m_standInTimer; // ticks while a warning box holds the tick timer's handler
    QTimer m_trayPoll;     // waits for a tray that is not there yet (a session still starting)
    std::string m_shownTip;
    int m_shownLevel = -1;
    bool m_exitPending = false;
};
