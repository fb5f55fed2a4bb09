#include "core/settings/IniProfile.h"

#include <climits>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Latin1Lines.h"

namespace {

struct IntCase {
    std::string text;
    int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text);
}

class ParseProfileIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ParseProfileIntTest, ReadsLeadingDecimalNumber) {
    EXPECT_EQ(ParseProfileInt(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseProfileIntTest,
                         ::testing::Values(IntCase{"0", 0}, IntCase{"8085", 8085}, IntCase{"-5", -5}, IntCase{"+7", 7},
                                           IntCase{"  \t42", 42}, IntCase{"102abc", 102}, IntCase{"abc", 0},
                                           IntCase{"", 0}, IntCase{"-", 0}, IntCase{"+-3", 0}, IntCase{"- 3", 0},
                                           IntCase{"12 34", 12}, IntCase{"0x10", 0}, IntCase{"2147483647", INT_MAX},
                                           IntCase{"2147483648", INT_MAX}, IntCase{"-2147483648", INT_MIN},
                                           IntCase{"-2147483649", INT_MIN},
                                           IntCase{"99999999999999999999999999", INT_MAX},
                                           IntCase{"-99999999999999999999999999", INT_MIN},
                                           IntCase{std::string("12\0"
                                                               "3",
                                                               4),
                                                   12},
                                           IntCase{"\xff\xfe", 0}));

TEST(IniProfileTest, MissingFileSectionOrKeyGivesDefault) {
    const IniProfile empty;
    EXPECT_EQ(empty.GetProfileString("Setting", "Path", "dflt"), "dflt");
    EXPECT_EQ(empty.GetProfileInt("Setting", "Port", 8085), 8085);

    const IniProfile other("[Other]\nPort=1\n");
    EXPECT_EQ(other.GetProfileInt("Setting", "Port", 8085), 8085);

    const IniProfile noKey("[Setting]\nAuto=1\n");
    EXPECT_EQ(noKey.GetProfileInt("Setting", "Port", 8085), 8085);
    EXPECT_EQ(noKey.GetProfileString("Setting", "Path"), "");
}

TEST(IniProfileTest, NamesCompareCaseInsensitivelyAndValuesAreTrimmedOfBlanksOnly) {
    const IniProfile ini("[setting]\n  pORT \t= \t 9000 \t\nPath= \"C:\\a b\\\" \nPass=a b\n");
    EXPECT_EQ(ini.GetProfileInt("Setting", "Port", 0), 9000);
    EXPECT_EQ(ini.GetProfileString("SETTING", "path"), "\"C:\\a b\\\"");
    EXPECT_EQ(ini.GetProfileString("Setting", "Pass"), "a b");
}

TEST(IniProfileTest, FirstSectionAndFirstKeyWin) {
    const IniProfile ini("[Setting]\nPort=1\nPort=2\n[Setting]\nPort=3\nAuto=4\n");
    EXPECT_EQ(ini.GetProfileInt("Setting", "Port", 0), 1);
    EXPECT_EQ(ini.GetProfileInt("Setting", "Auto", 0), 0);
}

TEST(IniProfileTest, KeysOutsideTheSectionAndCommentsAreNotRead) {
    const IniProfile ini("Port=1\n;Auto=5\n[Setting]\n;Port=2\n# Time=3\n[Next]\nTime=4\n");
    EXPECT_EQ(ini.GetProfileInt("Setting", "Port", 8085), 8085);
    EXPECT_EQ(ini.GetProfileInt("Setting", "Time", 0), 0);
}

struct WriteCase {
    const char* name;
    std::string before;
    std::string section;
    std::string key;
    std::string value;
    std::string after;
};

class IniWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(IniWriteTest, WriteKeepsEverythingElse) {
    IniProfile ini(GetParam().before);
    ini.WriteProfileString(GetParam().section, GetParam().key, GetParam().value);
    EXPECT_EQ(ini.Text(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, IniWriteTest,
    ::testing::Values(
        WriteCase{"EmptyFileGetsSectionAndKey", "", "Setting", "Port", "1", "[Setting]\nPort=1\n"},
        WriteCase{"ExistingKeyReplacedInPlace", "[Setting]\nA=1\nPort=2\nB=3\n", "Setting", "port", "9",
                  "[Setting]\nA=1\nPort=9\nB=3\n"},
        WriteCase{"NewKeyAtEndOfSectionBeforeBlankLines", "[Setting]\nA=1\n\n\n[Other]\nX=1\n", "Setting", "B", "2",
                  "[Setting]\nA=1\nB=2\n\n\n[Other]\nX=1\n"},
        WriteCase{"NewSectionAtEnd", "; note\n[Other]\nX=1\n", "Setting", "B", "2",
                  "; note\n[Other]\nX=1\n[Setting]\nB=2\n"},
        WriteCase{"CrLfKept", "[Setting]\r\nA=1\r\n\r\n[Other]\r\nX=1\r\n", "Setting", "B", "2",
                  "[Setting]\r\nA=1\r\nB=2\r\n\r\n[Other]\r\nX=1\r\n"},
        WriteCase{"CrLfFileGetsCrLfSection", "[Other]\r\nX=1\r\n", "Setting", "B", "2",
                  "[Other]\r\nX=1\r\n[Setting]\r\nB=2\r\n"},
        WriteCase{"UnterminatedLastLineIsEnded", "[Setting]\nA=1", "Setting", "B", "2", "[Setting]\nA=1\nB=2\n"},
        WriteCase{"UnterminatedReplacedLineStaysUnterminated", "[Setting]\nA=1", "Setting", "A", "2", "[Setting]\nA=2"},
        WriteCase{"GarbageLinesKept", "\x01\x02garbage\n[Setting]\nno equals here\n\xff\xfe=\n", "Setting", "A", "1",
                  "\x01\x02garbage\n[Setting]\nno equals here\n\xff\xfe=\nA=1\n"},
        WriteCase{"LineBreakInValueCannotInjectKeys", "[Setting]\n", "Setting", "Pass", "x\n[Drives]\nC=/",
                  "[Setting]\nPass=x\n"},
        WriteCase{"NegativeIntWithMinus", "", "Setting", "Time", "-3", "[Setting]\nTime=-3\n"},
        WriteCase{"LineThatReadsAsTheValueKeepsItsSpelling", "[Setting]\n port = 9 \n", "Setting", "Port", "9",
                  "[Setting]\n port = 9 \n"},
        WriteCase{"ByteOrderMarkKeptAndNotRead", "\xEF\xBB\xBF[Setting]\nA=1\n", "Setting", "B", "2",
                  "\xEF\xBB\xBF[Setting]\nA=1\nB=2\n"},
        WriteCase{"ByteOrderMarkAloneIsAnEmptyFile", "\xEF\xBB\xBF", "Setting", "B", "2",
                  "\xEF\xBB\xBF[Setting]\nB=2\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

// A hand-edited file: UTF-8 lines of the agent's own beside lines in a legacy encoding (here Latin-1, so
// that 0xE9 is "é").
TEST(IniProfileTest, EachLineIsDecodedOnItsOwnAndOnlyChangedLinesAreRewritten) {
    const std::string before = "\xEF\xBB\xBF[Setting]\r\n; caf\xE9\r\nPath = \"/srv/\xE9t\xE9/\"\r\nPass=\xE9\r\n"
                               "Filename=空容量1 MByte\r\n[Caf\xE9]\r\nK=\xE9\r\n";
    IniProfile ini(before, Latin1UnlessUtf8);
    EXPECT_EQ(ini.GetProfileString("Setting", "Path"), "\"/srv/été/\"");
    EXPECT_EQ(ini.GetProfileString("Setting", "Pass"), "é");
    EXPECT_EQ(ini.GetProfileString("Setting", "Filename"), "空容量1 MByte");
    EXPECT_EQ(ini.GetProfileString("Café", "K"), "é");

    ini.WriteProfileStrings("Setting",
                            {{"Path", "\"/srv/été/\""}, {"Pass", "ü"}, {"Filename", "空容量2 MByte"}, {"Auto", "1"}});
    EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[Setting]\r\n; caf\xE9\r\nPath = \"/srv/\xE9t\xE9/\"\r\nPass=ü\r\n"
                          "Filename=空容量2 MByte\r\nAuto=1\r\n[Caf\xE9]\r\nK=\xE9\r\n");
    const IniProfile again(ini.Text(), Latin1UnlessUtf8);
    EXPECT_EQ(again.GetProfileString("Setting", "Path"), "\"/srv/été/\"");
    EXPECT_EQ(again.GetProfileString("Setting", "Pass"), "ü");
    EXPECT_EQ(again.GetProfileString("Setting", "Filename"), "空容量2 MByte");
}

TEST(IniProfileTest, NulBytesAndHugeLinesAreHandled) {
    std::string text("[Setting]\nPass=ab\0cd\n", 21);
    const std::string huge(1 << 20, 'x');
    text += "Path=" + huge + "\n";
    text += std::string("\0\0\0\n", 4);
    IniProfile ini(text);
    EXPECT_EQ(ini.GetProfileString("Setting", "Pass"), "ab");
    EXPECT_EQ(ini.GetProfileString("Setting", "Path"), huge);
    ini.WriteProfileInt("Setting", "Auto", 1);
    EXPECT_EQ(ini.Text(), text.substr(0, text.size() - 4) + std::string("\0\0\0\n", 4) + "Auto=1\n");
}

TEST(IniProfileTest, BatchWriteAndReadMatchOneKeyAtATime) {
    const std::vector<std::pair<std::string, std::string>> writes = {
        {"b", "2"}, {"New1", "x"}, {"A", "1\nInjected=1"}, {"New2", ""}, {"c", "3"}};
    for (const std::string before : {"", "[Setting]", "[Setting]\r\nA=0\r\n\r\n[Other]\r\nB=9\r\n",
                                     "x\n[setting]\nB=0\n;c=0\nC=0\nb=5\n\n \t\n", "[Setting]\nA=0"}) {
        IniProfile batch(before);
        batch.WriteProfileStrings("Setting", writes);
        IniProfile single(before);
        for (const auto& [key, value] : writes) {
            single.WriteProfileString("Setting", key, value);
        }
        EXPECT_EQ(batch.Text(), single.Text()) << before;

        const std::vector<std::string> keys = {"a", "B", "NEW1", "new2", "Missing", "Injected"};
        const std::vector<std::optional<std::string>> values = batch.GetProfileStrings("SETTING", keys);
        ASSERT_EQ(values.size(), keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string one = batch.GetProfileString("Setting", keys[i], "<none>");
            EXPECT_EQ(values[i].value_or("<none>"), one) << before << " " << keys[i];
        }
    }
}

TEST(IniProfileTest, EntriesListSectionInFileOrder) {
    const IniProfile ini("[Drives]\nc = \"/\"\n;x=1\nD=/mnt/d\n[Setting]\nE=/e\n");
    const auto entries = ini.Entries("drives");
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"c", "\"/\""}));
    EXPECT_EQ(entries[1], (std::pair<std::string, std::string>{"D", "/mnt/d"}));
    EXPECT_TRUE(ini.HasSection("DRIVES"));
    EXPECT_FALSE(ini.HasSection("Http"));
}

TEST(IniProfileTest, RandomBytesNeverBreakReadOrWrite) {
    unsigned state = 12345;
    for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int i = 0; i < 300; ++i) {
            state = state * 1103515245U + 12345U;
            const char alphabet[] = "[]=\r\n \t;\"Setting\0\xff";
            text += alphabet[(state >> 16) % (sizeof(alphabet) - 1)];
        }
        IniProfile ini(text);
        ini.WriteProfileString("Setting", "Path", "\"x\"");
        ini.WriteProfileInt("Setting", "Port", 1);
        const IniProfile again(ini.Text());
        EXPECT_EQ(again.GetProfileString("Setting", "Path"), "\"x\"");
        EXPECT_EQ(again.GetProfileInt("Setting", "Port", 0), 1);
    }
}

} // namespace
