#include "core/dialogs/DataExchange.h"

#include <gtest/gtest.h>

TEST(DataExchangeTest, ParseIntTakesAWholeNumberWithBlanksAndSign) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"5", 5},
        {" 12 ", 12},
        {"\t9\t", 9},
        {"-3", -3},
        {"+7", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {"  ", std::nullopt},
        {"abc", std::nullopt},
        {"5x", std::nullopt},
        {"1 2", std::nullopt},
        {"+", std::nullopt},
        {"+-1", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseInt(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(DataExchangeTest, EditLengthCountsTheUnitsAnEditCounts) {
    EXPECT_EQ(EditLength(""), 0);
    EXPECT_EQ(EditLength("ABCDEFGHIJ"), 10);
    EXPECT_EQ(EditLength("ドライブ"), 4);
    EXPECT_EQ(EditLength("\xF0\x9F\x98\x80"), 2); // beyond the basic plane: a surrogate pair
}

TEST(DataExchangeTest, MessagesNameWhatIsExpected) {
    EXPECT_STREQ(ValidationMessage::kInteger, "整数を入力してください。");
    EXPECT_EQ(ValidationMessage::Range(0, 65535), "0 から 65535 までの整数を入力してください。");
    EXPECT_EQ(ValidationMessage::Length(9), "9 文字以内で入力してください。");
}
