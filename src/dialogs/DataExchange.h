#pragma once

#include <string>

class QCheckBox;
class QString;
class QLabel;
class QLineEdit;
class QWidget;

// One exchange of values between a dialog's controls and their members, in one direction. Push fills the
// controls; pull reads them with validation and stops at the first control that fails: a message names
// what is expected, the focus goes to that control, and the controls after it are left unread.
class DataExchange {
public:
    enum class Direction { Push, Pull };

    DataExchange(QWidget* dialog, Direction direction);

    // False once a control has failed validation.
    bool Ok() const { return !m_failed; }
    bool Pulling() const { return m_direction == Direction::Pull; }

    // A text shown in a static control.
    void Text(QLabel* control, std::string& member);
    // A free text.
    void Text(QLineEdit* control, std::string& member);
    // A text of at most maxChars characters; push also keeps the user from typing more.
    void Text(QLineEdit* control, std::string& member, int maxChars);
    // A whole number (32 bits, signed).
    void Int(QLineEdit* control, int& member);
    // A whole number within minimum to maximum, both bounds included.
    void Int(QLineEdit* control, int& member, int minimum, int maximum);
    // A check box: checked when the member is 1; pull gives 0 or 1 (a disabled box keeps the member).
    void Check(QCheckBox* control, int& member);

    // True while a validation message of this dialog is on screen.
    static bool MessageShowing(const QWidget* dialog);

    // Controls to members through bind(exchange), with validation; false when a control failed (its message
    // has been shown) or while a validation message of the dialog is already on screen, which an exit or
    // a refresh arriving meanwhile must not show a second time.
    template <typename Bind> static bool Pull(QWidget* dialog, Bind bind) {
        if (MessageShowing(dialog)) {
            return false;
        }
        DataExchange exchange(dialog, Direction::Pull);
        bind(exchange);
        return exchange.Ok();
    }
    // Members to controls through bind(exchange).
    template <typename Bind> static void Push(QWidget* dialog, Bind bind) {
        DataExchange exchange(dialog, Direction::Push);
        bind(exchange);
    }

private:
    bool Skip() const { return m_failed; }
    // Shows the message, puts the focus on the control (its text selected) and stops the exchange.
    void Fail(QLineEdit* control, const QString& message);

    QWidget* m_dialog;
    Direction m_direction;
    bool m_failed = false;
};
