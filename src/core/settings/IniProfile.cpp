#include "core/settings/IniProfile.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <system_error>
#include <utility>

namespace {

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

bool IsAscii(std::string_view bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// True when the line may be a section header: its first non-blank byte is '[', which in every encoding a
// decoder meets starts no other character.
bool MayBeHeader(std::string_view bytes) {
    const std::size_t first = bytes.find_first_not_of(" \t");
    return first != std::string_view::npos && bytes[first] == '[';
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The text up to its first line feed or NUL byte: what one value line can hold.
std::string_view OneLine(std::string_view text) {
    const std::size_t end = text.find_first_of(std::string_view("\n\0", 2));
    return end == std::string_view::npos ? text : text.substr(0, end);
}

} // namespace

bool ProfileNamesEqual(std::string_view a, std::string_view b) {
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

int ParseProfileInt(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) {
        ++start;
    }
    std::string_view number = text.substr(start);
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
        if (!number.empty() && number.front() == '-') {
            return 0; // "+-3" has no number
        }
    }
    int value = 0;
    const std::errc error = std::from_chars(number.data(), number.data() + number.size(), value).ec;
    if (error == std::errc::result_out_of_range) {
        return number.front() == '-' ? INT_MIN : INT_MAX;
    }
    return error == std::errc() ? value : 0;
}

IniProfile::IniProfile(std::string_view bytes, LineDecoder decoder, ProfileConventions conventions)
    : m_text(bytes), m_decoder(std::move(decoder)), m_valueQuotesRemoved(conventions.valueQuotesRemoved),
      m_lineEnd(conventions.newFileLineEnd) {
    if (m_text.starts_with(kByteOrderMark)) {
        m_start = kByteOrderMark.size();
    }
    const std::size_t newline = m_text.find('\n');
    if (newline != std::string::npos) {
        m_lineEnd = newline > 0 && m_text[newline - 1] == '\r' ? "\r\n" : "\n";
    }
}

std::string_view IniProfile::ReadValue(std::string_view value) const {
    if (m_valueQuotesRemoved && value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

IniProfile::LineSpan IniProfile::LineAt(std::size_t begin) const {
    LineSpan line;
    line.begin = begin;
    const std::size_t newline = m_text.find('\n', begin);
    if (newline == std::string::npos) {
        line.textEnd = m_text.size();
        line.next = m_text.size();
        return line;
    }
    line.textEnd = newline > begin && m_text[newline - 1] == '\r' ? newline - 1 : newline;
    line.next = newline + 1;
    return line;
}

std::string_view IniProfile::BytesOf(const LineSpan& line) const {
    return std::string_view(m_text).substr(line.begin, line.textEnd - line.begin);
}

std::string_view IniProfile::TextOf(const LineSpan& line, std::string& decoded) const {
    const std::string_view bytes = BytesOf(line);
    if (!m_decoder || IsAscii(bytes)) {
        return bytes;
    }
    decoded = m_decoder(bytes);
    return decoded;
}

bool IniProfile::FindSection(std::string_view section, LineSpan& header) const {
    std::string decoded;
    for (std::size_t begin = m_start; begin < m_text.size();) {
        const LineSpan line = LineAt(begin);
        if (!MayBeHeader(BytesOf(line))) {
            begin = line.next; // only a header is looked for: no need to decode other lines
            continue;
        }
        std::string_view name;
        if (SectionNameOf(TextOf(line, decoded), name) && ProfileNamesEqual(name, section)) {
            header = line;
            return true;
        }
        begin = line.next;
    }
    return false;
}

template <typename Visit> std::size_t IniProfile::ForEachEntry(const LineSpan& header, Visit visit) const {
    std::size_t contentEnd = header.next;
    std::string decoded;
    for (std::size_t begin = header.next; begin < m_text.size();) {
        const LineSpan line = LineAt(begin);
        begin = line.next;
        if (line.textEnd == line.begin) {
            continue; // an empty line holds nothing to find
        }
        const std::string_view text = TextOf(line, decoded);
        std::string_view name;
        if (SectionNameOf(text, name)) {
            break;
        }
        if (!TrimBlanks(text).empty()) {
            contentEnd = line.next;
        }
        std::string_view key;
        std::string_view value;
        if (KeyValueOf(text, key, value) && !visit(line, key, value)) {
            break;
        }
    }
    return contentEnd;
}

bool IniProfile::FindKey(const LineSpan& header, std::string_view key, LineSpan& found) const {
    bool isFound = false;
    ForEachEntry(header, [&](const LineSpan& line, std::string_view lineKey, std::string_view) {
        isFound = ProfileNamesEqual(lineKey, key);
        if (isFound) {
            found = line;
        }
        return !isFound;
    });
    return isFound;
}

std::string IniProfile::GetProfileString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const {
    LineSpan header;
    LineSpan line;
    if (!FindSection(section, header) || !FindKey(header, key, line)) {
        return std::string(defaultValue);
    }
    std::string decoded;
    std::string_view lineKey;
    std::string_view value;
    KeyValueOf(TextOf(line, decoded), lineKey, value);
    return std::string(ReadValue(value));
}

int IniProfile::GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const {
    LineSpan header;
    LineSpan line;
    if (!FindSection(section, header) || !FindKey(header, key, line)) {
        return defaultValue;
    }
    std::string decoded;
    std::string_view lineKey;
    std::string_view value;
    KeyValueOf(TextOf(line, decoded), lineKey, value);
    return ParseProfileInt(ReadValue(value));
}

void IniProfile::WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
    WriteProfileStrings(section, {{std::string(key), std::string(value)}});
}

namespace {

// Index of the first of names equal to name, or names.size(); names longer than longest never match.
template <typename Names, typename NameOf>
std::size_t IndexOfName(const Names& names, std::string_view name, std::size_t longest, NameOf nameOf) {
    if (name.size() > longest) {
        return names.size();
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (ProfileNamesEqual(nameOf(names[i]), name)) {
            return i;
        }
    }
    return names.size();
}

} // namespace

void IniProfile::WriteProfileStrings(std::string_view section,
                                     const std::vector<std::pair<std::string, std::string>>& keysAndValues) {
    // The line before new text must end, even when it was the file's unterminated last line.
    const auto endedAt = [this](std::size_t offset) {
        return offset <= m_start || m_text[offset - 1] == '\n' ? std::string() : m_lineEnd;
    };
    const auto lineOf = [](const std::pair<std::string, std::string>& keyAndValue, std::string_view key) {
        return std::string(key) + "=" + std::string(OneLine(keyAndValue.second));
    };

    LineSpan header;
    if (!FindSection(section, header)) {
        m_text += endedAt(m_text.size());
        m_text += "[" + std::string(section) + "]" + m_lineEnd;
        for (const auto& keyAndValue : keysAndValues) {
            m_text += lineOf(keyAndValue, keyAndValue.first) + m_lineEnd;
        }
        return;
    }

    // One pass over the section: the first line of each key, and the end of its last non-blank line.
    std::size_t longest = 0;
    for (const auto& keyAndValue : keysAndValues) {
        longest = std::max(longest, keyAndValue.first.size());
    }
    const auto keyOf = [](const std::pair<std::string, std::string>& keyAndValue) -> std::string_view {
        return keyAndValue.first;
    };
    std::vector<std::optional<LineSpan>> found(keysAndValues.size());
    const std::size_t insertAt =
        ForEachEntry(header, [&](const LineSpan& line, std::string_view lineKey, std::string_view) {
            const std::size_t index = IndexOfName(keysAndValues, lineKey, longest, keyOf);
            if (index < found.size() && !found[index]) {
                found[index] = line;
            }
            return true;
        });

    // Rebuild the text once: changed lines in place (keeping the key as the file spells it), new keys
    // together at the insertion point, in the order given. A line that already reads as its new value
    // keeps its bytes, so a line in another encoding or spelled with blanks is not rewritten.
    struct Edit {
        std::size_t begin;
        std::size_t end;
        std::string text;
    };
    std::vector<Edit> edits;
    std::string inserted;
    std::string decoded;
    for (std::size_t i = 0; i < keysAndValues.size(); ++i) {
        if (found[i]) {
            std::string_view lineKey;
            std::string_view oldValue;
            KeyValueOf(TextOf(*found[i], decoded), lineKey, oldValue);
            std::string line = lineOf(keysAndValues[i], lineKey);
            std::string_view newKey;
            std::string_view newValue;
            KeyValueOf(line, newKey, newValue);
            if (newValue != oldValue) {
                edits.push_back(Edit{found[i]->begin, found[i]->textEnd, std::move(line)});
            }
        } else {
            inserted += lineOf(keysAndValues[i], keysAndValues[i].first) + m_lineEnd;
        }
    }
    if (!inserted.empty()) {
        edits.push_back(Edit{insertAt, insertAt, endedAt(insertAt) + inserted});
    }
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::string text;
    text.reserve(m_text.size() + inserted.size() + 64 * edits.size());
    std::size_t copied = 0;
    for (const Edit& edit : edits) {
        text.append(m_text, copied, edit.begin - copied);
        text += edit.text;
        copied = edit.end;
    }
    text.append(m_text, copied, std::string::npos);
    m_text = std::move(text);
}

std::vector<std::optional<std::string>> IniProfile::GetProfileStrings(std::string_view section,
                                                                      const std::vector<std::string>& keys) const {
    std::vector<std::optional<std::string>> values(keys.size());
    LineSpan header;
    if (!FindSection(section, header)) {
        return values;
    }
    std::size_t longest = 0;
    for (const std::string& key : keys) {
        longest = std::max(longest, key.size());
    }
    const auto keyOf = [](const std::string& key) -> std::string_view { return key; };
    ForEachEntry(header, [&](const LineSpan&, std::string_view lineKey, std::string_view value) {
        const std::size_t index = IndexOfName(keys, lineKey, longest, keyOf);
        if (index < values.size() && !values[index]) {
            values[index] = std::string(ReadValue(value));
        }
        return true;
    });
    return values;
}

void IniProfile::WriteProfileInt(std::string_view section, std::string_view key, int value) {
    WriteProfileString(section, key, std::to_string(value));
}

bool IniProfile::HasSection(std::string_view section) const {
    LineSpan header;
    return FindSection(section, header);
}

std::vector<std::pair<std::string, std::string>> IniProfile::Entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    LineSpan header;
    if (!FindSection(section, header)) {
        return entries;
    }
    ForEachEntry(header, [this, &entries](const LineSpan&, std::string_view key, std::string_view value) {
        entries.emplace_back(std::string(key), std::string(ReadValue(value)));
        return true;
    });
    return entries;
}

std::string IniProfile::Text() const {
    return m_text;
}
