// Text made safe to show: what is escaped and how, that the user's own text in any script is
// kept, and the cut on a character boundary.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/foundation/DisplayText.h"
#include "platform/foundation/UTF8.h"

namespace {

using platform::DisplayText;

// The bytes that would reach the terminal as controls: C0 and DEL.
const std::string kControlBytes = std::string(1, '\0') +
                                  "\x01\x02\x03\x04\x05\x06\x07\x08\t\n\x0b\x0c\r\x0e\x0f"
                                  "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f\x7f";

TEST(DisplayTextTest, EscapesWhatWouldDriveTheTerminalOrHideText) {
    struct Case {
        std::string text, shown;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"a\x1b[2Jb", "a\\x1b[2Jb"},
        {"line\nforged", "line\\nforged"},
        {"tab\there\r", "tab\\there\\r"},
        {"del\x7f", "del\\x7f"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\xC3\xBC\xE2\x80\xA6", "\xC3\xBC\xE2\x80\xA6"},  // ü… stay
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9C\xD0\xB8\xD1\x80 \xF0\x9F\x99\x82 e\xCC\x81",
         "Gr\xC3\xBC\xC3\x9F"
         "e \xE6\x97\xA5\xE6\x9C\xAC \xD0\x9C\xD0\xB8\xD1\x80 \xF0\x9F\x99\x82 e\xCC\x81"},
        {"back\\slash \"quoted\"", "back\\slash \"quoted\""},
        {"\xC2\x9B"
         "31m",
         "\\u009b31m"},  // a C1 control sequence introducer
        {"\xE2\x80\xAE"
         "evil",
         "\\u202eevil"},  // right-to-left override
        {"a\xE2\x81\xA6"
         "b\xE2\x81\xA9",
         "a\\u2066b\\u2069"},                                        // isolates
        {"pay\xE2\x80\x8Bpal\xEF\xBB\xBF", "pay\\u200bpal\\ufeff"},  // zero-width, byte order mark
        {"line\xE2\x80\xA8two", "line\\u2028two"},                   // line separator
        {"tag\xF3\xA0\x81\x81", "tag\\U000e0041"},                   // a tag character, above U+FFFF
        {"\xE2\x80\x8A\xE2\x80\x90", "\xE2\x80\x8A\xE2\x80\x90"},    // hair space, hyphen: visible
        {"bad\xFF\xC3", "bad\\xff\\xc3"},                            // not UTF-8, cut sequence
        {"\xC3(", "\\xc3("},
        {"\xC0\xAF", "\\xc0\\xaf"},                    // overlong form of '/'
        {"\xED\xA0\x80", "\\xed\\xa0\\x80"},           // a surrogate
        {"\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(DisplayText::printable(c.text), c.shown) << c.shown;
}

TEST(DisplayTextTest, CutsAfterWholeCharactersAndMarksTheCut) {
    struct Case {
        std::string text;
        size_t maxChars;
        std::string shown;
    };
    const Case cases[] = {
        {"abcdef", 3, "abc…"},
        {"abc", 3, "abc"},
        {"abcdef", 0, "abcdef"},
        {"\xC3\xBC\xC3\xBC\xC3\xBC", 2, "\xC3\xBC\xC3\xBC…"},          // never inside ü
        {"\xF0\x9F\x99\x82\xF0\x9F\x99\x82", 1, "\xF0\x9F\x99\x82…"},  // nor inside a four-byte one
        {"a\nb\nc", 3, "a\\nb…"},                                      // an escape is one character
        {"\xFF\xFE\xFD", 2, "\\xff\\xfe…"},
    };
    for (const auto& c : cases) EXPECT_EQ(DisplayText::printable(c.text, c.maxChars), c.shown) << c.text;
}

TEST(DisplayTextTest, NeverLeavesAControlByteOrBrokenTextOnAnyInput) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 2000; ++round) {
        std::string text(random() % 40, '\0');
        for (char& c : text) c = static_cast<char>(random() % 256);
        const std::string shown = DisplayText::printable(text);
        EXPECT_EQ(shown.find_first_of(kControlBytes), std::string::npos) << DisplayText::printable(shown);
        EXPECT_TRUE(platform::UTF8::isValid(shown)) << DisplayText::printable(shown);
        EXPECT_EQ(DisplayText::printable(shown), shown);  // already printable text is left alone
        // Escaping only ever adds: every printable ASCII byte of the input is still there, in order.
        size_t at = 0;
        for (char c : text) {
            if (c < 0x20 || c >= 0x7F) continue;
            at = shown.find(c, at);
            ASSERT_NE(at, std::string::npos) << shown;
            ++at;
        }
    }
}

}  // namespace
