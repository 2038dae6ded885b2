// The shared UTF-8 decoder against an encoder: a byte sequence decodes exactly when it is the
// encoding of a Unicode scalar value, checked over every lead and second byte with the telling
// later bytes, and seeded random noise.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/foundation/DisplayText.h"
#include "platform/foundation/UTF8.h"
#include "platform/ui/FrontEndSupport.h"

namespace {

using platform::UTF8;

std::string encode(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

bool isScalar(char32_t c) {
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

TEST(UTF8Test, EveryScalarValueDecodesFromItsEncoding) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (!isScalar(c)) continue;
        const std::string bytes = "x" + encode(c) + "y";
        char32_t decoded = 0;
        ASSERT_EQ(UTF8::decode(bytes, 1, decoded), bytes.size() - 2) << std::hex << uint32_t{c};
        ASSERT_EQ(uint32_t{decoded}, uint32_t{c});
        // Cut short, it is refused.
        if (bytes.size() > 3) {
            ASSERT_EQ(UTF8::decode(std::string_view(bytes).substr(0, bytes.size() - 2), 1, decoded), 0u);
        }
    }
}

// Only the second byte's range depends on the lead (E0, ED, F0, F4 narrow it); later bytes
// need only the edges of the continuation range and a few others.
const unsigned kLaterBytes[] = {0x00, 0x41, 0x7F, 0x80, 0x81, 0x9F, 0xA0, 0xBE, 0xBF, 0xC0, 0xF5, 0xFF};

TEST(UTF8Test, ShortSequencesDecodeExactlyWhenTheyEncodeAScalar) {
    std::unordered_map<std::string, char32_t> encodings;
    for (char32_t c = 0; c < 0x10000; ++c)
        if (isScalar(c)) encodings.emplace(encode(c), c);
    std::string s(3, '\0');
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b)
            for (unsigned c : kLaterBytes) {
                s[0] = static_cast<char>(a), s[1] = static_cast<char>(b), s[2] = static_cast<char>(c);
                size_t expected = 0;
                char32_t value = 0;
                for (size_t n = 1; n <= 3 && !expected; ++n)
                    if (auto it = encodings.find(s.substr(0, n)); it != encodings.end())
                        expected = n, value = it->second;
                char32_t decoded = 0;
                const size_t length = UTF8::decode(s, 0, decoded);
                ASSERT_EQ(length, expected) << std::hex << a << " " << b << " " << c;
                if (length) {
                    ASSERT_EQ(uint32_t{decoded}, uint32_t{value});
                }
            }
}

TEST(UTF8Test, FourByteSequencesDecodeExactlyWhenTheyEncodeAScalar) {
    auto check = [](const std::string& s) {
        char32_t decoded = 0;
        const size_t length = UTF8::decode(s, 0, decoded);
        if (static_cast<unsigned char>(s[0]) < 0xF0) return;  // shorter leads: the test above
        if (length == 0) {
            // No scalar of four bytes is spelt so.
            char32_t c = ((s[0] & 0x07) << 18) | ((s[1] & 0x3F) << 12) | ((s[2] & 0x3F) << 6) | (s[3] & 0x3F);
            ASSERT_FALSE(c >= 0x10000 && isScalar(c) && encode(c) == s) << std::hex << uint32_t{c};
        } else {
            ASSERT_EQ(length, 4u);
            ASSERT_TRUE(isScalar(decoded) && decoded >= 0x10000);
            ASSERT_EQ(encode(decoded), s);
        }
    };
    std::string s(4, '\0');
    // Every lead from F0 with every second byte, and the telling later ones.
    for (unsigned a = 0xF0; a <= 0xFF; ++a)
        for (unsigned b = 0; b < 256; ++b)
            for (unsigned c : kLaterBytes)
                for (unsigned d : kLaterBytes) {
                    s = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                         static_cast<char>(d)};
                    check(s);
                }
    std::mt19937 random(8);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 300000; ++i) {
        // A four-byte lead, then mostly continuation bytes.
        s[0] = static_cast<char>(0xF0 | (byte(random) & 0x0F));
        for (size_t k = 1; k < 4; ++k)
            s[k] = static_cast<char>(byte(random) < 224 ? 0x80 | (byte(random) & 0x3F) : byte(random));
        check(s);
    }
}

// The terminal's walk over text takes the decoder's answers: a character, or one byte on.
TEST(UTF8Test, NextCodePointStepsAsTheDecoderSays) {
    std::mt19937 random(13);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int k = 0; k < 32; ++k)
            text += random() % 2 ? encode(static_cast<char32_t>(random() % 0x110000))
                                 : std::string(1, static_cast<char>(byte(random)));
        for (size_t pos = 0; pos < text.size();) {
            char32_t expected = 0;
            const size_t length = UTF8::decode(text, pos, expected);
            size_t next = pos;
            auto got = platform::nextCodePoint(text, next);
            ASSERT_EQ(got.has_value(), length > 0);
            if (got) {
                ASSERT_EQ(uint32_t{*got}, uint32_t{expected});
            }
            ASSERT_EQ(next, pos + (length ? length : 1));
            pos = next;
        }
    }
}

// What a replacing reader swaps for one U+FFFD, and the whole-text checks built on the decoder.
TEST(UTF8Test, MalformedLengthIsTheLongestWellFormedStart) {
    struct Case {
        std::string text;
        size_t malformed;  // at offset 0
        size_t firstMalformed;
    };
    constexpr size_t kNone = std::string_view::npos;
    const Case cases[] = {
        {"a\xC3\xBC", 0, kNone},
        {"\xF0\x9F\x99\x82", 0, kNone},
        {"\xFF", 1, 0},
        {"\x80x", 1, 0},     // a lone continuation byte
        {"\xC0\xAF", 1, 0},  // overlong lead: no sequence starts with it
        {"\xC3", 1, 0},      // cut short at the end
        {"\xE2\x80", 2, 0},  // cut short after a good start
        {"\xE2\x80(", 2, 0},
        {"\xE0\x80\xAF", 1, 0},  // overlong in three bytes: the second byte is out of range
        {"\xED\xA0\x80", 1, 0},  // a surrogate
        {"\xF0\x9F\x99(", 3, 0},
        {"\xF4\x90\x80\x80", 1, 0},  // past U+10FFFF
        {"ok \xC3\xBC then \xFF", 0, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::DisplayText::printable(c.text));
        EXPECT_EQ(UTF8::malformedLength(c.text, 0), c.malformed);
        EXPECT_EQ(UTF8::firstMalformed(c.text), c.firstMalformed);
        EXPECT_EQ(UTF8::isValid(c.text), c.firstMalformed == kNone);
    }
    EXPECT_TRUE(UTF8::isValid(""));
}

TEST(UTF8Test, EncodedSurrogatesAreNamedOnlyForSurrogates) {
    EXPECT_EQ(UTF8::encodedSurrogate("\xED\xA0\x80", 0), char32_t{0xD800});
    EXPECT_EQ(UTF8::encodedSurrogate("x\xED\xBF\xBF", 1), char32_t{0xDFFF});
    for (const char* notOne : {"\xED\x9F\xBF", "\xED\xA0", "\xED\xA0(", "\xEE\xA0\x80", "abc"})
        EXPECT_EQ(UTF8::encodedSurrogate(notOne, 0), std::nullopt)
            << platform::DisplayText::printable(notOne);
}

// Messages show a long text by its start: the cut never splits a character.
TEST(UTF8Test, TruncatedCutsBeforeTheCharacterTheLimitFallsIn) {
    struct Case {
        std::string text;
        size_t limit;
        std::string expected;
    };
    const Case cases[] = {
        {"ab\xC3\xBC", 3, "ab"},                    // inside a 2-byte character
        {"a\xE2\x82\xAC", 2, "a"},                  // inside a 3-byte character, after its lead
        {"a\xE2\x82\xAC", 3, "a"},                  // inside a 3-byte character, one byte short
        {"a\xF0\x9F\x99\x82", 4, "a"},              // inside a 4-byte character
        {"\xF0\x9F\x99\x82", 2, ""},                // nothing whole fits
        {"a\xC3\xBC\xE2\x82\xAC", 3, "a\xC3\xBC"},  // at a boundary
        {"abc", 0, ""},
        {"abc", 3, "abc"},               // at the end
        {"a\xC3\xBC", 10, "a\xC3\xBC"},  // beyond the end
        {"", 5, ""},
        {"ab\xFF\xFE", 3, "ab\xFF"},  // bytes that are never UTF-8 are cut between
        {"ab\x80\x80\x80z", 4, "a"},  // a stray run of continuation bytes goes with the byte before it
        {"ab\xE2\x82", 3, "ab"},      // a character cut short already
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::DisplayText::printable(c.text) + " at " + std::to_string(c.limit));
        EXPECT_EQ(UTF8::truncated(c.text, c.limit), c.expected);
    }
}

}  // namespace
