#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <array>
#include <memory>
#include <string>

#include "core/agent/AgentLoop.h"
#include "desktop/DesktopNotifier.h"
#include "desktop/DrawnIcons.h"
#include "desktop/CSettingDlg.h"
#include "desktop/QtEventSource.h"
#include "platform/Sockets.h"

class Platform;

// The tray agent: the notification-area icon whose picture and tooltip follow the main drive, its menu
// (settings, exit), the settings dialog on double click, and the low-capacity warning box: the face of the
// agent loop, which ticks with the automatic refresh. It has no window of its own, so no key can reach it and
// end it.
class CChildDlg final : public QObject, private AgentPresenter {
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
    // Reads the settings file again as at start (SIGHUP); an open settings dialog shows what was read, and the
    // port stays until a restart.
    void ReloadSettings() { m_loop.ReloadSettings(); }

    const TrayAgentRules& Rules() const { return m_loop.Rules(); }
    QSystemTrayIcon& TrayIcon() { return m_tray; }
    const QMenu& ContextMenu() const { return m_menu; }
    CSettingDlg& SettingDialog() { return m_settingDlg; }

private:
    void OnInitDialog();
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
    // Hands the tray the tooltip and the picture of the level.
    void ShowStatus(const std::string& tipText, int level) override;
    // Shows the warning box modally; 1 when closed with OK, 0 when it could not be shown.
    int ShowWarning(const std::string& text) override;
    // A drive's limit state as a notification of the desktop, else as the tray's message, else on stderr (no
    // window, no focus taken); clicking it opens the settings.
    void Announce(const std::string& text) override;
    void AnnounceInTray(const QString& text);
    void ShowIconWhenTrayAvailable();
    // One line on stderr when no tray has come within kTrayNoticeMs of the start.
    void ReportMissingTray();
    void EndLoop();

    QtEventSource m_events;
    std::unique_ptr<Sockets> m_sockets;
    AgentLoop m_loop; // after the event source and the sockets it runs on
    CSettingDlg m_settingDlg;
    std::array<QIcon, kLevelCount> m_levelIcons;
    QMenu m_menu;
    QSystemTrayIcon m_tray;
    QTimer m_trayPoll; // waits for a tray that is not there yet (a session still starting)
    DesktopNotifier m_notifier;
};
