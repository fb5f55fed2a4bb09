#include "dialogs/CNetSet.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/DataExchange.h"

namespace {

QLabel* AddStatic(QWidget* dialog, const DialogMetrics& metrics, const QString& text, int x, int y, int w, int h) {
    auto* label = new QLabel(text, dialog);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    metrics.Place(label, x, y, w, h);
    return label;
}

} // namespace

CNetSet::CNetSet(QWidget* parent) : KeyRoutingDialog(parent) {
    setObjectName(QStringLiteral("dialog140"));
    setWindowTitle(QStringLiteral("ネットワーク設定"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // Blocks only the window it belongs to: the tray icon, and with it the exit command, stays reachable.
    setWindowModality(Qt::WindowModal);
    m_metrics.SizeDialog(this, 182, 91);

    // Resource order, which is also the tab order.
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("control1"));
    m_ok->setDefault(true);
    m_metrics.Place(m_ok, 89, 70, 38, 14);
    m_cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    m_cancel->setObjectName(QStringLiteral("control2"));
    m_metrics.Place(m_cancel, 135, 70, 40, 14);
    AddStatic(this, m_metrics, QStringLiteral("ポート設定"), 7, 38, 32, 8);
    m_portEdit = new QLineEdit(this);
    m_portEdit->setObjectName(QStringLiteral("control1005"));
    m_metrics.Place(m_portEdit, 40, 35, 34, 14);
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName(QStringLiteral("control1007"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_metrics.Place(m_passwordEdit, 41, 17, 49, 14);
    AddStatic(this, m_metrics, QStringLiteral("パスワード"), 7, 20, 32, 8);
    AddStatic(this, m_metrics, QStringLiteral("●ネットワーク機能を使用するにあったっての各種設定●"), 7, 7, 166, 8);
    AddStatic(this, m_metrics, QStringLiteral("※tarvellinの再起動必須"), 75, 37, 78, 8);
    AddStatic(this, m_metrics, QStringLiteral("パスなしの場合は空白"), 91, 20, 67, 8);
    m_refreshCheck = new QCheckBox(QStringLiteral("コマンドなしで更新受け付ける"), this);
    m_refreshCheck->setObjectName(QStringLiteral("control1006"));
    m_metrics.Place(m_refreshCheck, 7, 53, 102, 10);
    m_changeCheck = new QCheckBox(QStringLiteral("ネットワーク経由での設定変更許可"), this);
    m_changeCheck->setObjectName(QStringLiteral("control1012"));
    m_metrics.Place(m_changeCheck, 7, 67, 119, 10);
    m_changeCheck->setEnabled(false);
    m_changeCheck->setVisible(false);

    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_portEdit);
    setTabOrder(m_portEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_refreshCheck);

    connect(m_ok, &QPushButton::clicked, this, &CNetSet::FrameworkOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
}

int CNetSet::RunModal() {
    PushToControls();
    m_ok->setFocus(); // the first tab stop
    // Blocks only the settings dialog below it, so the tray's exit command still reaches it; each run
    // resets the modality.
    setWindowModality(Qt::WindowModal);
    return exec();
}

void CNetSet::FrameworkOk() {
    if (PullFromControls()) {
        accept();
    }
}

bool CNetSet::PullFromControls() {
    return DataExchange::Pull(this, [this](DataExchange& exchange) { DoDataExchange(exchange); });
}

void CNetSet::PushToControls() {
    DataExchange::Push(this, [this](DataExchange& exchange) { DoDataExchange(exchange); });
}

void CNetSet::DoDataExchange(DataExchange& exchange) {
    exchange.Int(m_portEdit, m_port, 0, 65535);
    exchange.Text(m_passwordEdit, m_password);
    exchange.Check(m_refreshCheck, m_refreshWithoutCommand);
    exchange.Check(m_changeCheck, m_changeOverNetwork);
}

bool CNetSet::PreTranslateKey(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    case Qt::Key_Escape:
        FrameworkOk();
        return true;
    default:
        return false;
    }
}
