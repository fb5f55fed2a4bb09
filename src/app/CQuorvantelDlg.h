#pragma once

#include <QDialog>
#include <QIcon>

#include <string>

class Platform;

// The launcher: a dialog that is never shown. Its initialisation runs the tray agent as the program's
// loop and ends with the agent's result.
class CQuorvantelDlg final : public QDialog {
    Q_OBJECT
public:
    // About command id of the launcher's system menu; ids 16 to 31 all open the about box.
    static constexpr int kAboutCommand = 0x0010;

    CQuorvantelDlg(Platform& platform, std::string configurationPath, QWidget* parent = nullptr);

    // Initialises the launcher, which runs the tray agent until it ends; returns the agent's result.
    int RunModal();
    // A command of the launcher's system menu: ids 16 to 31 open the about box; returns true when handled.
    bool OnSysCommand(int commandId);

private:
    Platform& m_platform;
    std::string m_configurationPath;
    QIcon m_icon;
};
