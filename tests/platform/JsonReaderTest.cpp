// Reading JSON text: numbers beyond 64 bits, documented results for odd but valid text, and
// malformed text of every kind refused with its position, at any size and depth.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "platform/foundation/JsonReader.h"

using platform::Array;
using platform::Dictionary;
using platform::JsonError;
using platform::JsonReader;
using platform::Value;

namespace {

using namespace std::string_literals;

TEST(JsonReader, NumbersKeepTheirKindAndEveryDigit) {
    struct Case {
        std::string text;
        Value expected;
        Value::Type type;
        bool large;
    };
    const std::vector<Case> cases{
        {"9223372036854775807", Value(INT64_MAX), Value::Type::Integer, false},
        {"-9223372036854775808", Value(INT64_MIN), Value::Type::Integer, false},
        {"-0", Value(0), Value::Type::Integer, false},
        // Once rounded to 1.8446744073709552e+19 and written back so.
        {"18446744073709551615", Value::integerFromText("18446744073709551615"), Value::Type::Real, true},
        {"9223372036854775808", Value::integerFromText("9223372036854775808"), Value::Type::Real, true},
        {"123456789012345678901234567890", Value::integerFromText("123456789012345678901234567890"),
         Value::Type::Real, true},
        {"-123456789012345678901234567890", Value::integerFromText("-123456789012345678901234567890"),
         Value::Type::Real, true},
        {"3.0", Value(3.0), Value::Type::Real, false},
        {"1e2", Value(100.0), Value::Type::Real, false},
        {"-0.0", Value(-0.0), Value::Type::Real, false},
        {"1e308", Value(1e308), Value::Type::Real, false},
        {"1e-400", Value(0.0), Value::Type::Real, false},  // below the smallest double: zero
        {"18446744073709551616.0", Value(18446744073709551616.0), Value::Type::Real, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Value v = JsonReader::parse(c.text);
        EXPECT_EQ(v, c.expected);
        EXPECT_EQ(v.type(), c.type);
        EXPECT_EQ(v.isLargeInteger(), c.large);
        if (c.large) {
            EXPECT_EQ(v.toJson(), c.text);
        }
        // Inside containers the same.
        EXPECT_EQ(JsonReader::parse("[" + c.text + "]").at(0), c.expected);
        EXPECT_EQ(JsonReader::parse(R"({"n":)" + c.text + "}").at("n"), c.expected);
    }
}

TEST(JsonReader, OddButValidTextHasADocumentedResult) {
    struct Case {
        std::string text;
        Value expected;
    };
    const std::vector<Case> cases{
        {R"({"a":1,"b":2,"a":3})", Value(Dictionary{{"a", Value(3)}, {"b", Value(2)}})},  // the last wins
        {R"("a\u0000b")", Value("a\0b"s)},
        {R"("\ud83d\ude00")", Value("\xF0\x9F\x98\x80")},
        {"\xEF\xBB\xBF[1]", Value(Array{Value(1)})},  // a byte order mark
        {" \t\r\n true \n", Value(true)},
        {R"("")", Value("")},
        {R"({"":""})", Value(Dictionary{{"", Value("")}})},
    };
    for (const Case& c : cases) EXPECT_EQ(JsonReader::parse(c.text), c.expected) << c.text;
}

struct Malformed {
    const char* name;
    std::string text;
    const char* fault;  // a part of the parser's description
    size_t line;
    size_t column;
};

std::vector<Malformed> malformedTexts() {
    return {
        {"empty", "", "unexpected end of input", 1, 1},
        {"only space", "  \n ", "unexpected end of input", 2, 2},
        {"truncated array", "[1,2", "unexpected end of input", 1, 5},
        {"truncated object", "{\"a\":", "unexpected end of input", 1, 6},
        {"truncated string", "\"abc", "missing closing quote", 1, 5},
        {"truncated literal", "[tru", "invalid literal", 1, 5},
        {"missing value", "{\"a\":}", "unexpected '}'", 1, 6},
        {"trailing comma", "[1,]", "unexpected ']'", 1, 4},
        {"missing colon", "{\"a\" 1}", "expected ':'", 1, 6},
        {"unquoted key", "{a:1}", "invalid literal", 1, 2},
        {"bad escape", "\"a\\x\"", "forbidden character after backslash", 1, 4},
        {"short unicode escape", "\"\\u12\"", "'\\u' must be followed by 4 hex digits", 1, 6},
        {"lone high surrogate", "\"\\ud800\"", "surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF",
         1, 8},
        {"lone low surrogate", "\"\\udc00\"", "surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF", 1, 7},
        {"invalid UTF-8", "\"\xFF\"", "ill-formed UTF-8 byte", 1, 2},
        {"overlong UTF-8", "\"\xC0\xAF\"", "ill-formed UTF-8 byte", 1, 2},
        {"encoded surrogate", "\"\xED\xA0\x80\"", "ill-formed UTF-8 byte", 1, 3},
        {"truncated UTF-8", "\"\xE2\x82\"", "ill-formed UTF-8 byte", 1, 4},
        {"raw control character", "\"a\x01\"", "control character U+0001 (SOH) must be escaped", 1, 3},
        {"raw NUL in a string", "\"a\0\""s, "a NUL byte", 1, 3},
        // The parser underneath takes a NUL for the end of the text.
        {"NUL and junk after the value", "[1]\0junk"s, "a NUL byte", 1, 4},
        {"NUL after a fault", "[1,,]\0"s, "unexpected ','", 1, 4},
        {"NUL on a later line", "[1,\n\0]"s, "a NUL byte", 2, 1},
        {"second value", "[1] [2]", "expected end of input", 1, 5},
        {"leading zero", "01", "expected end of input", 1, 2},
        {"lone minus", "-", "expected digit after '-'", 1, 2},
        {"bare fraction", ".5", "invalid literal", 1, 1},
        {"real beyond doubles", "1e400", "number overflow parsing '1e400'", 1, 5},
        {"integer beyond doubles", std::string(400, '9'), "number overflow", 1, 400},
        {"comment", "// note\n1", "invalid literal", 1, 1},
        {"single quotes", "'a'", "invalid literal", 1, 1},
        {"error on a later line", "{\n  \"a\": 1,\n  \"b\": nope\n}", "invalid literal", 3, 9},
    };
}

TEST(JsonReader, MalformedTextIsRefusedWithItsPosition) {
    for (const Malformed& m : malformedTexts()) {
        SCOPED_TRACE(m.name);
        try {
            (void)JsonReader::parse(m.text);
            ADD_FAILURE() << "accepted";
        } catch (const JsonError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("JSON parse error at line ", 0), 0u) << message;
            EXPECT_NE(message.find(m.fault), std::string::npos) << message;
            EXPECT_EQ(e.line(), m.line) << message;
            EXPECT_EQ(e.column(), m.column) << message;
            EXPECT_LE(e.offset(), m.text.size());
            EXPECT_EQ(message.find("[json.exception"), std::string::npos) << message;
        }
        EXPECT_THROW((void)Value::parseJson(m.text), platform::ValueError);
    }
}

TEST(JsonReader, EveryCutOfADocumentIsRefusedOrReadCompletely) {
    const std::string document =
        R"({"name":"x\"y","list":[1,-2.5e3,true,null,{"deep":["\u00e9"]}],"n":18446744073709551615})";
    const Value whole = JsonReader::parse(document);
    for (size_t length = 0; length < document.size(); ++length) {
        const std::string cut = document.substr(0, length);
        EXPECT_THROW((void)JsonReader::parse(cut), JsonError) << cut;
    }
    EXPECT_EQ(JsonReader::parse(document + "  "), whole);
}

TEST(JsonReader, AHugeOffendingTokenGivesAShortMessage) {
    const std::string text = "\"" + std::string(1'000'000, 'a') + "\x01\"";
    try {
        (void)JsonReader::parse(text);
        ADD_FAILURE() << "accepted";
    } catch (const JsonError& e) {
        EXPECT_LT(std::string(e.what()).size(), 400u);
        EXPECT_EQ(e.column(), 1'000'002u);
    }
}

// Nesting as deep as the text allows, read and released without recursion.
TEST(JsonReader, AMillionLevelsAreReadOrRefusedWithoutRecursion) {
    constexpr size_t kDepth = 1'000'000;
    std::string text(kDepth, '[');
    text += std::string(kDepth, ']');
    const Value deep = JsonReader::parse(text);
    const Value* node = &deep;
    size_t depth = 0;
    while (node->isArray() && !node->asArray().empty()) {
        node = &node->asArray()[0];
        ++depth;
    }
    EXPECT_EQ(depth, kDepth - 1);

    std::string objects;
    for (size_t i = 0; i < kDepth; ++i) objects += "{\"k\":";
    try {
        (void)JsonReader::parse(objects);
        ADD_FAILURE() << "a truncated document was accepted";
    } catch (const JsonError& e) {
        EXPECT_EQ(e.column(), objects.size() + 1);
    }
    EXPECT_THROW((void)JsonReader::parse(std::string(kDepth, '[')), JsonError);
}

TEST(JsonReader, WideObjectsInAnyOrderAreReadWhole) {
    constexpr int kKeys = 200'000;
    std::string text = "{";
    for (int i = kKeys - 1; i >= 0; --i)
        text += (i == kKeys - 1 ? "\"" : ",\"") + std::to_string(i) + "\":" + std::to_string(i);
    text += "}";
    const Value wide = JsonReader::parse(text);
    ASSERT_EQ(wide.asDictionary().size(), static_cast<size_t>(kKeys));
    EXPECT_EQ(wide.at("0"), Value(0));
    EXPECT_EQ(wide.at("199999"), Value(199999));
    // Many duplicates of one key keep the last one only.
    std::string repeated = "{";
    for (int i = 0; i < kKeys; ++i) repeated += (i ? ",\"k\":" : "\"k\":") + std::to_string(i);
    repeated += "}";
    EXPECT_EQ(JsonReader::parse(repeated), Value(Dictionary{{"k", Value(kKeys - 1)}}));
}

}  // namespace
