#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    // break or NUL byte, which a one-line ini value cannot hold.
    void WriteProfileString(std::string_view section, std::string_view key, std::string_view value);
    // Sets the key's value to the decimal text of the int.
    void WriteProfileInt(std::string_view section, std::string_view key, int value);

    // True when the file has a header line for the section.
    bool HasSection(std::string_view section) const;
    // Keys and values of a section in file order (values trimmed as by GetProfileString).
    std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

    // The whole file as text.
    std::string Text() const;

private:
    struct Line {
        std::string text;    // without its line end
        std::string lineEnd; // "\r\n", "\n", or empty for a last line without one
    };
    // Index of the section's header line, or npos.
    std::size_t FindSection(std::string_view section) const;
    // Index of the key's line within the section starting at header, or npos.
    std::size_t FindKey(std::size_t header, std::string_view key) const;
    // Index of the first line after the section starting at header.
    std::size_t SectionEnd(std::size_t header) const;
    // Inserts a line before index, giving it the file's line end.
    void InsertLine(std::size_t index, std::string text);

    std::vector<Line> m_lines;
    std::string m_lineEnd = "\n"; // line end of new lines: the first one the file uses
};
