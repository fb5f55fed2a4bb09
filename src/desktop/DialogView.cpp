#include "desktop/DialogView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QValidator>

#include <algorithm>
#include <vector>

#include "core/dialogs/DialogModel.h"

namespace {

// Limits what the user can type or paste to a number of characters without cutting a longer text that was
// put into the control: such a text can be shortened but not lengthened (the edit control's text limit).
// An insertion beyond the limit keeps its first characters that fit, as an edit control does with a paste.
// SetText detaches it while it sets a text, so a stored text is shown whole.
class TextLimitValidator : public QValidator {
public:
    TextLimitValidator(QLineEdit* edit, int maxChars)
        : QValidator(edit), m_maxChars(maxChars), m_lastText(edit->text()) {
        // The edit has already taken the new text when it asks; remember the text it had before.
        // (Read back from the edit: a handler of the same signal may already have replaced the text.)
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { m_lastText = edit->text(); });
    }

    State validate(QString& input, int& position) const override {
        const qsizetype allowed = std::max<qsizetype>(m_maxChars, m_lastText.size());
        if (input.size() <= allowed) {
            return Acceptable;
        }
        // The edit replaced the middle of the old text: find the common start and end around it.
        const qsizetype oldSize = m_lastText.size();
        qsizetype head = 0;
        while (head < oldSize && head < input.size() && m_lastText[head] == input[head]) {
            ++head;
        }
        qsizetype tail = 0;
        while (tail < oldSize - head && tail < input.size() - head &&
               m_lastText[oldSize - 1 - tail] == input[input.size() - 1 - tail]) {
            ++tail;
        }
        const qsizetype inserted = input.size() - head - tail;
        const qsizetype kept = std::clamp<qsizetype>(allowed - head - tail, 0, inserted);
        input = input.left(head + kept) + input.right(tail);
        position = static_cast<int>(head + kept);
        return Acceptable;
    }

private:
    int m_maxChars;
    QString m_lastText;
};

} // namespace

DialogView::DialogView(QWidget* parent, const DialogLayout& layout) : QDialog(parent), m_layout(layout) {
    setObjectName(QStringLiteral("dialog%1").arg(layout.resourceId));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    m_metrics.SizeDialog(this, layout);
}

void DialogView::Build(DialogModel& model) {
    m_model = &model;
    model.Bind(*this);
    const std::vector<QWidget*> controls = m_metrics.DrawControls(this, m_layout);
    for (std::size_t index = 0; index < controls.size(); ++index) {
        const ControlLayout& row = m_layout.controls[index];
        QWidget* control = controls[index];
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            connect(button, &QAbstractButton::clicked, this, [this, id = row.id] { Clicked(id); });
        }
        control->installEventFilter(this);
        if (row.id != kNoControlId) {
            m_controls[row.id] = control;
        }
        if (m_firstTabStop == nullptr && (row.style & kNeverShown) == 0 && control->focusPolicy() != Qt::NoFocus) {
            m_firstTabStop = control;
        }
    }
}

int DialogView::RunModal() {
    if (m_model->Running()) {
        return Rejected;
    }
    // WORKAROUND: window-modal, not application-modal, so the tray icon, and with it the exit command that
    // must reach an open dialog, stays usable while a dialog runs. Qt makes a dialog that exec() runs without
    // a modality application-modal, and clears the modality whenever the modal attribute is reset, so it is
    // set before every run, before anything (a validation message at the opening) can show the dialog.
    setWindowModality(Qt::WindowModal);
    m_model->Open();
    m_firstTabStop->setFocus();
    const int result = exec();
    m_model->Closed();
    return result;
}

void DialogView::Clicked(int id) {
    if (id == kIdOk) {
        m_model->Handle(DialogEvent::OkButton);
    } else if (id == kIdCancel) {
        m_model->Handle(DialogEvent::CancelButton);
    }
}

bool DialogView::RouteKey(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return m_model->Handle(DialogEvent::Enter);
    case Qt::Key_Escape:
        return m_model->Handle(DialogEvent::Escape);
    default:
        return false;
    }
}

bool DialogView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && RouteKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void DialogView::keyPressEvent(QKeyEvent* event) {
    if (!RouteKey(event)) {
        QDialog::keyPressEvent(event);
    }
}

void DialogView::closeEvent(QCloseEvent* event) {
    m_model->Handle(DialogEvent::CloseBox);
    // Closed only when the model ended the run.
    event->setAccepted(!isVisible());
}

std::string DialogView::Text(int id) const {
    QWidget* control = m_controls.at(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return edit->text().toStdString();
    }
    return qobject_cast<QLabel*>(control)->text().toStdString();
}

void DialogView::SetText(int id, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    auto* edit = qobject_cast<QLineEdit*>(m_controls.at(id));
    if (edit == nullptr) {
        qobject_cast<QLabel*>(m_controls.at(id))->setText(shown);
        return;
    }
    // Writing only changed text keeps the caret where the user left it while a refresh refills the dialog.
    if (edit->text() == shown) {
        return;
    }
    // A stored text is shown whole, even beyond the edit's limit.
    const QValidator* limit = edit->validator();
    edit->setValidator(nullptr);
    edit->setText(shown);
    edit->setValidator(limit);
    if (!edit->hasFocus()) {
        // Show the start of a long text, as a freshly filled edit control does.
        edit->setCursorPosition(0);
    }
}

void DialogView::LimitText(int id, int maxChars) {
    auto* edit = ControlById<QLineEdit>(id);
    if (edit->validator() == nullptr) {
        edit->setValidator(new TextLimitValidator(edit, maxChars));
    }
}

bool DialogView::Checked(int id) const {
    return ControlById<QCheckBox>(id)->isChecked();
}

void DialogView::SetChecked(int id, bool checked) {
    ControlById<QCheckBox>(id)->setChecked(checked);
}

bool DialogView::Enabled(int id) const {
    return m_controls.at(id)->isEnabled();
}

void DialogView::Enable(int id, bool enabled) {
    m_controls.at(id)->setEnabled(enabled);
}

void DialogView::ShowMessage(int id, const std::string& message) {
    // A message raised while the dialog starts comes with its dialog, over it, not alone in a corner.
    if (!isVisible()) {
        show();
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("tarvellin"), QString::fromStdString(message), QMessageBox::Ok,
                    this);
    box.setWindowModality(Qt::WindowModal); // the tray icon stays reachable
    box.exec();
    QWidget* control = m_controls.at(id);
    control->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->selectAll();
    }
}

void DialogView::End(DialogResult result) {
    done(result == DialogResult::Accepted ? Accepted : Rejected);
}
