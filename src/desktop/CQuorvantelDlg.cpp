#include "desktop/CQuorvantelDlg.h"

#include "core/dialogs/DialogLayouts.h"
#include "desktop/CChildDlg.h"
#include "desktop/DrawnIcons.h"
#include "desktop/CAboutDlg.h"
#include "desktop/DialogMetrics.h"

#include <QPushButton>

#include <utility>

CQuorvantelDlg::CQuorvantelDlg(Platform& platform, std::string configurationPath, QWidget* parent)
    : QDialog(parent), m_platform(platform), m_configurationPath(std::move(configurationPath)),
      m_icon(ApplicationIcon()) {
    const DialogMetrics metrics;
    setWindowFlag(Qt::Tool); // no taskbar entry
    metrics.SizeDialog(this, kLauncherDialogLayout);
    metrics.DrawControls(this, kLauncherDialogLayout);
    connect(findChild<QPushButton*>(QStringLiteral("control1")), &QPushButton::clicked, this, &QDialog::accept);
    connect(findChild<QPushButton*>(QStringLiteral("control2")), &QPushButton::clicked, this, &QDialog::reject);
}

int CQuorvantelDlg::RunModal() {
    // Linux has no system menu to extend, so the about command is reached only through OnSysCommand.
    setWindowIcon(m_icon);
    int result = 0;
    {
        CChildDlg agent(m_platform, m_configurationPath);
        if (m_agentObserver) {
            m_agentObserver(&agent);
        }
        result = agent.RunModal();
        if (m_agentObserver) {
            m_agentObserver(nullptr);
        }
    }
    setResult(result);
    return result;
}

bool CQuorvantelDlg::OnSysCommand(int commandId) {
    if ((commandId & 0xFFF0) != kAboutCommand) {
        return false;
    }
    CAboutDlg about(this);
    about.exec();
    return true;
}
