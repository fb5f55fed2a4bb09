#include "dialogs/CDriveDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "capacity/Monitor.h"
#include "dialogs/DataExchange.h"

namespace {

constexpr int kMaxLetters = 9;

struct FolderRow {
    int id;
    int y; // top of the edit in dialog units
};

// The folder edits of slots 1 to 9.
constexpr std::array<FolderRow, kDriveSlots> kFolderRows{{
    {1007, 55},
    {1011, 71},
    {1014, 88},
    {1018, 104},
    {1022, 119},
    {1023, 135},
    {1024, 151},
    {1025, 167},
    {1026, 184},
}};

} // namespace

CDriveDlg::CDriveDlg(Monitor& monitor, QWidget* parent) : QDialog(parent), m_monitor(monitor) {
    setObjectName(QStringLiteral("dialog141"));
    setWindowTitle(QStringLiteral("ﾀﾞｲｱﾛｸﾞ"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // Blocks only the window it belongs to: the tray icon, and with it the exit command, stays reachable.
    setWindowModality(Qt::WindowModal);
    m_metrics.SizeDialog(this, 202, 223);

    auto addStatic = [this](const QString& text, int x, int y, int w, int h) {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_metrics.Place(label, x, y, w, h);
    };
    auto addFolderEdit = [this](int slot) {
        const FolderRow& row = kFolderRows.at(static_cast<std::size_t>(slot));
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("control%1").arg(row.id));
        m_metrics.Place(edit, 15, row.y, 180, 14);
        m_folderEdits.at(static_cast<std::size_t>(slot)) = edit;
    };

    // Resource order, which is also the tab order.
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("control1"));
    m_ok->setDefault(true);
    m_metrics.Place(m_ok, 85, 202, 50, 14);
    m_cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    m_cancel->setObjectName(QStringLiteral("control2"));
    m_metrics.Place(m_cancel, 145, 202, 50, 14);
    addStatic(QStringLiteral("監視したいHDDのドライブレターを連続で順に記述してください。"), 7, 7, 188, 8);
    m_lettersEdit = new QLineEdit(this);
    m_lettersEdit->setObjectName(QStringLiteral("control1005"));
    m_metrics.Place(m_lettersEdit, 7, 20, 69, 14);
    addStatic(QStringLiteral("9個まで"), 82, 23, 33, 8);
    addFolderEdit(0);
    addStatic(QStringLiteral("１"), 7, 59, 8, 8);
    addStatic(QStringLiteral("２"), 7, 73, 8, 8);
    addStatic(QStringLiteral("左が1番として順に空き容量ファイル保存場所を指定してください"), 7, 40, 188, 8);
    addFolderEdit(1);
    addFolderEdit(2);
    addStatic(QStringLiteral("３"), 7, 91, 8, 8);
    addStatic(QStringLiteral("４"), 7, 107, 8, 8);
    addStatic(QStringLiteral("５"), 7, 123, 8, 8);
    addFolderEdit(3);
    addFolderEdit(4);
    addStatic(QStringLiteral("６"), 7, 138, 8, 8);
    addFolderEdit(5);
    addStatic(QStringLiteral("７"), 7, 153, 8, 8);
    addFolderEdit(6);
    addFolderEdit(7);
    addFolderEdit(8);
    addStatic(QStringLiteral("８"), 7, 170, 8, 8);
    addStatic(QStringLiteral("９"), 7, 187, 8, 8);

    setTabOrder(m_ok, m_cancel);
    setTabOrder(m_cancel, m_lettersEdit);
    QWidget* previous = m_lettersEdit;
    for (QLineEdit* edit : m_folderEdits) {
        setTabOrder(previous, edit);
        previous = edit;
    }

    connect(m_ok, &QPushButton::clicked, this, &CDriveDlg::FrameworkOk);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_lettersEdit, &QLineEdit::textChanged, this, [this] {
        if (!m_exchanging) {
            OnLettersChanged();
        }
    });
}

int CDriveDlg::RunModal() {
    // Blocks only the settings dialog below it, so the tray's exit command still reaches it; each run
    // resets the modality, before anything (a validation message) can show the dialog.
    setWindowModality(Qt::WindowModal);
    PushToControls();
    PushToControls();
    OnLettersChanged();
    m_ok->setFocus(); // the first tab stop
    return exec();
}

void CDriveDlg::FrameworkOk() {
    if (PullFromControls()) {
        accept();
    }
}

bool CDriveDlg::PullFromControls() {
    return DataExchange::Pull(this, [this](DataExchange& exchange) { DoDataExchange(exchange); });
}

void CDriveDlg::PushToControls() {
    DataExchange::Push(this, [this](DataExchange& exchange) { DoDataExchange(exchange); });
}

void CDriveDlg::DoDataExchange(DataExchange& exchange) {
    MonitorSettings& settings = m_monitor.Settings();
    m_exchanging = true;
    exchange.Text(m_lettersEdit, settings.Directory2, kMaxLetters);
    for (std::size_t slot = 0; slot < m_folderEdits.size(); ++slot) {
        exchange.Text(m_folderEdits.at(slot), settings.Path2To10.at(slot));
    }
    m_exchanging = false;
}

void CDriveDlg::OnLettersChanged() {
    PullFromControls();
    m_monitor.FilterDriveLetters();
    PushToControls();
    const std::size_t letters = m_monitor.Settings().Directory2.size();
    for (std::size_t slot = 0; slot < m_folderEdits.size(); ++slot) {
        m_folderEdits.at(slot)->setEnabled(slot < letters);
    }
}
