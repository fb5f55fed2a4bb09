#include "desktop/CQuorvantelDlg.h"

#include "desktop/CChildDlg.h"
#include "desktop/DrawnIcons.h"
#include "desktop/CAboutDlg.h"
#include "desktop/DialogMetrics.h"

#include <QLabel>
#include <QPushButton>

#include <utility>

CQuorvantelDlg::CQuorvantelDlg(Platform& platform, std::string configurationPath, QWidget* parent)
    : QDialog(parent), m_platform(platform), m_configurationPath(std::move(configurationPath)),
      m_icon(ApplicationIcon()) {
    const DialogMetrics metrics;
    setWindowTitle(QStringLiteral("Quorvantel"));
    setWindowFlag(Qt::Tool); // no taskbar entry
    metrics.SizeDialog(this, 319, 200);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    metrics.Place(ok, 260, 7, 50, 14);
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    metrics.Place(cancel, 260, 23, 50, 14);
    auto* placeholder = new QLabel(QStringLiteral("TODO: ﾀﾞｲｱﾛｸﾞのｺﾝﾄﾛｰﾙをここに配置"), this);
    metrics.Place(placeholder, 50, 90, 200, 8);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
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
