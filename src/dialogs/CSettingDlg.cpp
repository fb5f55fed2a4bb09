#include "dialogs/CSettingDlg.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/DataExchange.h"

namespace {

constexpr int kMaxDirectoryChars = 10;
constexpr int kMaxNokori = 1000000000;

} // namespace

CSettingDlg::CSettingDlg(Monitor& monitor, QWidget* parent)
    : KeyRoutingDialog(parent), m_monitor(monitor), m_driveDlg(monitor, this), m_netSet(this) {
    setObjectName(QStringLiteral("dialog131"));
    setWindowTitle(QStringLiteral("tarvellin Ver2.10"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // Blocks only the window it belongs to: the tray icon, and with it the exit command, stays reachable.
    setWindowModality(Qt::WindowModal);
    m_metrics.SizeDialog(this, 91, 207);

    auto button = [this](int id, const QString& text, int x, int y, int w, int h) {
        auto* control = new QPushButton(text, this);
        control->setObjectName(QStringLiteral("control%1").arg(id));
        control->setAutoDefault(false);
        m_metrics.Place(control, x, y, w, h);
        return control;
    };
    auto label = [this](int id, const QString& text, int x, int y, int w, int h) {
        auto* control = new QLabel(text, this);
        if (id != 0) {
            control->setObjectName(QStringLiteral("control%1").arg(id));
        }
        control->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_metrics.Place(control, x, y, w, h);
        return control;
    };
    auto edit = [this](int id, int x, int y, int w, int h) {
        auto* control = new QLineEdit(this);
        control->setObjectName(QStringLiteral("control%1").arg(id));
        m_metrics.Place(control, x, y, w, h);
        return control;
    };
    auto check = [this](int id, const QString& text, int x, int y, int w, int h) {
        auto* control = new QCheckBox(text, this);
        control->setObjectName(QStringLiteral("control%1").arg(id));
        m_metrics.Place(control, x, y, w, h);
        return control;
    };

    // Resource order, which is also the tab order.
    m_okButton = button(1000, QStringLiteral("&OK"), 39, 186, 18, 14);
    m_usedText = label(1002, QStringLiteral("Static"), 7, 7, 77, 8);
    m_totalText = label(1003, QStringLiteral("Static"), 7, 19, 77, 8);
    m_freeText = label(1004, QStringLiteral("Static"), 7, 31, 77, 8);
    m_pathEdit = edit(1005, 7, 46, 77, 14);
    m_autoCheck = check(1006, QStringLiteral("自動"), 7, 65, 27, 10);
    m_timeEdit = edit(1007, 38, 62, 28, 14);
    label(1010, QStringLiteral("分毎"), 69, 65, 15, 8);
    m_updateButton = button(1009, QStringLiteral("更新(&S)"), 58, 186, 26, 14);
    label(0, QStringLiteral("ドライブを調べる"), 23, 95, 48, 8);
    m_directoryEdit = edit(1011, 7, 93, 14, 12);
    m_gbyteCheck = check(1012, QStringLiteral("GByte表示にする"), 7, 80, 67, 10);
    m_networkCheck = check(1013, QStringLiteral("ネットワーク経由更新"), 7, 169, 77, 10);
    QLabel* portLabel = label(1015, QStringLiteral("ポート"), 65, 7, 19, 8);
    m_sparePortEdit = edit(1014, 56, 85, 28, 14);
    m_warningCheck = check(1016, QStringLiteral("残り容量警告表示"), 7, 141, 69, 10);
    m_nokoriEdit = edit(1018, 21, 153, 31, 14);
    label(0, QStringLiteral("MB以下で"), 53, 155, 31, 8);
    m_detailButton = button(1019, QStringLiteral("詳細"), 7, 186, 23, 14);
    m_otherDriveCheck = check(1020, QStringLiteral("他のドライブも調べる"), 7, 110, 77, 10);
    m_driveButton = button(1001, QStringLiteral("ドライブ設定"), 34, 122, 50, 14);

    // Created but never shown or enabled.
    for (QWidget* hidden : {static_cast<QWidget*>(portLabel), static_cast<QWidget*>(m_sparePortEdit)}) {
        hidden->setEnabled(false);
        hidden->setVisible(false);
    }

    connect(m_okButton, &QPushButton::clicked, this, &CSettingDlg::OnOk);
    connect(m_updateButton, &QPushButton::clicked, this, &CSettingDlg::OnUpdate);
    connect(m_driveButton, &QPushButton::clicked, this, [this] { m_driveDlg.RunModal(); });
    connect(m_detailButton, &QPushButton::clicked, this, &CSettingDlg::OnNetworkSettings);
    MonitorSettings& settings = m_monitor.Settings();
    connect(m_autoCheck, &QCheckBox::clicked, this, [this, &settings] { ApplyEnableRule(settings.Auto, m_timeEdit); });
    connect(m_networkCheck, &QCheckBox::clicked, this,
            [this, &settings] { ApplyEnableRule(settings.NetWork, m_detailButton); });
    connect(m_warningCheck, &QCheckBox::clicked, this,
            [this, &settings] { ApplyEnableRule(settings.Keikoku, m_nokoriEdit); });
    connect(m_otherDriveCheck, &QCheckBox::clicked, this,
            [this, &settings] { ApplyEnableRule(settings.OtherDrive, m_driveButton); });

    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow()) {
            child->installEventFilter(this);
        }
    }
}

CSettingDlg::~CSettingDlg() {
    if (m_running) {
        m_monitor.AttachDialog(nullptr);
    }
}

int CSettingDlg::RunModal() {
    if (m_running) {
        return Rejected;
    }
    m_running = true;
    MonitorSettings& settings = m_monitor.Settings();
    PushToControls();
    ApplyEnableRule(settings.Auto, m_timeEdit);
    ApplyEnableRule(settings.NetWork, m_detailButton);
    ApplyEnableRule(settings.Keikoku, m_nokoriEdit);
    ApplyEnableRule(settings.OtherDrive, m_driveButton);
    m_monitor.AttachDialog(this);
    m_monitor.ClearWarning();
    // Measures without building texts: the dialog keeps showing the texts of the last refresh.
    m_monitor.OpeningMeasurement();

    m_okButton->setFocus();
    const int result = exec();

    m_monitor.AttachDialog(nullptr);
    m_running = false;
    return result;
}

void CSettingDlg::CloseForExit() {
    if (!m_running) {
        return;
    }
    if (m_netSet.m_networkDialogOpen == 1) {
        m_netSet.FrameworkOk();
    }
    FrameworkOk();
}

void CSettingDlg::FrameworkOk() {
    if (PullFromControls()) {
        accept();
    }
}

bool CSettingDlg::PullFromControls() {
    return DataExchange::Pull(this, [this](DataExchange& exchange) { DoDataExchange(exchange); });
}

void CSettingDlg::PushToControls() {
    DataExchange::Push(this, [this](DataExchange& exchange) { DoDataExchange(exchange); });
}

void CSettingDlg::DoDataExchange(DataExchange& exchange) {
    MonitorSettings& settings = m_monitor.Settings();
    CapacityReading& reading = m_monitor.Reading();
    exchange.Text(m_usedText, reading.usedText);
    exchange.Text(m_totalText, reading.totalText);
    exchange.Text(m_freeText, reading.freeText);
    exchange.Text(m_pathEdit, settings.Path);
    exchange.Int(m_timeEdit, settings.Time);
    exchange.Check(m_autoCheck, settings.Auto);
    exchange.Text(m_directoryEdit, settings.Directory, kMaxDirectoryChars);
    exchange.Check(m_gbyteCheck, settings.GByte);
    exchange.Check(m_networkCheck, settings.NetWork);
    exchange.Int(m_sparePortEdit, m_sparePort, 0, 65535);
    exchange.Check(m_warningCheck, settings.Keikoku);
    exchange.Int(m_nokoriEdit, settings.Nokori, 0, kMaxNokori);
    exchange.Check(m_otherDriveCheck, settings.OtherDrive);
}

void CSettingDlg::OnOk() {
    m_monitor.RefreshCycle();
    FrameworkOk();
}

void CSettingDlg::OnUpdate() {
    m_monitor.RefreshCycle();
}

void CSettingDlg::OnNetworkSettings() {
    MonitorSettings& settings = m_monitor.Settings();
    m_netSet.m_port = settings.Port;
    m_netSet.m_password = settings.Pass;
    m_netSet.m_refreshWithoutCommand = settings.NetKoushin;
    m_netSet.m_changeOverNetwork = settings.EnbChange;
    m_netSet.m_networkDialogOpen = 1;
    m_netSet.RunModal();
    settings.Port = m_netSet.m_port;
    settings.Pass = m_netSet.m_password;
    settings.NetKoushin = m_netSet.m_refreshWithoutCommand;
    settings.EnbChange = m_netSet.m_changeOverNetwork;
    m_netSet.m_networkDialogOpen = 0;
}

void CSettingDlg::ApplyEnableRule(const int& member, QWidget* dependent) {
    PullFromControls();
    dependent->setEnabled(member != 0);
}

bool CSettingDlg::PreTranslateKey(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OnOk();
        return true;
    case Qt::Key_Escape:
        FrameworkOk();
        return true;
    default:
        return false;
    }
}
