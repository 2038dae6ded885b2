// URL encoding, the substring test, and the JSON file reader's failures.

#include <gtest/gtest.h>

#include "plugin/framework/Categories/NSJSONSerialization+VEXA.h"
#include "plugin/framework/Categories/NSString+VEXA.h"
#include "tests/support/TempDir.h"

namespace {

TEST(EncodedForURL, EscapesEverythingButUnreservedCharacters) {
    struct Case {
        const char* input;
        const char* expected;
    };
    for (const Case& c : {
             Case{"", ""},
             Case{"AZaz09-._~", "AZaz09-._~"},
             Case{"a b/c?d&e%f", "a%20b%2Fc%3Fd%26e%25f"},
             Case{"!*'();:@&=+$,/?%#[]", "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D"},
             Case{"<>\"{}|\\^`", "%3C%3E%22%7B%7D%7C%5C%5E%60"},
             Case{"\t\n\x7F", "%09%0A%7F"},
             Case{"%20", "%2520"},  // not idempotent
             Case{"\xC3\xA9", "%C3%A9"},
             Case{"\xE2\x82\xAC", "%E2%82%AC"},
             Case{"\xF0\x9F\x98\x80", "%F0%9F%98%80"},
         })
        EXPECT_EQ(encodedForURL(c.input), c.expected) << c.input;
}

TEST(EncodedForURL, Latin1GivesOneEscapePerCharacter) {
    struct Case {
        const char* input;
        std::optional<std::string> expected;
    };
    for (const Case& c : {
             Case{"", std::string()}, Case{"a b", std::string("a%20b")},
             Case{"caf\xC3\xA9", std::string("caf%E9")}, Case{"\xC3\xBF\xC2\xA0", std::string("%FF%A0")},
             Case{"\xE2\x82\xAC", std::nullopt},  // the euro sign is not in Latin-1
             Case{"ok\xFF", std::nullopt},        // not UTF-8
             Case{"\xC0\xA0", std::nullopt},      // overlong form of a space
             Case{"\xC3", std::nullopt},          // cut short
         })
        EXPECT_EQ(encodedForURLLatin1(c.input), c.expected) << c.input;
}

TEST(ContainsSubstring, CaseSensitiveAndNeverTheEmptyText) {
    struct Case {
        const char* text;
        const char* needle;
        bool expected;
    };
    for (const Case& c : {Case{"", "", false}, Case{"abc", "", false}, Case{"abc", "abc", true},
                          Case{"abc", "b", true}, Case{"abc", "B", false}, Case{"abc", "abcd", false},
                          Case{"na\xC3\xAFve", "\xC3\xAF", true}, Case{"", "a", false}})
        EXPECT_EQ(containsSubstring(c.text, c.needle), c.expected) << c.text << " / " << c.needle;
}

TEST(ContainsSubstring, CanonicallyEquivalentTextsMatchButNeverHalfACharacter) {
    struct Case {
        const char* text;
        const char* needle;
        bool expected;
    };
    const char* composed = "caf\xC3\xA9";     // é as one code point
    const char* decomposed = "cafe\xCC\x81";  // e + combining acute accent
    for (const Case& c : {Case{composed, decomposed, true}, Case{decomposed, composed, true},
                          Case{"un caf\xC3\xA9 noir", "e\xCC\x81 n", true}, Case{decomposed, "cafe", false},
                          Case{composed, "cafe", false}, Case{decomposed, "caf", true},
                          Case{"\xC3\x85ngstr\xC3\xB6m", "A\xCC\x8Angstro\xCC\x88m", true},
                          Case{composed, "\xC3\x89", false}, Case{"caf\xC3\xA9\xFF", "caf\xC3\xA9", true}})
        EXPECT_EQ(containsSubstring(c.text, c.needle), c.expected) << c.text << " / " << c.needle;
}

class JSONFileTest : public ::testing::Test {
protected:
    // The exception's name and reason, or "none" when the call succeeded.
    std::pair<std::string, std::string> failure(const std::filesystem::path& path, uint64_t options = 0) {
        try {
            kopaJSONObjectWithContentsOfFile(path, options);
        } catch (const KOPAException& e) {
            return {e.name(), e.reason()};
        }
        return {"none", ""};
    }
    testsupport::TempDir dir;
};

TEST_F(JSONFileTest, ReadsDictionariesAndArrays) {
    dir.write("d.json", R"({"name":"Zandrel","versions":[1,2.5,true,null]})");
    EXPECT_EQ(kopaJSONObjectWithContentsOfFile(dir / "d.json", 0).toJson(),
              R"({"name":"Zandrel","versions":[1,2.5,true,null]})");
    dir.write("a.json", "[]");
    EXPECT_TRUE(kopaJSONObjectWithContentsOfFile(dir / "a.json", KOPAJSONReadingMutableContainers).isArray());
}

TEST_F(JSONFileTest, MalformedJSONIsADeserializationError) {
    for (const char* text : {"", "{", "{\"a\":}", "[1,2", "nope", "{\"a\":1} trailing", "\"\xFF\""}) {
        dir.write("bad.json", text);
        const auto [name, reason] = failure(dir / "bad.json");
        EXPECT_EQ(name, "JSONDeserializationError") << text;
        EXPECT_NE(reason.find("parse error"), std::string::npos) << reason;
    }
}

TEST_F(JSONFileTest, ScalarsNeedTheFragmentOption) {
    dir.write("s.json", "42");
    EXPECT_EQ(failure(dir / "s.json").first, "JSONDeserializationError");
    EXPECT_EQ(kopaJSONObjectWithContentsOfFile(dir / "s.json", KOPAJSONReadingFragmentsAllowed).asInteger(),
              42);
}

TEST_F(JSONFileTest, UnreadableFileIsAnErrorNotAnEmptyResult) {
    auto [name, reason] = failure(dir / "missing.json");
    EXPECT_EQ(name, "NSInvalidArgumentException");
    EXPECT_NE(reason.find("missing.json: No such file or directory"), std::string::npos) << reason;
    std::tie(name, reason) = failure(dir.path());
    EXPECT_EQ(name, "NSInvalidArgumentException");
    EXPECT_NE(reason.find("Is a directory"), std::string::npos) << reason;
}

TEST(ContentsOfFile, ReadsEveryByte) {
    testsupport::TempDir dir;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    dir.write("blob", bytes);
    auto contents = kopaContentsOfFile(dir / "blob");
    ASSERT_TRUE(contents.isOk());
    EXPECT_EQ(*contents, bytes);
    EXPECT_FALSE(kopaContentsOfFile(dir / "nothing").isOk());
}

}  // namespace

namespace {

TEST_F(JSONFileTest, DeeplyNestedFilesAreReadNotCrashedOn) {
    std::string text(100000, '[');
    text += std::string(100000, ']');
    dir.write("deep.json", text);
    platform::Value value = kopaJSONObjectWithContentsOfFile(dir / "deep.json", 0);
    int depth = 0;
    for (const platform::Value* v = &value; v->isArray() && !v->asArray().empty(); v = &v->asArray()[0])
        ++depth;
    EXPECT_EQ(depth, 99999);
    dir.write("deep-broken.json", std::string(100000, '['));
    EXPECT_EQ(failure(dir / "deep-broken.json").first, "JSONDeserializationError");
}

}  // namespace
