// The checked writer refuses every name, character and comment XML cannot carry, naming the
// fault and its key path; whatever it writes reads back as the same tree. The escaping of the
// white space readers would change, and a round-trip property over seeded random trees.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLText.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

Value json(std::string_view text) {
    return Value::parseJson(text);
}

Value node(std::initializer_list<std::pair<const char*, Value>> entries) {
    Dictionary d;
    for (const auto& [key, value] : entries) d.emplace(key, value);
    return Value(std::move(d));
}

TEST(XMLCheckedWriter, RefusesWhatXMLCannotCarryNamingThePath) {
    struct Case {
        const char* label;
        Value tree;
        const char* name;
        std::vector<std::string> expected;  // parts of the message
    };
    const Case cases[] = {
        {"attribute name with a space",
         json(R"({"items":[{"_ok":"1"},{"_bad key":"1"}]})"),
         "root",
         {"attribute name \"bad key\" is not an XML name", "at /root/items/1/_bad key", "rename the key"}},
        {"element name with a space",
         json(R"({"bad key":"x"})"),
         "root",
         {"element name \"bad key\"", "at /root/bad key"}},
        {"empty root name", json(R"({})"), "", {"element name \"\"", "at /"}},
        {"name starting with a digit", json(R"({"a":{"1b":{}}})"), "r", {"\"1b\"", "at /r/a/1b"}},
        {"name beyond the BMP", node({{"\xF0\x90\x80\x80", Value("x")}}), "r", {"at /r/\xF0\x90\x80\x80"}},
        {"name under newer rules only", node({{"a\xE2\x80\xBF", Value("x")}}), "r", {"at /r/a\xE2\x80\xBF"}},
        {"name with markup", node({{"a><b", Value("x")}}), "r", {"is not an XML name"}},
        {"attribute in dictionary storage",
         json(R"({"__attributes":{"a b":"1"}})"),
         "r",
         {"attribute name \"a b\"", "at /r/__attributes/a b"}},
        {"control character in text",
         node({{"t", Value("a\x01"
                           "b")}}),
         "r",
         {"text holds control character U+0001 at byte 1", "at /r/t", "remove or replace"}},
        {"vertical tab in an attribute value",
         node({{"_v", Value("a\x0B")}}),
         "r",
         {"attribute value holds control character U+000B", "at /r/_v"}},
        {"U+FFFE in the node's text",
         node({{"__text", Value("x\xEF\xBF\xBE")}}),
         "r",
         {"non-character U+FFFE", "at /r/__text"}},
        {"U+FFFF in an array member",
         Value(Array{Value("ok"), Value("\xEF\xBF\xBF")}),
         "items",
         {"non-character U+FFFF", "at /items/1"}},
        {"encoded surrogate", node({{"t", Value("\xED\xA0\x80")}}), "r", {"surrogate U+D800", "at /r/t"}},
        {"invalid UTF-8", node({{"t", Value("ok\xFF")}}), "r", {"invalid UTF-8 at byte 2", "at /r/t"}},
        {"truncated UTF-8", node({{"t", Value("\xC3")}}), "r", {"invalid UTF-8 at byte 0"}},
        {"overlong UTF-8", node({{"t", Value("\xC0\x80")}}), "r", {"invalid UTF-8"}},
        {"comment with a double hyphen",
         json(R"({"__comments":["fine","a--b"]})"),
         "r",
         {"comment contains \"--\"", "at /r/__comments/1"}},
        {"comment ending in a hyphen",
         json(R"({"c":{"__comments":["a-"]}})"),
         "r",
         {"comment ends in '-'", "at /r/c/__comments/0"}},
        {"control character in a comment",
         node({{"__comments", Value(Array{Value("\x02")})}}),
         "r",
         {"comment holds control character U+0002"}},
    };
    for (const Case& c : cases) {
        const platform::Result<std::string> written =
            KOPAXMLDictionaryParser::checkedXMLStringForNode(c.tree, c.name);
        ASSERT_FALSE(written) << c.label;
        const std::string message = written.status().message();
        EXPECT_EQ(message.rfind("cannot write XML: ", 0), 0u) << message;
        for (const std::string& part : c.expected)
            EXPECT_NE(message.find(part), std::string::npos) << c.label << ": " << message;
        // What the checked writer refuses, the unchecked one writes and no reader takes.
        const std::string unchecked = KOPAXMLDictionaryParser::XMLStringForNode(c.tree, c.name);
        EXPECT_FALSE(KOPAXMLDictionaryParser().parseData(unchecked)) << c.label << ": " << unchecked;
    }
}

TEST(XMLCheckedWriter, WritesWhatTheUncheckedWriterWritesForSoundTrees) {
    const Value trees[] = {
        json(R"({"__name":"a","_x":"1","b":["1","2"],"__comments":["c"],"__text":"t"})"),
        json(R"({"__attributes":{"k":"v & w"},"caf\u00e9":"\u20ac","ns:x":{},"_y":"tab\tline\nreturn\r"})"),
        node({{"n", Value(int64_t{42})}, {"r", Value(2.5)}, {"b", Value(true)}, {"z", Value()}}),
        node({{"\xCE\xA9mega", Value("\xF0\x9F\x98\x80 \xE4\xB8\xAD")}}),
        json(R"([])"),
    };
    for (const Value& tree : trees) {
        platform::Result<std::string> checked =
            KOPAXMLDictionaryParser::checkedXMLStringForNode(tree, "root");
        ASSERT_TRUE(checked) << checked.status().message();
        EXPECT_EQ(*checked, KOPAXMLDictionaryParser::XMLStringForNode(tree, "root"));
        if (!tree.isArray()) {
            EXPECT_TRUE(KOPAXMLDictionaryParser().parseData(*checked)) << *checked;
        }
    }
}

TEST(XMLWriterNumbers, IntegersBeyondSixtyFourBitsKeepTheirDigits) {
    struct Case {
        const char* json;
        const char* xml;
    };
    for (const Case& c :
         {Case{R"({"n":18446744073709551615})", "<r><n>18446744073709551615</n></r>"},
          Case{R"({"n":-123456789012345678901234567890})", "<r><n>-123456789012345678901234567890</n></r>"},
          Case{R"({"n":9223372036854775807})", "<r><n>9223372036854775807</n></r>"},
          Case{R"({"n":2.5,"_a":18446744073709551616})", "<r a=\"18446744073709551616\"><n>2.5</n></r>"}}) {
        const Value tree = json(c.json);
        EXPECT_EQ(KOPAXMLDictionaryParser::XMLStringForNode(tree, "r"), c.xml) << c.json;
        platform::Result<std::string> checked = KOPAXMLDictionaryParser::checkedXMLStringForNode(tree, "r");
        ASSERT_TRUE(checked);
        EXPECT_EQ(*checked, c.xml);
    }
}

TEST(XMLWriterEscaping, WhiteSpaceReadersWouldChangeIsWrittenAsReferences) {
    const Value tree = node({{"_v", Value("a\tb\nc\rd  e")}, {"__text", Value("x\r\ny\rz\tw")}});
    const std::string written = KOPAXMLDictionaryParser::XMLStringForNode(tree, "r");
    EXPECT_EQ(written, "<r v=\"a&#9;b&#10;c&#13;d  e\">x&#13;\ny&#13;z\tw</r>");
    KOPAXMLDictionaryParser parser;
    parser.setTrimWhiteSpace(false);
    platform::Result<Value> read = parser.parseData(written);
    ASSERT_TRUE(read) << read.status().message();
    EXPECT_EQ(read->asDictionary().at("_v").asString(), "a\tb\nc\rd  e");
    EXPECT_EQ(read->asDictionary().at("__text").asString(), "x\r\ny\rz\tw");
}

// Random trees in the shape the parser builds under the given options; writing one and reading
// it back with the same options gives it back.
class TreeGenerator {
public:
    TreeGenerator(uint64_t seed, bool dictionaryAttributes, bool alwaysArrays, bool comments)
        : m_random(seed),
          m_dictionaryAttributes(dictionaryAttributes),
          m_alwaysArrays(alwaysArrays),
          m_comments(comments) {}

    Value root() {
        Value tree = element(0, true);
        tree.asDictionary().emplace("__name", name());
        return tree;
    }

private:
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }
    bool chance(unsigned percent) { return pick(100) < percent; }

    std::string name() {
        static const char* const kNames[] = {"a",  "b",           "item",     "x-y",          "x.y", "ns:tag",
                                             "n1", "caf\xC3\xA9", "\xCE\xA9", "\xE4\xB8\xAD", "_u",  "Z"};
        return kNames[pick(std::size(kNames))];
    }

    // Any text XML carries: markup characters, white space of every kind, non-ASCII.
    std::string anyText(size_t maxPieces) {
        static const char* const kPieces[] = {"word",
                                              " ",
                                              "\t",
                                              "\n",
                                              "\r",
                                              "\r\n",
                                              "&",
                                              "<",
                                              ">",
                                              "\"",
                                              "'",
                                              "]]>",
                                              "&amp;",
                                              "=",
                                              "-",
                                              "\xC3\xA9",
                                              "\xE2\x82\xAC",
                                              "\xF0\x9F\x98\x80",
                                              "\xC2\xA0",
                                              "\xE3\x80\x80",
                                              "\xEF\xBF\xBD"};
        std::string t;
        for (size_t i = 0, n = pick(maxPieces + 1); i < n; ++i) t += kPieces[pick(std::size(kPieces))];
        return t;
    }

    // Element text as the trimming parser leaves it: not empty, no white space at either end.
    std::string elementText() {
        std::string t(KOPAXMLText::trimSpace(anyText(5)));
        return t.empty() ? "x" : t;
    }

    // Comments are written encoded and keep no carriage return, so only such text comes back.
    std::string commentText() {
        static const char* const kPieces[] = {"note", " ", "\t", "\n", "-x", "\xC3\xA9", "=", ";"};
        std::string t;
        for (size_t i = 0, n = pick(4); i < n; ++i) t += kPieces[pick(std::size(kPieces))];
        return t;
    }

    Value member(int depth) {
        if (depth >= 4 || chance(50)) return Value(elementText());
        return element(depth + 1, false);
    }

    Value element(int depth, bool isRoot) {
        Dictionary d;
        Dictionary attributes;
        for (size_t i = 0, n = pick(4); i < n; ++i) attributes.emplace(name(), anyText(4));
        if (!attributes.empty()) {
            if (m_dictionaryAttributes)
                d.emplace("__attributes", Value(std::move(attributes)));
            else
                for (auto& [key, value] : attributes) d.emplace("_" + key, std::move(value));
        }
        if (m_comments && chance(30)) {
            Array list;
            for (size_t i = 0, n = 1 + pick(2); i < n; ++i) list.emplace_back(commentText());
            d.emplace("__comments", Value(std::move(list)));
        }
        for (size_t i = 0, n = depth < 3 ? pick(4) : 0; i < n; ++i) {
            std::string key = name();
            if (key[0] == '_' || d.find(key) != d.end()) continue;
            if (m_alwaysArrays || chance(30)) {
                Array members;
                for (size_t k = 0, count = m_alwaysArrays ? 1 + pick(3) : 2 + pick(2); k < count; ++k)
                    members.push_back(member(depth));
                d.emplace(std::move(key), Value(std::move(members)));
            } else {
                d.emplace(std::move(key), member(depth));
            }
        }
        // A child holding nothing but text would collapse into it; the root never does.
        const bool onlyText = d.empty();
        if (chance(40) && (!onlyText || isRoot)) d.emplace("__text", elementText());
        return Value(std::move(d));
    }

    std::mt19937_64 m_random;
    bool m_dictionaryAttributes;
    bool m_alwaysArrays;
    bool m_comments;
};

TEST(XMLWriterRoundTrip, SeededRandomTreesComeBackUnchanged) {
    for (uint64_t seed = 1; seed <= 3000; ++seed) {
        const bool dictionaryAttributes = seed % 2 == 0;
        const bool alwaysArrays = seed % 3 == 0;
        const bool comments = seed % 5 < 2;
        TreeGenerator generator(seed, dictionaryAttributes, alwaysArrays, comments);
        const Value tree = generator.root();
        const std::string rootName = tree.asDictionary().at("__name").asString();

        platform::Result<std::string> written =
            KOPAXMLDictionaryParser::checkedXMLStringForNode(tree, rootName);
        ASSERT_TRUE(written) << "seed " << seed << ": " << written.status().message();
        KOPAXMLDictionaryParser parser;
        parser.setAttributesMode(dictionaryAttributes ? KOPAXMLDictionaryParser::AttributesModeDictionary
                                                      : KOPAXMLDictionaryParser::AttributesModePrefixed);
        parser.setAlwaysUseArrays(alwaysArrays);
        parser.setPreserveComments(comments);
        platform::Result<Value> read = parser.parseData(*written);
        ASSERT_TRUE(read) << "seed " << seed << ": " << read.status().message() << "\n" << *written;
        ASSERT_EQ(read->toJson(), tree.toJson()) << "seed " << seed << "\n" << *written;
    }
}

// Trees with names and texts drawn from sound and faulty ones: the checked writer either refuses
// the tree or writes a document the parser accepts.
TEST(XMLWriterRoundTrip, CheckedOutputIsAlwaysReadable) {
    static const char* const kNames[] = {"a",  "b c",         "1x", "\xF0\x90\x80\x80",
                                         "ok", "caf\xC3\xA9", "",   "x\x01"};
    static const char* const kTexts[] = {"fine", "a\x01", "\xEF\xBF\xBE", "\xFF", "--",
                                         "x-",   "<&>",   "\r\n",         ""};
    std::mt19937_64 random(99);
    auto pick = [&random](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    size_t refused = 0, written = 0;
    for (int round = 0; round < 2000; ++round) {
        Dictionary d;
        for (size_t i = 0, n = pick(4); i < n; ++i) {
            const std::string key = kNames[pick(std::size(kNames))];
            switch (pick(3)) {
                case 0:
                    d.emplace("_" + key, kTexts[pick(std::size(kTexts))]);
                    break;
                case 1:
                    d.emplace(key, kTexts[pick(std::size(kTexts))]);
                    break;
                default:
                    d.emplace("__comments", Value(Array{Value(kTexts[pick(std::size(kTexts))])}));
            }
        }
        const Value tree(std::move(d));
        platform::Result<std::string> xml = KOPAXMLDictionaryParser::checkedXMLStringForNode(tree, "r");
        if (!xml) {
            ++refused;
            continue;
        }
        ++written;
        EXPECT_TRUE(KOPAXMLDictionaryParser().parseData(*xml)) << *xml;
    }
    EXPECT_GT(refused, 200u);
    EXPECT_GT(written, 200u);
}

}  // namespace
