// Writing JSON text: layout, escaping, numbers, streaming in pieces, bounded indentation, and
// the round trip with the reader on seeded random documents, checked against nlohmann-json.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"

using platform::Array;
using platform::Dictionary;
using platform::JsonFormat;
using platform::JsonReader;
using platform::JsonWriter;
using platform::Value;

namespace {

using namespace std::string_literals;

JsonFormat indented(int indent, int maxLevels = JsonFormat().maxIndentLevels) {
    JsonFormat format;
    format.indent = indent;
    format.maxIndentLevels = maxLevels;
    return format;
}

TEST(JsonWriter, ScalarsAndTextsAreWrittenAsJsonRequires) {
    struct Case {
        Value value;
        std::string json;
    };
    const std::vector<Case> cases{
        {Value(), "null"},
        {Value(false), "false"},
        {Value(INT64_MIN), "-9223372036854775808"},
        {Value(3.0), "3.0"},
        {Value(-0.0), "-0.0"},
        {Value(0.1), "0.1"},
        {Value(1e300), "1e+300"},
        {Value(std::nan("")), "null"},
        {Value(-std::numeric_limits<double>::infinity()), "null"},
        {Value::integerFromText("-123456789012345678901234567890"), "-123456789012345678901234567890"},
        {Value("quote \" backslash \\ slash /"), R"("quote \" backslash \\ slash /")"},
        {Value("\b\f\n\r\t"), R"("\b\f\n\r\t")"},
        {Value("\x01\x1f\x7f"), "\"\\u0001\\u001f\x7f\""},
        {Value("nul \0 inside"s), R"("nul \u0000 inside")"},
        {Value("caf\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBF"), "\"caf\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBF\""},
        // Invalid UTF-8 becomes U+FFFD, one per malformed sequence: the output stays valid JSON.
        {Value("a\xFF"
               "b"),
         "\"a\xEF\xBF\xBD"
         "b\""},
        {Value("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {Value("\xE2\x82"), "\"\xEF\xBF\xBD\""},
        {Value("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {Value("\xF4\x90\x80\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {Value("end \xF0\x9F\x98"), "\"end \xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonWriter::text(c.value), c.json);
        EXPECT_TRUE(nlohmann::json::accept(c.json)) << c.json;
    }
}

TEST(JsonWriter, LayoutIsCompactOrIndentedAsUsual) {
    const Value doc = JsonReader::parse(R"({"b":[1,{"c":[]}],"a":{},"d":"x"})");
    EXPECT_EQ(JsonWriter::text(doc), R"({"a":{},"b":[1,{"c":[]}],"d":"x"})");
    EXPECT_EQ(JsonWriter::text(doc, indented(2)),
              "{\n  \"a\": {},\n  \"b\": [\n    1,\n    {\n      \"c\": []\n    }\n  ],\n  \"d\": \"x\"\n}");
    EXPECT_EQ(JsonWriter::text(doc, indented(0)),
              "{\n\"a\": {},\n\"b\": [\n1,\n{\n\"c\": []\n}\n],\n\"d\": \"x\"\n}");
    // The same text as nlohmann-json lays out, for a document both write alike.
    const std::string plain = R"({"a":[true,null,"t"],"b":{"c":{"d":[1,2]}},"e":[]})";
    for (int indent : {-1, 0, 1, 4})
        EXPECT_EQ(JsonReader::parse(plain).toJson(indent), nlohmann::json::parse(plain).dump(indent));
}

TEST(JsonWriter, IndentationStopsGrowingPastTheLevelLimit) {
    Value deep(1);
    for (int i = 0; i < 5; ++i) {
        Array outer;
        outer.push_back(std::move(deep));
        deep = Value(std::move(outer));
    }
    EXPECT_EQ(JsonWriter::text(deep, indented(3, 2)),
              "[\n   [\n      [\n      [\n      [\n      1\n      ]\n      ]\n      ]\n   ]\n]");

    // 10,000 levels at the widest indentation: the text grows with the depth, not its square.
    constexpr int kDepth = 10000;
    Value tower("leaf");
    for (int i = 0; i < kDepth; ++i) {
        if (i % 2) {
            Array outer;
            outer.push_back(std::move(tower));
            tower = Value(std::move(outer));
        } else {
            Dictionary outer;
            outer.emplace("k", std::move(tower));
            tower = Value(std::move(outer));
        }
    }
    const std::string text = JsonWriter::text(tower, indented(JsonFormat::kMaxIndent));
    const size_t longestLine = 512 + 16;  // the deepest indentation, a key and a bracket
    EXPECT_LE(text.size(), (2 * kDepth + 1) * longestLine);
    EXPECT_GT(text.size(), (2 * kDepth + 1) * 400u);  // the cap, not a smaller indentation
    EXPECT_TRUE(JsonReader::parse(text) == tower);
    // Wider indentation than the limit is written at the limit.
    EXPECT_TRUE(JsonWriter::text(tower, indented(1000)) == text);
}

TEST(JsonWriter, ClosingADeepTreeStreamsInPiecesToo) {
    // The closing brackets of a deep tree are half its text: they must not pile up unflushed.
    Value tower("leaf");
    for (int i = 0; i < 3000; ++i) {
        Array outer;
        outer.push_back(std::move(tower));
        tower = Value(std::move(outer));
    }
    size_t largest = 0;
    size_t total = 0;
    JsonWriter writer(
        [&](std::string_view piece) {
            largest = std::max(largest, piece.size());
            total += piece.size();
            return true;
        },
        indented(JsonFormat::kMaxIndent));
    EXPECT_TRUE(writer.write(tower));
    EXPECT_GT(total, 2u * 1024 * 1024);  // about 1.5 MiB of closing lines alone
    EXPECT_LT(largest, 80u * 1024);
}

TEST(JsonWriter, StreamsInPiecesAndStopsWhenTheOutputFails) {
    Array rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back(
            Value(Dictionary{{"id", Value(i)}, {"name", Value("row " + std::to_string(i) + " \"q\"")}}));
    const Value doc(std::move(rows));
    const std::string whole = JsonWriter::text(doc, indented(2));

    std::vector<size_t> pieces;
    std::string joined;
    JsonWriter writer(
        [&](std::string_view piece) {
            pieces.push_back(piece.size());
            joined += piece;
            return true;
        },
        indented(2));
    EXPECT_TRUE(writer.write(doc));
    EXPECT_EQ(joined, whole);
    EXPECT_GT(pieces.size(), 5u);
    for (size_t size : pieces) EXPECT_LT(size, 80u * 1024);

    std::ostringstream stream;
    EXPECT_TRUE(JsonWriter::writeTo(stream, doc, indented(2)));
    EXPECT_EQ(stream.str(), whole);

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(JsonWriter::writeTo(file, doc, indented(2)));
    std::rewind(file);
    std::string read(whole.size() + 1, '\0');
    read.resize(std::fread(read.data(), 1, read.size(), file));
    std::fclose(file);
    EXPECT_EQ(read, whole);

    int calls = 0;
    JsonWriter failing(
        [&](std::string_view) {
            ++calls;
            return false;
        },
        indented(2));
    EXPECT_FALSE(failing.write(doc));
    EXPECT_EQ(calls, 1);  // nothing more is offered once the output failed

    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_FALSE(JsonWriter::writeTo(broken, doc));
}

// Seeded random documents: every kind of value, texts with escapes and multi-byte characters,
// numbers at the edges of their kinds.
class RandomDocuments {
public:
    explicit RandomDocuments(uint64_t seed) : m_random(seed) {}

    // An array of a few values of any kind (containers among them).
    Value document() {
        Array top;
        for (int i = 1 + pick(6); i > 0; --i) top.push_back(value(1));
        return Value(std::move(top));
    }

private:
    Value value(int depth) {
        const int kind = pick(depth < 6 ? 10 : 7);
        switch (kind) {
            case 0:
                return Value();
            case 1:
                return Value(pick(2) == 1);
            case 2:
                return integer();
            case 3:
                return real();
            case 4:
                return Value::integerFromText(largeDigits());
            case 5:
            case 6:
                return Value(text());
            case 7:
            case 8: {
                Array members;
                for (int i = pick(5); i > 0; --i) members.push_back(value(depth + 1));
                return Value(std::move(members));
            }
            default: {
                Dictionary::Entries entries;
                for (int i = pick(5); i > 0; --i) entries.emplace_back(text(), value(depth + 1));
                return Value(Dictionary(std::move(entries)));
            }
        }
    }
    Value integer() {
        switch (pick(4)) {
            case 0:
                return Value(static_cast<int64_t>(m_random()));
            case 1:
                return Value(pick(2) ? INT64_MAX : INT64_MIN);
            default:
                return Value(static_cast<int64_t>(pick(2000)) - 1000);
        }
    }
    Value real() {
        double d;
        do {
            const uint64_t bits = m_random();
            std::memcpy(&d, &bits, sizeof d);
        } while (!std::isfinite(d));
        switch (pick(4)) {
            case 0:
                return Value(d);
            case 1:
                return Value(static_cast<double>(static_cast<int64_t>(pick(100000)) - 50000));  // integral
            case 2:
                return Value(pick(2) ? -0.0 : 5e-324);
            default:
                return Value(static_cast<double>(pick(1000000)) / 1024.0);
        }
    }
    std::string largeDigits() {
        std::string digits = pick(2) ? "-" : "";
        digits += static_cast<char>('1' + pick(9));
        for (int i = 19 + pick(40); i > 0; --i) digits += static_cast<char>('0' + pick(10));
        return digits;
    }
    std::string text() {
        static const std::vector<std::string> pieces{"a",
                                                     "Z",
                                                     "0",
                                                     " ",
                                                     "\"",
                                                     "\\",
                                                     "/",
                                                     "\n",
                                                     "\t",
                                                     "\x01",
                                                     "\x1f",
                                                     "\x7f",
                                                     "\0"s,
                                                     "\xC3\xA9",
                                                     "\xE2\x82\xAC",
                                                     "\xF0\x9F\x98\x80",
                                                     "\xEF\xBF\xBF",
                                                     "\xEE\x80\x80",
                                                     "key",
                                                     "\\u0041"};
        std::string out;
        for (int i = pick(8); i > 0; --i)
            out += pieces[static_cast<size_t>(pick(static_cast<int>(pieces.size())))];
        return out;
    }
    int pick(int n) { return static_cast<int>(m_random() % static_cast<uint64_t>(n)); }

    std::mt19937_64 m_random;
};

// nlohmann-json's own tree of a value, built independently of JsonWriter (recursion is fine for
// these shallow documents); large integers have no nlohmann form and come out as their double.
nlohmann::json reference(const Value& v) {
    switch (v.type()) {
        case Value::Type::Null:
            return nullptr;
        case Value::Type::Boolean:
            return v.asBool();
        case Value::Type::Integer:
            return v.asInteger();
        case Value::Type::Real:
            return v.asReal();
        case Value::Type::String:
            return v.asString();
        case Value::Type::Array: {
            nlohmann::json out = nlohmann::json::array();
            for (const Value& member : v.asArray()) out.push_back(reference(member));
            return out;
        }
        case Value::Type::Dictionary: {
            nlohmann::json out = nlohmann::json::object();
            for (const auto& [key, member] : v.asDictionary()) out[key] = reference(member);
            return out;
        }
    }
    return nullptr;
}

TEST(JsonWriter, RandomDocumentsSurviveTheRoundTripExactly) {
    RandomDocuments random(20261207);
    for (int i = 0; i < 5000; ++i) {
        const Value doc = random.document();
        for (int indent : {-1, 2}) {
            const std::string text = JsonWriter::text(doc, indented(indent));
            SCOPED_TRACE(text);
            const Value read = JsonReader::parse(text);
            ASSERT_EQ(read, doc);
            // Write, read, write: the same text, number for number.
            ASSERT_EQ(JsonWriter::text(read, indented(indent)), text);
        }
    }
}

TEST(JsonWriter, RandomDocumentsReadTheSameWithNlohmann) {
    RandomDocuments random(7);
    for (int i = 0; i < 3000; ++i) {
        const Value doc = random.document();
        const std::string text = doc.toJson();
        SCOPED_TRACE(text);
        const nlohmann::json theirs = nlohmann::json::parse(text);
        ASSERT_EQ(theirs, reference(doc));
        // And what nlohmann writes (large integers as doubles), this reader reads alike.
        const std::string nlohmannText = theirs.dump();
        ASSERT_EQ(reference(JsonReader::parse(nlohmannText)), theirs) << nlohmannText;
    }
}

}  // namespace
