#include "settings/IniProfile.h"

#include <climits>
#include <cstdint>

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// The section name of a header line "[name]"; false when the line is no header.
bool SectionNameOf(std::string_view line, std::string_view& name) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[') {
        return false;
    }
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    name = TrimBlanks(line.substr(1, close - 1));
    return true;
}

bool IsComment(std::string_view line) {
    line = TrimBlanks(line);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// Key and value of a "key=value" line; false for every other line.
bool KeyValueOf(std::string_view line, std::string_view& key, std::string_view& value) {
    if (IsComment(line)) {
        return false;
    }
    std::string_view ignored;
    if (SectionNameOf(line, ignored)) {
        return false;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    key = TrimBlanks(line.substr(0, equals));
    if (key.empty()) {
        return false;
    }
    value = line.substr(equals + 1);
    const std::size_t nul = value.find('\0');
    if (nul != std::string_view::npos) {
        value = value.substr(0, nul);
    }
    value = TrimBlanks(value);
    return true;
}

// The text up to its first line break or NUL byte.
std::string_view OneLine(std::string_view text) {
    const std::size_t end = text.find_first_of(std::string_view("\r\n\0", 3));
    return end == std::string_view::npos ? text : text.substr(0, end);
}

} // namespace

int ParseProfileInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude, stopping the growth once it is beyond any int.
    constexpr std::int64_t kLimit = static_cast<std::int64_t>(INT_MAX) + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude <= kLimit) {
            magnitude = magnitude * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        return magnitude >= kLimit ? INT_MIN : static_cast<int>(-magnitude);
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

IniProfile::IniProfile(std::string_view text) {
    bool lineEndSeen = false;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        Line line;
        if (newline == std::string_view::npos) {
            line.text = std::string(text);
            text = {};
        } else {
            std::size_t textEnd = newline;
            line.lineEnd = "\n";
            if (textEnd > 0 && text[textEnd - 1] == '\r') {
                --textEnd;
                line.lineEnd = "\r\n";
            }
            line.text = std::string(text.substr(0, textEnd));
            text.remove_prefix(newline + 1);
            if (!lineEndSeen) {
                m_lineEnd = line.lineEnd;
                lineEndSeen = true;
            }
        }
        m_lines.push_back(std::move(line));
    }
}

std::size_t IniProfile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        std::string_view name;
        if (SectionNameOf(m_lines[i].text, name) && EqualsNoCase(name, section)) {
            return i;
        }
    }
    return kNone;
}

std::size_t IniProfile::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    std::string_view name;
    while (i < m_lines.size() && !SectionNameOf(m_lines[i].text, name)) {
        ++i;
    }
    return i;
}

std::size_t IniProfile::FindKey(std::size_t header, std::string_view key) const {
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        std::string_view lineKey;
        std::string_view value;
        if (KeyValueOf(m_lines[i].text, lineKey, value) && EqualsNoCase(lineKey, key)) {
            return i;
        }
    }
    return kNone;
}

std::string IniProfile::GetProfileString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const {
    const std::size_t header = FindSection(section);
    if (header == kNone) {
        return std::string(defaultValue);
    }
    const std::size_t index = FindKey(header, key);
    if (index == kNone) {
        return std::string(defaultValue);
    }
    std::string_view lineKey;
    std::string_view value;
    KeyValueOf(m_lines[index].text, lineKey, value);
    return std::string(value);
}

int IniProfile::GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const {
    const std::size_t header = FindSection(section);
    if (header == kNone) {
        return defaultValue;
    }
    const std::size_t index = FindKey(header, key);
    if (index == kNone) {
        return defaultValue;
    }
    std::string_view lineKey;
    std::string_view value;
    KeyValueOf(m_lines[index].text, lineKey, value);
    return ParseProfileInt(value);
}

void IniProfile::InsertLine(std::size_t index, std::string text) {
    // The line before the new one must end, even when it was the file's unterminated last line.
    if (index > 0 && m_lines[index - 1].lineEnd.empty()) {
        m_lines[index - 1].lineEnd = m_lineEnd;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(index), Line{std::move(text), m_lineEnd});
}

void IniProfile::WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view safeValue = OneLine(value);
    std::size_t header = FindSection(section);
    if (header == kNone) {
        InsertLine(m_lines.size(), "[" + std::string(section) + "]");
        header = m_lines.size() - 1;
    }
    const std::size_t index = FindKey(header, key);
    if (index != kNone) {
        // Keep the key as the file spells it.
        std::string_view lineKey;
        std::string_view oldValue;
        KeyValueOf(m_lines[index].text, lineKey, oldValue);
        m_lines[index].text = std::string(lineKey) + "=" + std::string(safeValue);
        return;
    }
    std::size_t insertAt = SectionEnd(header);
    while (insertAt > header + 1 && TrimBlanks(m_lines[insertAt - 1].text).empty()) {
        --insertAt;
    }
    InsertLine(insertAt, std::string(key) + "=" + std::string(safeValue));
}

void IniProfile::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    WriteProfileString(section, key, std::to_string(value));
}

bool IniProfile::HasSection(std::string_view section) const {
    return FindSection(section) != kNone;
}

std::vector<std::pair<std::string, std::string>> IniProfile::Entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    const std::size_t header = FindSection(section);
    if (header == kNone) {
        return entries;
    }
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        std::string_view key;
        std::string_view value;
        if (KeyValueOf(m_lines[i].text, key, value)) {
            entries.emplace_back(std::string(key), std::string(value));
        }
    }
    return entries;
}

std::string IniProfile::Text() const {
    std::string text;
    std::size_t size = 0;
    for (const Line& line : m_lines) {
        size += line.text.size() + line.lineEnd.size();
    }
    text.reserve(size);
    for (const Line& line : m_lines) {
        text += line.text;
        text += line.lineEnd;
    }
    return text;
}
