#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// True when two section or key names are equal, ASCII letters compared without case.
bool ProfileNamesEqual(std::string_view a, std::string_view b);

// Integer value of a profile text: leading blanks, an optional sign, then decimal digits up to the first
// other character ("102abc" is 102). No digits give 0; values beyond 32 bits saturate. Never throws.
int ParseProfileInt(std::string_view text);

// An ini file held as text, with the four profile operations of the Windows profile functions. Section
// and key names compare case-insensitively. Writes keep every other section, key, comment and blank line
// and the file's line ends (CRLF or LF) as they were.
class IniProfile {
public:
    IniProfile() = default;
    explicit IniProfile(std::string_view text);

    // The key's value text as written (up to a NUL byte), with only the blanks around it trimmed;
    // defaultValue when the section or key is missing.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue = {}) const;
    // The key's value read by ParseProfileInt; defaultValue when the section or key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;
    // Sets the key's value, creating the section and the key when missing. A value ends at its first line
    // feed or NUL byte, which a one-line ini value cannot hold.
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
    // Keys and values of a section in file order (values trimmed as by GetProfileString).
    std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

    // The whole file as text.
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
    std::string_view TextOf(const LineSpan& line) const;
    // The section's header line, or false.
    bool FindSection(std::string_view section, LineSpan& header) const;
    // Calls visit(line, key, value) for each key=value line of the section below header, in file order,
    // until visit returns false; returns where the section's last non-blank line ends (header.next when
    // it has none before the walk ends).
    template <typename Visit> std::size_t ForEachEntry(const LineSpan& header, Visit visit) const;
    // The key's line within the section below header, or false.
    bool FindKey(const LineSpan& header, std::string_view key, LineSpan& found) const;

    // The file as it is held: one text, so that a file of many tiny lines costs no more than its size.
    std::string m_text;
    std::string m_lineEnd = "\n"; // line end of new lines: the first one the file uses
};
