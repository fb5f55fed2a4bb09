#include "Encoding.h"
#include "PosixPlatform.h"

#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "core/capacity/Monitor.h"
#include "core/settings/IniProfile.h"

namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes) {
    std::string result;
    for (const unsigned char b : bytes) {
        result.push_back(static_cast<char>(b));
    }
    return result;
}

TEST(CodePage932, ReplyHeadIsFortyFourBytes) {
    const std::string head = Utf8ToCodePage932("<html><body>データ更新受け付けました<BR><BR>");
    EXPECT_EQ(head.size(), 44u);
    EXPECT_EQ(head.substr(0, 12), "<html><body>");
    EXPECT_EQ(head.substr(12, 2), Bytes({0x83, 0x66})); // デ
}

TEST(CodePage932, ConvertsAndReplacesWhatItCannotMap) {
    const struct {
        const char* name;
        std::string utf8;
        std::string cp932;
    } cases[] = {
        {"free label", "空容量", Bytes({0x8B, 0xF3, 0x97, 0x65, 0x97, 0xCA})},
        {"ascii unchanged", "空容量12 MByte", Bytes({0x8B, 0xF3, 0x97, 0x65, 0x97, 0xCA}) + "12 MByte"},
        {"wave dash of Windows", "～", Bytes({0x81, 0x60})},
        {"half-width katakana", "ｱ", Bytes({0xB1})},
        {"unmappable letter", "aéb", "a?b"},
        {"unmappable emoji", "x\xF0\x9F\x98\x80y", "x?y"},
        {"invalid byte",
         "a\xFF"
         "b",
         "a?b"},
        {"cut sequence at end", "a\xE3\x83", "a?"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToCodePage932(c.utf8), c.cp932) << c.name;
    }
}

TEST(CodePage932, BackToUtf8ReplacesBrokenPairs) {
    EXPECT_EQ(CodePage932ToUtf8(Bytes({0x8B, 0xF3, 0x97, 0x65, 0x97, 0xCA})), "空容量");
    EXPECT_EQ(CodePage932ToUtf8(std::string("D:\\") + Bytes({0x83, 0x66})), "D:\\デ");
    EXPECT_EQ(CodePage932ToUtf8(Bytes({0x41, 0x81, 0x0A, 0x42})), "A?\nB"); // a lead byte keeps the line end
}

TEST(Utf8Validation, RejectsOverlongSurrogatesAndOutOfRange) {
    const struct {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"plain", true},
        {"空容量", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xC0\xAF", false},
        {"\xE0\x80\xAF", false},
        {"\xED\xA0\x80", false},
        {"\xF4\x90\x80\x80", false},
        {"\xE3\x83", false},
        {Bytes({0x8B, 0xF3}), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.bytes;
    }
}

const std::string kFreeCp932 = Bytes({0x8B, 0xF3, 0x97, 0x65, 0x97, 0xCA}); // 空容量
const std::string kPassCp932 = Bytes({0x83, 0x70, 0x83, 0x58});             // パス

TEST(TextLines, ValidUtf8StaysAndAnythingElseIsCodePage932) {
    PosixPlatform platform;
    EXPECT_EQ(platform.TextLineToUtf8("Path=\"/srv/状態/\""), "Path=\"/srv/状態/\"");
    EXPECT_EQ(platform.TextLineToUtf8("Filename=" + kFreeCp932), "Filename=空容量");
    EXPECT_EQ(platform.TextLineToUtf8("; caf\xE9"), "; caf?");
}

struct SettingsFileCase {
    const char* name;
    std::string bytes;
    std::string path;
    std::string filename;
};

void PrintTo(const SettingsFileCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsFileLinesTest : public ::testing::TestWithParam<SettingsFileCase> {};

// The settings file as it is kept on disk, each line read in its own encoding.
TEST_P(SettingsFileLinesTest, EachLineIsReadInItsOwnEncoding) {
    TempDir dir;
    dir.Write("tarvellin.ini", GetParam().bytes);
    PosixPlatform platform;
    const std::optional<std::string> text = platform.ReadTextFile(dir.Folder() + "tarvellin.ini");
    ASSERT_EQ(text, GetParam().bytes);
    const IniProfile ini(*text, [&](std::string_view line) { return platform.TextLineToUtf8(line); });
    EXPECT_EQ(ini.GetProfileString("Setting", "Path"), GetParam().path);
    EXPECT_EQ(ini.GetProfileString("Setting", "Filename"), GetParam().filename);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsFileLinesTest,
    ::testing::Values(
        SettingsFileCase{"Utf8WithOneCodePage932Comment",
                         "[Setting]\n; caf\xE9\nPath=\"/srv/状態/\"\nFilename=空容量1 MByte\n", "\"/srv/状態/\"",
                         "空容量1 MByte"},
        SettingsFileCase{"CodePage932File",
                         "[Setting]\nPath=\"D:\\" + kFreeCp932 + "\"\nFilename=" + kFreeCp932 + "1 MByte\n",
                         "\"D:\\空容量\"", "空容量1 MByte"},
        SettingsFileCase{"CrLfFileOfBothEncodings",
                         "[Setting]\r\nPath=\"/srv/状態/\"\r\nFilename=" + kFreeCp932 + "1 MByte\r\n", "\"/srv/状態/\"",
                         "空容量1 MByte"},
        SettingsFileCase{"ByteOrderMark", "\xEF\xBB\xBF[Setting]\nPath=\"/srv/状態/\"\n", "\"/srv/状態/\"", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A hand-edited comment in another encoding leaves the agent's own values as they are, and a save rewrites
// only the lines whose values changed.
TEST(SettingsFileLines, AgentValuesSurviveSaveAndReloadBesideLinesInCodePage932) {
    TempDir dir;
    const std::string status = dir.Folder() + "状態/";
    const std::string before = "; caf\xE9\n[Setting]\nPath=\"" + status +
                               "\"\nFilename=空容量1 MByte\nPass=" + kPassCp932 + "\n[Drives]\nC=\"/\"\n";
    dir.Write("tarvellin.ini", before);
    PosixPlatform platform;
    Monitor monitor(platform, dir.Folder() + "tarvellin.ini");
    monitor.LoadSettings();
    EXPECT_EQ(monitor.Settings().Path, status);
    EXPECT_EQ(monitor.Settings().Filename, "空容量1 MByte");
    EXPECT_EQ(monitor.Settings().Pass, "パス");

    monitor.Settings().Filename = "空容量2 MByte";
    monitor.SaveSettings();
    const std::string saved = dir.Read("tarvellin.ini");
    EXPECT_EQ(
        saved.rfind("; caf\xE9\n[Setting]\nPath=\"" + status + "\"\nFilename=空容量2 MByte\nPass=" + kPassCp932 + "\n",
                    0),
        0u)
        << saved;

    Monitor reloaded(platform, dir.Folder() + "tarvellin.ini");
    reloaded.LoadSettings();
    EXPECT_EQ(reloaded.Settings(), monitor.Settings());
}

} // namespace
