#include "agent/CChildDlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>

namespace {
constexpr int kTickMs = 100;
constexpr int kTrayPollMs = 2000;
const char* const kWarningCaption = "残容量警告！！";
} // namespace

CChildDlg::CChildDlg(Platform& platform, const std::string& configurationPath, QObject* parent)
    : QObject(parent), m_monitor(platform, configurationPath), m_rules(m_monitor), m_listener(m_monitor),
      m_settingDlg(m_monitor) {
    for (int level = 0; level < kLevelCount; ++level) {
        m_levelIcons[static_cast<std::size_t>(level)] = LevelIcon(level);
    }

    QAction* settings = m_menu.addAction(QStringLiteral("設定(&S)"));
    QAction* exit = m_menu.addAction(QStringLiteral("終了(&C)"));
    connect(settings, &QAction::triggered, this, &CChildDlg::OnSettingsCommand);
    connect(exit, &QAction::triggered, this, &CChildDlg::OnExitCommand);
    m_tray.setContextMenu(&m_menu);
    connect(&m_tray, &QSystemTrayIcon::activated, this, &CChildDlg::OnTrayActivated);

    m_tickTimer.setInterval(kTickMs);
    connect(&m_tickTimer, &QTimer::timeout, this, &CChildDlg::OnTick);
    m_standInTimer.setInterval(kTickMs);
    connect(&m_standInTimer, &QTimer::timeout, this, &CChildDlg::OnTick);
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
    m_tickTimer.start();
    m_rules.Initialise([this](int port) { m_listener.StartListening(port); });
    UpdateTray();
    ShowIconWhenTrayAvailable();
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

void CChildDlg::OnTick() {
    // While a warning box is up, this runs nested inside the tick that showed it (from the stand-in timer);
    // the rules keep their state consistent across that, and their guard flag keeps a second box away.
    m_rules.Tick([this](const std::string& text) { return ShowWarningBox(text); });
    UpdateTray();
}

void CChildDlg::UpdateTray() {
    if (m_rules.TipText() != m_shownTip) {
        m_shownTip = m_rules.TipText();
        m_tray.setToolTip(QString::fromStdString(m_shownTip));
    }
    int level = m_rules.Level();
    if (level < 0 || level >= kLevelCount) {
        level = 0;
    }
    if (level != m_shownLevel) {
        m_shownLevel = level;
        m_tray.setIcon(m_levelIcons[static_cast<std::size_t>(level)]);
    }
}

int CChildDlg::ShowWarningBox(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kWarningCaption), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowModality(Qt::WindowModal); // blocks no other window: the tray and open dialogs keep working
    // The tick timer is not delivered again while its own handler runs, and the box runs inside that
    // handler: a stand-in keeps the ticks (tooltip, picture, automatic refreshes) going meanwhile.
    const bool outermost = !m_standInTimer.isActive();
    if (outermost) {
        m_standInTimer.start();
    }
    box.show();
    box.raise();
    box.activateWindow();
    const int result = box.exec();
    if (outermost) {
        m_standInTimer.stop();
    }
    return result == QMessageBox::Ok ? 1 : 0;
}

void CChildDlg::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    // A double click also delivers a single click (Trigger) first: only the double click acts.
    if (reason == QSystemTrayIcon::DoubleClick) {
        OnSettingsCommand();
    }
}

void CChildDlg::OnSettingsCommand() {
    if (!m_settingDlg.IsWindowOpen()) {
        // Modal to nothing but itself, as a dialog owned by the hidden agent: an application-modal dialog
        // would block the tray icon, and with it the exit command that must reach an open dialog. Set before
        // every run, as each run resets it.
        m_settingDlg.setWindowModality(Qt::WindowModal);
        m_settingDlg.RunModal();
    }
    if (m_exitPending) {
        EndLoop(); // the exit command waited for this dialog to close
    }
}

void CChildDlg::OnExitCommand() {
    if (m_settingDlg.IsWindowOpen()) {
        // The loop ends when the dialog's run returns; a dialog whose values fail validation stays open
        // until the user closes it.
        m_exitPending = true;
        m_settingDlg.CloseForExit();
        return;
    }
    EndLoop();
}

void CChildDlg::EndLoop() {
    m_tray.hide();
    QCoreApplication::exit(0);
}
