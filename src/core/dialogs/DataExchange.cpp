#include "core/dialogs/DataExchange.h"

#include <charconv>

#include "core/dialogs/DialogControls.h"
#include "platform/Utf8.h"

std::string ValidationMessage::Range(int minimum, int maximum) {
    return std::to_string(minimum) + " から " + std::to_string(maximum) + " までの整数を入力してください。";
}

std::string ValidationMessage::Length(int maxChars) {
    return std::to_string(maxChars) + " 文字以内で入力してください。";
}

std::optional<int> ParseInt(std::string_view text) {
    std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t end = text.find_last_not_of(" \t") + 1;
    if (text[begin] == '+') {
        ++begin;
        if (begin < end && text[begin] == '-') {
            return std::nullopt;
        }
    }
    int value = 0;
    const char* first = text.data() + begin;
    const char* last = text.data() + end;
    const auto [stop, error] = std::from_chars(first, last, value);
    if (error != std::errc() || stop != last || first == last) {
        return std::nullopt;
    }
    return value;
}

int EditLength(std::string_view text) {
    int units = 0;
    for (const char byte : text) {
        const auto value = static_cast<unsigned char>(byte);
        if (!IsUtf8Continuation(byte)) {
            ++units; // the lead byte of a character
        }
        if ((value & 0xF8) == 0xF0) {
            ++units; // a character beyond the basic plane takes two
        }
    }
    return units;
}

void DataExchange::Fail(int id, const std::string& message) {
    m_failed = true;
    if (m_messageShowing != nullptr) {
        *m_messageShowing = true;
    }
    m_controls.ShowMessage(id, message);
    if (m_messageShowing != nullptr) {
        *m_messageShowing = false;
    }
}

void DataExchange::Text(int id, std::string& member) {
    if (m_failed) {
        return;
    }
    if (Pulling()) {
        member = m_controls.Text(id);
    } else {
        m_controls.SetText(id, member);
    }
}

void DataExchange::Text(int id, std::string& member, int maxChars) {
    if (m_failed) {
        return;
    }
    if (!Pulling()) {
        m_controls.SetText(id, member);
        m_controls.LimitText(id, maxChars);
        return;
    }
    std::string text = m_controls.Text(id);
    if (EditLength(text) > maxChars) {
        Fail(id, ValidationMessage::Length(maxChars));
        return;
    }
    member = std::move(text);
}

void DataExchange::Int(int id, int& member) {
    if (m_failed) {
        return;
    }
    if (!Pulling()) {
        m_controls.SetText(id, std::to_string(member));
        return;
    }
    const std::optional<int> value = ParseInt(m_controls.Text(id));
    if (!value) {
        Fail(id, ValidationMessage::kInteger);
        return;
    }
    member = *value;
}

void DataExchange::Int(int id, int& member, int minimum, int maximum) {
    if (m_failed || !Pulling()) {
        Int(id, member);
        return;
    }
    int value = member;
    Int(id, value);
    if (m_failed) {
        return;
    }
    if (value < minimum || value > maximum) {
        Fail(id, ValidationMessage::Range(minimum, maximum));
        return;
    }
    member = value;
}

void DataExchange::Check(int id, int& member) {
    if (m_failed) {
        return;
    }
    if (!Pulling()) {
        m_controls.SetChecked(id, member == 1);
    } else if (m_controls.Enabled(id)) {
        member = m_controls.Checked(id) ? 1 : 0;
    }
}
