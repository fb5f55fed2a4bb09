#include "desktop/CChildDlg.h"

#include "core/diagnostics/FixedTexts.h"
#include "core/diagnostics/Report.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>

#include <string>

namespace {
constexpr int kTrayPollMs = 2000;
constexpr int kTrayNoticeMs = 10000;
} // namespace

CChildDlg::CChildDlg(Platform& platform, const std::string& configurationPath, QObject* parent)
    : QObject(parent), m_sockets(CreateSockets()), m_loop(platform, configurationPath, *this, m_events, *m_sockets),
      m_settingDlg(m_loop.GetMonitor()) {
    for (int level = 0; level < kLevelCount; ++level) {
        m_levelIcons[static_cast<std::size_t>(level)] = LevelIcon(level);
    }

    QAction* settings = m_menu.addAction(QStringLiteral("設定(&S)"));
    QAction* exit = m_menu.addAction(QStringLiteral("終了(&C)"));
    connect(settings, &QAction::triggered, this, &CChildDlg::OnSettingsCommand);
    connect(exit, &QAction::triggered, this, &CChildDlg::OnExitCommand);
    m_tray.setContextMenu(&m_menu);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &CChildDlg::OnTrayActivated);
    connect(&m_tray, &QSystemTrayIcon::messageClicked, this, &CChildDlg::OnSettingsCommand);
    // Queued: a text of the first measurement finds the tray shown by then.
    connect(&m_notifier, &DesktopNotifier::Undelivered, this, &CChildDlg::AnnounceInTray, Qt::QueuedConnection);
    // Queued: the dialog's modal loop must not run inside the bus's dispatch of the click.
    connect(&m_notifier, &DesktopNotifier::Activated, this, &CChildDlg::OnSettingsCommand, Qt::QueuedConnection);

    m_trayPoll.setInterval(kTrayPollMs);
    connect(&m_trayPoll, &QTimer::timeout, this, &CChildDlg::ShowIconWhenTrayAvailable);
}

CChildDlg::~CChildDlg() {
    m_tray.hide();
}

int CChildDlg::RunModal() {
    OnInitDialog();
    return QCoreApplication::exec();
}

void CChildDlg::OnInitDialog() {
    m_tray.setIcon(m_levelIcons[0]);
    m_loop.Start();
    ShowIconWhenTrayAvailable();
    QTimer::singleShot(kTrayNoticeMs, this, &CChildDlg::ReportMissingTray);
}

void CChildDlg::ReportMissingTray() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    // GNOME is the common desktop without a tray of its own; the others named have one.
    Report("no system tray after " + std::to_string(kTrayNoticeMs / 1000) +
           " s; the icon appears once there is one (GNOME needs the extension \"AppIndicator and "
           "KStatusNotifierItem Support\", package gnome-shell-extension-appindicator; KDE Plasma, Xfce, LXQt, "
           "MATE and Cinnamon have a tray)");
}

void CChildDlg::ShowIconWhenTrayAvailable() {
    // A session that is still starting has no tray yet: keep the agent running and show the icon once
    // the tray is there. Never fall back to headless: the tray may come at any time.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!m_trayPoll.isActive()) {
            m_trayPoll.start();
        }
        return;
    }
    m_trayPoll.stop();
    m_tray.show();
}

void CChildDlg::ShowStatus(const std::string& tipText, int level) {
    m_tray.setToolTip(QString::fromStdString(tipText));
    m_tray.setIcon(m_levelIcons[static_cast<std::size_t>(level >= 0 && level < kLevelCount ? level : 0)]);
}

int CChildDlg::ShowWarning(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kWarningCaption), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowModality(Qt::WindowModal); // blocks no other window: the tray and open dialogs keep working
    box.show();
    box.raise();
    box.activateWindow();
    return box.exec() == QMessageBox::Ok ? 1 : 0;
}

void CChildDlg::Announce(const std::string& text) {
    m_notifier.Notify(QString::fromStdString(text));
}

void CChildDlg::AnnounceInTray(const QString& text) {
    if (!m_tray.isVisible()) {
        // No tray to show it in yet: the line on stderr is all the user can get.
        Report(text.toStdString());
        return;
    }
    m_tray.showMessage(QStringLiteral("tarvellin"), text, QSystemTrayIcon::Warning);
}

void CChildDlg::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    // A double click also delivers a single click (Trigger) first: only the double click acts.
    if (reason == QSystemTrayIcon::DoubleClick) {
        OnSettingsCommand();
    }
}

void CChildDlg::OnSettingsCommand() {
    if (!m_settingDlg.IsWindowOpen()) {
        m_settingDlg.RunModal();
    }
    if (m_loop.Driver().ExitPending()) {
        EndLoop(); // the exit command waited for this dialog to close
    }
}

void CChildDlg::OnExitCommand() {
    if (m_loop.Driver().ExitNow(m_settingDlg.IsWindowOpen(), [this] { m_settingDlg.CloseForExit(); })) {
        EndLoop();
    }
}

void CChildDlg::EndLoop() {
    m_tray.hide();
    QCoreApplication::exit(0);
}
