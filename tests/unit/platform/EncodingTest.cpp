#include "Encoding.h"
#include "PosixPlatform.h"

#include <gtest/gtest.h>

#include "TempDir.h"

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

TEST(TextFiles, LegacyCodePageFileReadsAsUtf8AndUtf8StaysAsIs) {
    TempDir dir;
    PosixPlatform platform;
    dir.Write("sjis.ini", "[Setting]\nPath=\"D:\\" + Bytes({0x8B, 0xF3, 0x97, 0x65, 0x97, 0xCA}) + "\"\n");
    EXPECT_EQ(platform.ReadTextFile(dir.Folder() + "sjis.ini"), "[Setting]\nPath=\"D:\\空容量\"\n");
    dir.Write("utf8.ini", "[Setting]\nFilename=空容量1 MByte\n");
    EXPECT_EQ(platform.ReadTextFile(dir.Folder() + "utf8.ini"), "[Setting]\nFilename=空容量1 MByte\n");
    dir.Write("bom.ini", "\xEF\xBB\xBF[Setting]\n");
    EXPECT_EQ(platform.ReadTextFile(dir.Folder() + "bom.ini"), "[Setting]\n");
    EXPECT_EQ(platform.ReadTextFile(dir.Folder() + "absent.ini"), std::nullopt);
    EXPECT_EQ(platform.ToCodePage932("空容量"), Bytes({0x8B, 0xF3, 0x97, 0x65, 0x97, 0xCA}));
}

} // namespace
