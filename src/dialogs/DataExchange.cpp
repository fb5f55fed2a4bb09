#include "dialogs/DataExchange.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QValidator>

#include <charconv>
#include <optional>

namespace {

// Dialogs whose validation message is on screen.
QList<const QWidget*> g_messageOwners;

// Limits what the user can type to a number of characters without cutting a longer text that was put
// into the control: such a text can be shortened but not lengthened (the edit control's text limit).
class TextLimitValidator : public QValidator {
public:
    TextLimitValidator(QLineEdit* edit, int maxChars)
        : QValidator(edit), m_maxChars(maxChars), m_lastLength(edit->text().size()) {
        // The edit has already taken the new text when it asks; remember the length it had before.
        // (Read back from the edit: a handler of the same signal may already have replaced the text.)
        connect(edit, &QLineEdit::textChanged, this, [this, edit] { m_lastLength = edit->text().size(); });
    }

    State validate(QString& input, int& /*position*/) const override {
        return input.size() > m_maxChars && input.size() > m_lastLength ? Invalid : Acceptable;
    }

private:
    int m_maxChars;
    qsizetype m_lastLength;
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
    SetTextIfChanged(control, QString::fromStdString(member));
    if (control->validator() == nullptr) {
        control->setValidator(new TextLimitValidator(control, maxChars));
    }
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
        // An unusual stored value (neither 0 nor 1) passes through unless the user changed the box.
        if (control->isChecked() != (member == 1)) {
            member = control->isChecked() ? 1 : 0;
        }
    } else {
        control->setChecked(member == 1);
    }
}
