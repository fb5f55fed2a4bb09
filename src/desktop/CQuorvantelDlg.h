#pragma once

#include <QDialog>
#include <QIcon>

#include <functional>
#include <string>
#include <utility>

class CChildDlg;
class Platform;

// The launcher: a dialog that is never shown. Its initialisation runs the tray agent as the program's
// loop and ends with the agent's result.
class CQuorvantelDlg final : public QDialog {
    Q_OBJECT
public:
    // About command id of the launcher's system menu; ids 16 to 31 all open the about box.
    static constexpr int kAboutCommand = 0x0010;

    CQuorvantelDlg(Platform& platform, std::string configurationPath, QWidget* parent = nullptr);

    // Called with the tray agent once it exists and with nullptr before it goes.
    void SetAgentObserver(std::function<void(CChildDlg* agent)> observer) { m_agentObserver = std::move(observer); }
    // Initialises the launcher, which runs the tray agent until it ends; returns the agent's result.
    int RunModal();
    // A command of the launcher's system menu: ids 16 to 31 open the about box; returns true when handled.
    bool OnSysCommand(int commandId);

private:
    Platform& m_platform;
    std::string m_configurationPath;
    QIcon m_icon;
    std::function<void(CChildDlg* agent)> m_agentObserver;
};
