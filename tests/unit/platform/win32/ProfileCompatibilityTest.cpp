#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "TempDir.h"
#include "WineEnvironment.h"
#include "core/capacity/Monitor.h"
#include "platform/win32/Win32Platform.h"
#include "core/settings/IniProfile.h"

// After the project headers: windows.h renames functions that share names with their methods.
#include <windows.h>

#undef GetProfileString
#undef GetProfileInt
#undef WriteProfileString

// The settings file as Windows' own profile functions read it, against the agent's profile reader with the
// Windows conventions. Rows whose two columns differ are the known differences; they matter only for files
// edited by hand.
namespace {

constexpr int kNoInt = -77;
const char* const kNoString = "<missing>";

struct WindowsReading {
    std::string text;
    int number = 0;
};

std::string RawContent(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

WindowsReading ReadWithWindows(const std::string& path, const char* key = "Key") {
    char buffer[1024] = {};
    GetPrivateProfileStringA("Setting", key, kNoString, buffer, sizeof buffer, path.c_str());
    return {buffer, static_cast<int>(GetPrivateProfileIntA("Setting", key, kNoInt, path.c_str()))};
}

struct Row {
    const char* what;
    std::string file;
    std::string windowsText;
    std::string oursText;
    int windowsInt;
    int oursInt;
};

} // namespace

TEST(ProfileCompatibility, ValuesReadByWindowsAndByTheAgent) {
    const std::string defaultText = kNoString;
    const Row rows[] = {
        // Same reading.
        {"plain", "[Setting]\r\nKey=abc\r\n", "abc", "abc", 0, 0},
        {"number", "[Setting]\r\nKey=-5\r\n", "-5", "-5", -5, -5},
        {"trailing text after digits", "[Setting]\r\nKey=102abc\r\n", "102abc", "102abc", 102, 102},
        {"blanks around value", "[Setting]\r\nKey=  42  \r\n", "42", "42", 42, 42},
        {"blanks around key", "[Setting]\r\n  Key  =7\r\n", "7", "7", 7, 7},
        {"LF line ends", "[Setting]\nKey=8\n", "8", "8", 8, 8},
        {"no line end at the end", "[Setting]\r\nKey=9", "9", "9", 9, 9},
        {"names in another case", "[SETTING]\r\nkey=3\r\n", "3", "3", 3, 3},
        {"missing key", "[Setting]\r\nOther=1\r\n", defaultText, defaultText, kNoInt, kNoInt},
        {"missing section", "[Other]\r\nKey=1\r\n", defaultText, defaultText, kNoInt, kNoInt},
        {"comment after value", "[Setting]\r\nKey=5 ;note\r\n", "5 ;note", "5 ;note", 5, 5},
        {"duplicate key: first wins", "[Setting]\r\nKey=1\r\nKey=2\r\n", "1", "1", 1, 1},
        {"not a number", "[Setting]\r\nKey=abc\r\n", "abc", "abc", 0, 0},
        {"duplicate section: first wins", "[Setting]\r\nA=1\r\n[Setting]\r\nKey=2\r\n", defaultText, defaultText,
         kNoInt, kNoInt},
        {"double quotes", "[Setting]\r\nKey=\"D:\\state\\\"\r\n", "D:\\state\\", "D:\\state\\", 0, 0},
        {"quoted number", "[Setting]\r\nKey=\"1\"\r\n", "1", "1", 1, 1},
        {"single quotes", "[Setting]\r\nKey='12'\r\n", "12", "12", 12, 12},
        {"opening quote only", "[Setting]\r\nKey=\"abc\r\n", "\"abc", "\"abc", 0, 0},
        {"text behind the closing quote", "[Setting]\r\nKey=\"a\" b\r\n", "\"a\" b", "\"a\" b", 0, 0},
        {"quotes of two kinds", "[Setting]\r\nKey=\"a'\r\n", "\"a'", "\"a'", 0, 0},
        {"plus sign", "[Setting]\r\nKey=+7\r\n", "+7", "+7", 7, 7},
        {"commented-out key", "[Setting]\r\n;Key=4\r\n", defaultText, defaultText, kNoInt, kNoInt},
        {"hash comment", "[Setting]\r\n#x=1\r\nKey=4\r\n", "4", "4", 4, 4},
        {"blanks in the header", "[ Setting ]\r\nKey=6\r\n", "6", "6", 6, 6},
        // Differences.
        {"lone pair of quotes", "[Setting]\r\nKey=\"\"\r\n", "", "", kNoInt, 0},
        {"hexadecimal", "[Setting]\r\nKey=0x10\r\n", "0x10", "0x10", 16, 0},
        {"empty value", "[Setting]\r\nKey=\r\n", "", "", kNoInt, 0},
        {"beyond 32 bits", "[Setting]\r\nKey=99999999999\r\n", "99999999999", "99999999999", 1215752191, 2147483647},
        {"just beyond int", "[Setting]\r\nKey=2147483648\r\n", "2147483648", "2147483648", -2147483647 - 1, 2147483647},
        {"below int", "[Setting]\r\nKey=-2147483649\r\n", "-2147483649", "-2147483649", 2147483647, -2147483647 - 1},
    };
    const Win32Platform platform;
    TempDir temp;
    int index = 0;
    for (const Row& row : rows) {
        // A new file name per row: Windows caches a profile file it has read.
        const std::string path = temp.Folder() + "row" + std::to_string(index++) + ".ini";
        WriteRaw(path, row.file);
        const WindowsReading windows = ReadWithWindows(path);
        const IniProfile ours(row.file, {}, platform.SettingsFileConventions());
        EXPECT_EQ(windows.text, row.windowsText) << row.what;
        EXPECT_EQ(windows.number, row.windowsInt) << row.what;
        EXPECT_EQ(ours.GetProfileString("Setting", "Key", kNoString), row.oursText) << row.what;
        EXPECT_EQ(ours.GetProfileInt("Setting", "Key", kNoInt), row.oursInt) << row.what;
    }
}

// A file written by Windows' profile functions, as the settings of an earlier installation are, reads
// back to the same values with the agent's reader once the folder keys lose their quotes.
TEST(ProfileCompatibility, AFileWrittenByWindowsReadsBackInTheAgent) {
    if (GetACP() != 932) {
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
    }
    TempDir temp;
    const std::string path = temp.Folder() + "tarvellin.ini";
    const std::string freeCp932 = "\x8B\xF3\x97\x65\x97\xCA"
                                  "100 MByte";
    const std::string freeUtf8 = "\xE7\xA9\xBA\xE5\xAE\xB9\xE9\x87\x8F"
                                 "100 MByte";
    ASSERT_TRUE(WritePrivateProfileStringA("Setting", "Path", "\"D:\\\x8F\xF3\x91\xD4\\\"", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Setting", "Filename", freeCp932.c_str(), path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Setting", "Port", "-1", path.c_str()));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str()); // flush Windows' cache

    Win32Platform platform;
    const auto text = platform.ReadTextFile(path);
    ASSERT_TRUE(text.has_value());
    const IniProfile ours(*text);
    EXPECT_EQ(ours.GetProfileString("Setting", "Path"), "\"D:\\\xE7\x8A\xB6\xE6\x85\x8B\\\"");
    EXPECT_EQ(ours.GetProfileString("Setting", "Filename"), freeUtf8);
    EXPECT_EQ(ours.GetProfileInt("Setting", "Port", 8085), -1);
}

// The agent's save, read by Windows' profile functions: the same values, the same code page.
TEST(ProfileCompatibility, AFileSavedByTheAgentReadsBackInWindows) {
    if (GetACP() != 932) {
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
    }
    TempDir temp;
    const std::string path = temp.Folder() + "tarvellin.ini";
    IniProfile ours;
    ours.WriteProfileString("Setting", "Path", "\"D:\\\xE7\x8A\xB6\xE6\x85\x8B\\\"");
    ours.WriteProfileString("Setting", "Filename",
                            "\xE7\xA9\xBA\xE5\xAE\xB9\xE9\x87\x8F"
                            "100 MByte");
    ours.WriteProfileInt("Setting", "Nokori", -100);
    Win32Platform platform;
    ASSERT_TRUE(platform.ReplaceFileAtomically(path, ours.Text()));

    EXPECT_EQ(ReadWithWindows(path, "Path").text, "D:\\\x8F\xF3\x91\xD4\\");
    EXPECT_EQ(ReadWithWindows(path, "Filename").text, "\x8B\xF3\x97\x65\x97\xCA"
                                                      "100 MByte");
    EXPECT_EQ(ReadWithWindows(path, "Nokori").number, -100);
}

// The agent's own load and save on Windows: a file whose only Shift-JIS text (half-width katakana) also forms
// valid UTF-8 stays in the ANSI code page; a new file ends its lines in CRLF.
TEST(ProfileCompatibility, TheAgentKeepsTheSettingsFileAsWindowsHasIt) {
    if (GetACP() != 932) {
        GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 932";
    }
    TempDir temp;
    const std::string path = temp.Folder() + "tarvellin.ini";
    const std::string katakana = "[Setting]\r\nPath=\"D:\\\xCF\xB2\\\"\r\n"; // ﾏｲ
    WriteRaw(path, katakana);
    Win32Platform platform;
    Monitor monitor(platform, path);
    monitor.LoadSettings();
    EXPECT_EQ(monitor.Settings().Path, "D:\\\xEF\xBE\x8F\xEF\xBD\xB2\\");
    monitor.SaveSettings();
    EXPECT_TRUE(RawContent(path).starts_with(katakana + "Filename=\r\n")) << RawContent(path);

    const std::string created = temp.Folder() + "new.ini";
    Monitor(platform, created).SaveSettings();
    const std::string bytes = RawContent(created);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 34); // the section and 33 keys
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\r'), 34);
}
