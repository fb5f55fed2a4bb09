#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ProfileConventions.h"

// True when two section or key names are equal, ASCII letters compared without case.
bool ProfileNamesEqual(std::string_view a, std::string_view b);

// Integer value of a profile text: leading blanks, an optional sign, then decimal digits up to the first
// other character ("102abc" is 102). No digits give 0; values beyond 32 bits saturate. Never throws.
int ParseProfileInt(std::string_view text);

// UTF-8 text of one line of a file, given the line's bytes without its line end.
using LineDecoder = std::function<std::string(std::string_view line)>;

// An ini file held as its bytes, with the four profile operations of the Windows profile functions.
// Section and key names compare case-insensitively. Each line is read through the decoder (lines of one
// file may differ in encoding; without a decoder the bytes are taken as UTF-8); a line of ASCII bytes is
// the same in every encoding a decoder meets and is taken as it is. A byte-order mark before the first line
// is kept and not read. Writes keep every other section, key, comment and blank line, the file's line ends
// (CRLF or LF) and the bytes of every line whose value they leave as it reads; a line they change or add
// is UTF-8. The conventions say how values read and which line end a new file gets.
class IniProfile {
public:
    IniProfile() = default;
    explicit IniProfile(std::string_view bytes, LineDecoder decoder = {}, ProfileConventions conventions = {});

    // The key's value text as written (up to a NUL byte), with the blanks around it trimmed and, where the
    // conventions remove them, one pair of enclosing quotes; defaultValue when the section or key is missing.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue = {}) const;
    // The key's value as GetProfileString reads it, read by ParseProfileInt; defaultValue when the section or
    // key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;
    // Sets the key's value, creating the section and the key when missing; a key line that already reads
    // as that value is left as it is. A value ends at its first line feed or NUL byte, which a one-line ini
    // value cannot hold.
    void WriteProfileString(std::string_view section, std::string_view key, std::string_view value);
    // Sets the key's value to the decimal text of the int.
    void WriteProfileInt(std::string_view section, std::string_view key, int value);
    // Sets several keys of one section in one pass, as that many WriteProfileString calls in this order
    // would (the keys are distinct).
    void WriteProfileStrings(std::string_view section,
                             const std::vector<std::pair<std::string, std::string>>& keysAndValues);
    // Values of several keys of one section in one pass, as GetProfileString reads them; nullopt for a
    // missing key.
    std::vector<std::optional<std::string>> GetProfileStrings(std::string_view section,
                                                              const std::vector<std::string>& keys) const;

    // True when the file has a header line for the section.
    bool HasSection(std::string_view section) const;
    // Keys and values of a section in file order (values as GetProfileString reads them).
    std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

    // The whole file as bytes.
    std::string Text() const;

private:
    // One line of the text: where it starts, where its text ends (before "\r\n" or "\n") and where the
    // next line starts.
    struct LineSpan {
        std::size_t begin = 0;
        std::size_t textEnd = 0;
        std::size_t next = 0;
    };
    // The line starting at offset begin.
    LineSpan LineAt(std::size_t begin) const;
    // The line's bytes, without its line end.
    std::string_view BytesOf(const LineSpan& line) const;
    // The line's text as UTF-8: a view of its bytes, or of decoded when the line needed decoding.
    std::string_view TextOf(const LineSpan& line, std::string& decoded) const;
    // The section's header line, or false.
    bool FindSection(std::string_view section, LineSpan& header) const;
    // Calls visit(line, key, value) for each key=value line of the section below header, in file order,
    // until visit returns false; returns where the section's last non-blank line ends (header.next when
    // it has none before the walk ends).
    template <typename Visit> std::size_t ForEachEntry(const LineSpan& header, Visit visit) const;
    // The key's line within the section below header, or false.
    bool FindKey(const LineSpan& header, std::string_view key, LineSpan& found) const;
    // A value of a key line as the reads return it.
    std::string_view ReadValue(std::string_view value) const;

    // The file as it is held: its bytes in one string, so that a file of many tiny lines costs no more
    // than its size.
    std::string m_text;
    LineDecoder m_decoder;
    bool m_valueQuotesRemoved = false;
    std::size_t m_start = 0;      // where the first line begins: behind a byte-order mark
    std::string m_lineEnd = "\n"; // line end of new lines: the first one the file uses, else the conventions'
};
