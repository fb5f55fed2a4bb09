#pragma once

#include <optional>
#include <string>
#include <string_view>

class DialogControls;

// The texts of the validation messages.
namespace ValidationMessage {
inline constexpr const char* kInteger = "整数を入力してください。";
// "<minimum> から <maximum> までの整数を入力してください。"
std::string Range(int minimum, int maximum);
// "<maxChars> 文字以内で入力してください。"
std::string Length(int maxChars);
} // namespace ValidationMessage

// A whole number with optional blanks around it and an optional plus sign or minus sign; nullopt when the
// text is anything else or does not fit in 32 bits.
std::optional<int> ParseInt(std::string_view text);
// Length of a UTF-8 text in the characters an edit field counts (UTF-16 code units).
int EditLength(std::string_view text);

// One exchange of values between a dialog's controls and their members, in one direction. Push fills the
// controls; pull reads them with validation and stops at the first control that fails: a message names
// what is expected, the focus goes to that control, and the controls after it are left unread. A failing
// control leaves its member as it was.
class DataExchange {
public:
    enum class Direction { Push, Pull };

    // messageShowing, when given, is true while a validation message of this exchange is on screen.
    DataExchange(DialogControls& controls, Direction direction, bool* messageShowing = nullptr)
        : m_controls(controls), m_direction(direction), m_messageShowing(messageShowing) {}

    // False once a control has failed validation.
    bool Ok() const { return !m_failed; }
    bool Pulling() const { return m_direction == Direction::Pull; }

    // A free text, or the text of a static control.
    void Text(int id, std::string& member);
    // A text of at most maxChars characters; push also keeps the user from entering more.
    void Text(int id, std::string& member, int maxChars);
    // A whole number (32 bits, signed).
    void Int(int id, int& member);
    // A whole number within minimum to maximum, both bounds included.
    void Int(int id, int& member, int minimum, int maximum);
    // A check box: checked when the member is 1. Pull gives 0 or 1, so a stored value other than 0 or 1
    // becomes the unchecked box it showed; a disabled box, which the user cannot change, keeps the member.
    void Check(int id, int& member);

private:
    // Shows the message over the control and stops the exchange.
    void Fail(int id, const std::string& message);

    DialogControls& m_controls;
    Direction m_direction;
    bool* m_messageShowing;
    bool m_failed = false;
};
