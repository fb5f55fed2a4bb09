#include "dialogs/DataExchange.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QValidator>

#include <algorithm>
#include <charconv>
#include <optional>

namespace {

// Dialogs whose validation message is on screen.
QList<const QWidget*> g_messageOwners;

// Limits what the user can type or paste to a number of characters without cutting a longer text that was
// put into the control: such a text can be shortened but not lengthened (the edit control's text limit).
// An insertion beyond the limit keeps its first characters that fit, as an edit control does with a paste.
// The exchange's push detaches it while it sets a text, so a stored text is shown whole.
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

// A whole number with optional blanks around it and an optional sign; nullopt when the text is anything
// else or does not fit in 32 bits.
std::optional<int> ParseInt(const QString& text) {
    std::string bytes = text.toStdString();
    std::size_t begin = bytes.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return std::nullopt;
    }
    std::size_t end = bytes.find_last_not_of(" \t") + 1;
    if (bytes[begin] == '+') {
        ++begin;
        if (begin < end && bytes[begin] == '-') {
            return std::nullopt;
        }
    }
    int value = 0;
    const char* first = bytes.data() + begin;
    const char* last = bytes.data() + end;
    const auto [stop, error] = std::from_chars(first, last, value);
    if (error != std::errc() || stop != last || first == last) {
        return std::nullopt;
    }
    return value;
}

void SetTextIfChanged(QLineEdit* control, const QString& text) {
    // Writing only changed text keeps the caret where the user left it while a refresh refills the dialog.
    if (control->text() != text) {
        control->setText(text);
        if (!control->hasFocus()) {
            // Show the start of a long text, as a freshly filled edit control does.
            control->setCursorPosition(0);
        }
    }
}

} // namespace

DataExchange::DataExchange(QWidget* dialog, Direction direction) : m_dialog(dialog), m_direction(direction) {}

bool DataExchange::MessageShowing(const QWidget* dialog) {
    return g_messageOwners.contains(dialog);
}

void DataExchange::Fail(QLineEdit* control, const QString& message) {
    m_failed = true;
    // A message raised while the dialog starts comes with its dialog, over it, not alone in a corner.
    if (!m_dialog->isVisible()) {
        m_dialog->show();
    }
    g_messageOwners.append(m_dialog);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("tarvellin"), message, QMessageBox::Ok, m_dialog);
    box.setWindowModality(Qt::WindowModal); // the tray icon stays reachable
    box.exec();
    g_messageOwners.removeOne(m_dialog);
    control->setFocus();
    control->selectAll();
}

void DataExchange::Text(QLabel* control, std::string& member) {
    if (Skip()) {
        return;
    }
    if (Pulling()) {
        member = control->text().toStdString();
    } else {
        control->setText(QString::fromStdString(member));
    }
}

void DataExchange::Text(QLineEdit* control, std::string& member) {
    if (Skip()) {
        return;
    }
    if (Pulling()) {
        member = control->text().toStdString();
    } else {
        SetTextIfChanged(control, QString::fromStdString(member));
    }
}

void DataExchange::Text(QLineEdit* control, std::string& member, int maxChars) {
    if (Skip()) {
        return;
    }
    if (Pulling()) {
        // A failing control leaves its member as it was.
        const QString text = control->text();
        if (text.size() > maxChars) {
            Fail(control, QStringLiteral("%1 文字以内で入力してください。").arg(maxChars));
            return;
        }
        member = text.toStdString();
        return;
    }
    const QValidator* limit = control->validator();
    control->setValidator(nullptr);
    SetTextIfChanged(control, QString::fromStdString(member));
    control->setValidator(limit != nullptr ? limit : new TextLimitValidator(control, maxChars));
}

void DataExchange::Int(QLineEdit* control, int& member) {
    if (Skip()) {
        return;
    }
    if (!Pulling()) {
        SetTextIfChanged(control, QString::number(member));
        return;
    }
    const std::optional<int> value = ParseInt(control->text());
    if (!value) {
        Fail(control, QStringLiteral("整数を入力してください。"));
        return;
    }
    member = *value;
}

void DataExchange::Int(QLineEdit* control, int& member, int minimum, int maximum) {
    if (Skip() || !Pulling()) {
        Int(control, member);
        return;
    }
    int value = member;
    Int(control, value);
    if (Skip()) {
        return;
    }
    if (value < minimum || value > maximum) {
        Fail(control, QStringLiteral("%1 から %2 までの整数を入力してください。").arg(minimum).arg(maximum));
        return;
    }
    member = value;
}

void DataExchange::Check(QCheckBox* control, int& member) {
    if (Skip()) {
        return;
    }
    if (Pulling()) {
        // A stored value other than 0 or 1 shows as an unchecked box: the pull makes the member say so. A box
        // the user can never change (hidden and disabled) carries the stored value through.
        if (control->isEnabled()) {
            member = control->isChecked() ? 1 : 0;
        }
    } else {
        control->setChecked(member == 1);
    }
}
