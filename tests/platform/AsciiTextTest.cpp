// The ASCII word helpers of the command readers: only A to Z change case, only short digit runs
// are numbers, words join with single spaces.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/AsciiText.h"

namespace {

using platform::AsciiText;

TEST(AsciiTextTest, LowerChangesOnlyAsciiLetters) {
    EXPECT_EQ(AsciiText::lower("Menu File > CLOSE 42"), "menu file > close 42");
    EXPECT_EQ(AsciiText::lower("\xC3\x84pfel \xC3\x9C"), "\xC3\x84pfel \xC3\x9C");  // Äpfel Ü: bytes kept
    EXPECT_EQ(AsciiText::lower("@[`{"), "@[`{");  // the neighbours of A-Z and a-z
    EXPECT_EQ(AsciiText::lower('Q'), 'q');
    EXPECT_EQ(AsciiText::lower('\xC4'), '\xC4');
}

TEST(AsciiTextTest, NumbersAreOneToNineDigits) {
    struct Case {
        std::string text;
        bool number;
    };
    const Case cases[] = {{"1", true},   {"007", true},       {"123456789", true}, {"1234567890", false},
                          {"", false},   {"-1", false},       {"+1", false},       {"1.5", false},
                          {" 1", false}, {"\xD9\xA3", false},  // an Arabic-Indic digit
                          {"12a", false}};
    for (const auto& c : cases) EXPECT_EQ(AsciiText::isNumber(c.text), c.number) << c.text;
}

TEST(AsciiTextTest, JoinWordsFromAnIndex) {
    const std::vector<std::string> words{"menu", "Plug-ins", ">", "Zandrel"};
    EXPECT_EQ(AsciiText::joinWords(words, 0), "menu Plug-ins > Zandrel");
    EXPECT_EQ(AsciiText::joinWords(words, 1), "Plug-ins > Zandrel");
    EXPECT_EQ(AsciiText::joinWords(words, 3), "Zandrel");
    EXPECT_EQ(AsciiText::joinWords(words, 4), "");
    EXPECT_EQ(AsciiText::joinWords(words, 9), "");
    EXPECT_EQ(AsciiText::joinWords({"a", "", "b"}, 0), "a  b");
}

}  // namespace
