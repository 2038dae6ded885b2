// KOPAXMLDictionaryParser: options, the documented cases, hostile input, and the convenience
// parsers. Expected trees are written as JSON so a failure prints both trees readably.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <functional>
#include <thread>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "tests/support/TempDir.h"

using platform::Value;

namespace {

using Configure = std::function<void(KOPAXMLDictionaryParser&)>;
void defaults(KOPAXMLDictionaryParser&) {}

struct ParseCase {
    const char* label;
    std::string document;
    Configure configure;
    const char* expected;  // JSON
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.label;
}

class ParseCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCases, BuildsTheExpectedTree) {
    const ParseCase& c = GetParam();
    KOPAXMLDictionaryParser parser;
    c.configure(parser);
    KOPAXMLParseError error;
    std::optional<Value> root = parser.dictionaryWithString(c.document, &error);
    EXPECT_TRUE(error.message.empty()) << error.description();
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->toJson(), Value::parseJson(c.expected).toJson());
}

const Configure alwaysArrays = [](auto& p) { p.setAlwaysUseArrays(true); };
const Configure comments = [](auto& p) { p.setPreserveComments(true); };
Configure attributesMode(int32_t mode) {
    return [mode](auto& p) { p.setAttributesMode(mode); };
}
Configure nodeNameMode(int32_t mode) {
    return [mode](auto& p) { p.setNodeNameMode(mode); };
}

INSTANTIATE_TEST_SUITE_P(
    DocumentedCases, ParseCases,
    ::testing::Values(
        ParseCase{"text only root does not collapse", "<a>hello</a>", defaults,
                  R"({"__name":"a","__text":"hello"})"},
        ParseCase{"repeated elements become an array", "<a><b>1</b><b>2</b></a>", defaults,
                  R"({"__name":"a","b":["1","2"]})"},
        ParseCase{"three repeats keep document order", "<a><b>3</b><b>1</b><b>2</b></a>", defaults,
                  R"({"__name":"a","b":["3","1","2"]})"},
        ParseCase{"alwaysUseArrays wraps a single child", "<a><b>1</b></a>", alwaysArrays,
                  R"({"__name":"a","b":["1"]})"},
        ParseCase{"alwaysUseArrays with repeats", "<a><b>1</b><b><c/></b></a>", alwaysArrays,
                  R"({"__name":"a","b":["1",{"c":[{}]}]})"},
        ParseCase{"prefixed attributes and an empty child", R"(<a x="1"><b/></a>)", defaults,
                  R"({"__name":"a","_x":"1","b":{}})"},
        ParseCase{"attributes in a dictionary", R"(<a x="1"><b/></a>)", attributesMode(1),
                  R"({"__name":"a","__attributes":{"x":"1"},"b":{}})"},
        ParseCase{"attributes merged", R"(<a x="1"><b/></a>)", attributesMode(2),
                  R"({"__name":"a","x":"1","b":{}})"},
        ParseCase{"attributes discarded", R"(<a x="1"><b/></a>)", attributesMode(3),
                  R"({"__name":"a","b":{}})"},
        ParseCase{"unknown attributes mode discards", R"(<a x="1"><b y="2">t</b></a>)", attributesMode(-4),
                  R"({"__name":"a","b":"t"})"},
        ParseCase{"merged attribute and child of one name", R"(<a b="x"><b>1</b></a>)", attributesMode(2),
                  R"({"__name":"a","b":["x","1"]})"},
        ParseCase{"text interrupted by a child", "<a>x<b/>y</a>", defaults,
                  R"({"__name":"a","__text":["x","y"],"b":{}})"},
        ParseCase{"comment blocks the collapse and text joins", "<a><b>x<!--c-->y</b></a>", comments,
                  R"({"__name":"a","b":{"__comments":["c"],"__text":"xy"}})"},
        ParseCase{"without comments the element collapses", "<a><b>x<!--c-->y</b></a>", defaults,
                  R"({"__name":"a","b":"xy"})"},
        ParseCase{"comments are kept untrimmed in order", "<a><!-- one --><b/><!--two--></a>", comments,
                  R"({"__name":"a","__comments":[" one ","two"],"b":{}})"},
        ParseCase{"comments outside the document element are dropped", "<!--pre--><a>x</a><!--post-->",
                  comments, R"({"__name":"a","__text":"x"})"},
        ParseCase{"white-space runs are dropped", "<a>\n  <b>t</b>\n  </a>", defaults,
                  R"({"__name":"a","b":"t"})"},
        ParseCase{"Unicode spaces are trimmed", "<a><b>\xC2\xA0 x y\xE2\x80\x83\n</b></a>", defaults,
                  R"({"__name":"a","b":"x y"})"},
        ParseCase{"trimming off keeps every run", "<a> x <b> </b></a>",
                  [](auto& p) { p.setTrimWhiteSpace(false); }, R"({"__name":"a","__text":" x ","b":" "})"},
        ParseCase{"CDATA is text verbatim", "<a><![CDATA[<b>bold</b> & more]]></a>", defaults,
                  R"({"__name":"a","__text":"<b>bold</b> & more"})"},
        ParseCase{"CDATA joins the surrounding text", "<a><b>x<![CDATA[<y>]]>z</b></a>", defaults,
                  R"({"__name":"a","b":"x<y>z"})"},
        ParseCase{"a text then a node under one name", "<a><b>1</b><b><c/></b></a>", defaults,
                  R"({"__name":"a","b":["1",{"c":{}}]})"},
        ParseCase{"an element without text stays an empty node", "<a><b></b><c>  </c></a>", defaults,
                  R"({"__name":"a","b":{},"c":{}})"},
        ParseCase{"attribute and text do not collapse", R"(<a><b x="1">t</b></a>)", defaults,
                  R"({"__name":"a","b":{"_x":"1","__text":"t"}})"},
        ParseCase{"entities and character references", "<a>1 &lt; 2 &amp;&#x41;&#66;&quot;</a>", defaults,
                  R"({"__name":"a","__text":"1 < 2 &AB\""})"},
        ParseCase{"namespace prefixes stay in names", R"(<s:E xmlns:s="u"><s:B>x</s:B></s:E>)", defaults,
                  R"({"__name":"s:E","_xmlns:s":"u","s:B":"x"})"},
        ParseCase{"names on every node", "<a><b>1</b><c/></a>", nodeNameMode(1),
                  R"({"__name":"a","b":"1","c":{"__name":"c"}})"},
        ParseCase{"names on every node, repeated", "<a><c/><c><d/></c></a>", nodeNameMode(1),
                  R"({"__name":"a","c":[{"__name":"c"},{"__name":"c","d":{"__name":"d"}}]})"},
        ParseCase{"names never", "<a>hello</a>", nodeNameMode(2), R"({"__text":"hello"})"},
        ParseCase{"unknown name mode means never", "<a><b/></a>", nodeNameMode(9), R"({"b":{}})"},
        ParseCase{"collapse off keeps text nodes", "<a><b>1</b></a>",
                  [](auto& p) { p.setCollapseTextNodes(false); }, R"({"__name":"a","b":{"__text":"1"}})"},
        ParseCase{"declared encoding governs the bytes",
                  "<?xml version='1.0' encoding='ISO-8859-1'?><a>caf\xE9</a>", defaults,
                  R"({"__name":"a","__text":"caf\u00e9"})"},
        ParseCase{"a DOCTYPE without declarations is fine", "<!DOCTYPE a><a>x</a>", defaults,
                  R"({"__name":"a","__text":"x"})"},
        ParseCase{"a prefixed attribute named like a reserved key", R"(<a><b _text="v"/></a>)", defaults,
                  R"({"__name":"a","b":"v"})"}),
    [](const auto& test) {
        std::string name;
        for (char c : std::string(test.param.label))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(XMLDictionaryParser, DefaultsAreTheDocumentedOnes) {
    KOPAXMLDictionaryParser parser;
    EXPECT_TRUE(parser.collapseTextNodes());
    EXPECT_TRUE(parser.trimWhiteSpace());
    EXPECT_FALSE(parser.alwaysUseArrays());
    EXPECT_FALSE(parser.preserveComments());
    EXPECT_EQ(parser.attributesMode(), KOPAXMLDictionaryParser::AttributesModePrefixed);
    EXPECT_EQ(parser.nodeNameMode(), KOPAXMLDictionaryParser::NodeNameModeRootOnly);
}

TEST(XMLDictionaryParser, CopyTakesTheSixOptions) {
    KOPAXMLDictionaryParser parser;
    parser.setCollapseTextNodes(false);
    parser.setTrimWhiteSpace(false);
    parser.setAlwaysUseArrays(true);
    parser.setPreserveComments(true);
    parser.setAttributesMode(2);
    parser.setNodeNameMode(1);
    const KOPAXMLDictionaryParser copy = parser.copy();
    EXPECT_FALSE(copy.collapseTextNodes());
    EXPECT_FALSE(copy.trimWhiteSpace());
    EXPECT_TRUE(copy.alwaysUseArrays());
    EXPECT_TRUE(copy.preserveComments());
    EXPECT_EQ(copy.attributesMode(), 2);
    EXPECT_EQ(copy.nodeNameMode(), 1);
}

TEST(XMLDictionaryParser, ParsesAgainWithNoLeftoverState) {
    KOPAXMLDictionaryParser parser;
    EXPECT_TRUE(parser.dictionaryWithString("<a><b>x").has_value());  // a partial tree, then a clean start
    const auto first = parser.dictionaryWithString("<r><i>1</i></r>");
    const auto second = parser.dictionaryWithString("<r><i>1</i></r>");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
    EXPECT_EQ(first->toJson(), R"({"__name":"r","i":"1"})");
}

TEST(XMLDictionaryParser, NoElementGivesNothing) {
    KOPAXMLDictionaryParser parser;
    for (const char* document : {"", "   ", "<?xml version='1.0'?>", "hello", "<!-- only a comment -->"}) {
        KOPAXMLParseError error;
        EXPECT_FALSE(parser.dictionaryWithString(document, &error).has_value()) << document;
        EXPECT_FALSE(error.message.empty()) << document;
    }
}

TEST(XMLDictionaryParser, TruncatedDocumentGivesThePartialTreeAndAnError) {
    KOPAXMLDictionaryParser parser;
    KOPAXMLParseError error;
    const auto root = parser.dictionaryWithString("<a><b>1</b><c>two", &error);
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->toJson(), R"({"__name":"a","b":"1","c":{}})");
    EXPECT_EQ(error.message, "the document ends before all its elements are closed");
    EXPECT_EQ(error.elementPath, "/a/c");
    EXPECT_EQ(error.line, 1u);

    // Text read before the break is kept in the open elements.
    const auto withText = parser.dictionaryWithString("<a>lead<b>1</b><c>", &error);
    ASSERT_TRUE(withText.has_value());
    EXPECT_EQ(withText->toJson(), R"({"__name":"a","__text":"lead","b":"1","c":{}})");
}

TEST(XMLDictionaryParser, ErrorsNameLineColumnAndPath) {
    KOPAXMLParseError error;
    const auto root = KOPAXMLDictionaryParser().dictionaryWithString("<a>\n <b>\n  <c></b></a>", &error);
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(error.message, "mismatched tag");
    EXPECT_EQ(error.line, 3u);
    EXPECT_EQ(error.column, 8u);
    EXPECT_EQ(error.elementPath, "/a/b/c");
    EXPECT_EQ(error.description(), "mismatched tag at line 3, column 8 in /a/b/c");
}

TEST(XMLDictionaryParser, InvalidUTF8IsAFailure) {
    KOPAXMLDictionaryParser parser;
    for (const std::string& document :
         {std::string("<a>ok\xFF</a>"), std::string("<a>\xC3</a>"), std::string("<a>\xC0\xAF</a>"),
          std::string("<a>\xED\xA0\x80</a>"), std::string("<a x=\"\xFE\"/>")}) {
        KOPAXMLParseError error;
        parser.dictionaryWithData(document, &error);
        EXPECT_EQ(error.message, "not well-formed (invalid token)") << document;
        EXPECT_FALSE(parser.parseData(document).isOk());
    }
}

TEST(XMLDictionaryParser, ParseDataIsChecked) {
    KOPAXMLDictionaryParser parser;
    auto good = parser.parseData("<a>x</a>");
    ASSERT_TRUE(good.isOk());
    EXPECT_EQ(good.value().toJson(), R"({"__name":"a","__text":"x"})");
    auto truncated = parser.parseData("<a><b>x</b>");
    ASSERT_FALSE(truncated.isOk());
    EXPECT_EQ(truncated.status().message(),
              "the document ends before all its elements are closed at line 1, column 12 in /a");
    EXPECT_EQ(parser.parseData("").status().message(), "no element found at line 1, column 1");
}

// Entities expand as expat expands them, within its amplification bound: attacks end in a
// refusal, an external entity stays unresolved, a parameter entity is not read.
TEST(XMLDictionaryParser, EntityExpansionAttacksAreRefused) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        laughs += fmt::format("<!ENTITY lol{} \"", i);
        for (int k = 0; k < 10; ++k) laughs += i == 1 ? "&lol;" : fmt::format("&lol{};", i - 1);
        laughs += "\">";
    }
    laughs += "]><lolz>&lol9;</lolz>";

    std::string quadratic = "<!DOCTYPE q [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><q>";
    for (int i = 0; i < 100000; ++i) quadratic += "&big;";
    quadratic += "</q>";

    KOPAXMLDictionaryParser parser;
    for (const std::string* document : std::initializer_list<const std::string*>{&laughs, &quadratic}) {
        KOPAXMLParseError error;
        parser.dictionaryWithString(*document, &error);  // at most the partial tree read before
        EXPECT_NE(error.message.find("amplification"), std::string::npos) << error.message;
    }
    const std::string external = "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>";
    const std::string parameter = "<!DOCTYPE a [<!ENTITY % p \"<!ENTITY y 'z'>\"> %p;]><a>&y;</a>";
    for (const std::string* document : std::initializer_list<const std::string*>{&external, &parameter}) {
        KOPAXMLParseError error;
        const auto root = parser.dictionaryWithString(*document, &error);
        ASSERT_TRUE(root.has_value()) << error.description();
        EXPECT_EQ(root->toJson(), R"({"__name":"a"})");
    }
}

TEST(XMLDictionaryParser, ExternalDTDIsNotLoaded) {
    KOPAXMLParseError error;
    const auto root = KOPAXMLDictionaryParser().dictionaryWithString(
        "<!DOCTYPE a SYSTEM \"file:///etc/passwd\"><a>x</a>", &error);
    ASSERT_TRUE(root.has_value());
    EXPECT_TRUE(error.message.empty()) << error.description();
    EXPECT_EQ(root->toJson(), R"({"__name":"a","__text":"x"})");
}

std::string nested(int depth, std::string_view leaf) {
    std::string document;
    document.reserve(static_cast<size_t>(depth) * 7 + leaf.size());
    for (int i = 0; i < depth; ++i) document += "<e>";
    document += leaf;
    for (int i = 0; i < depth; ++i) document += "</e>";
    return document;
}

TEST(XMLDictionaryParser, DeepNestingParsesWritesAndDies) {
    constexpr int kDepth = 200000;
    const std::string document = nested(kDepth, "x");
    {
        std::optional<Value> root = KOPAXMLDictionaryParser().dictionaryWithString(document);
        ASSERT_TRUE(root.has_value());
        int depth = 1;
        const Value* node = &*root;
        while (const Value* child = node->find("e")) {
            node = child;
            ++depth;
        }
        EXPECT_EQ(depth, kDepth);
        ASSERT_TRUE(node->isString());
        EXPECT_EQ(node->asString(), "x");

        EXPECT_EQ(kopaXMLString(*root), document);
        Value copy = *root;  // a second deep tree, moved and destroyed below
        Value moved = std::move(copy);
        EXPECT_TRUE(moved.isDictionary());
    }  // both trees are destroyed here without exhausting the stack
}

TEST(XMLDictionaryParser, DeepTruncatedNestingKeepsThePartialTree) {
    KOPAXMLParseError error;
    const auto root =
        KOPAXMLDictionaryParser().dictionaryWithString(nested(50000, "x").substr(0, 150000), &error);
    ASSERT_TRUE(root.has_value());
    EXPECT_FALSE(error.message.empty());
    EXPECT_EQ(error.elementPath.size(), 50000u * 2);
}

TEST(XMLDictionaryParser, FileEntryPoint) {
    testsupport::TempDir dir;
    dir.write("doc.xml", "<doc><item id=\"1\">one</item></doc>");
    KOPAXMLDictionaryParser parser;
    const auto root = parser.dictionaryWithFile(dir / "doc.xml");
    ASSERT_TRUE(root.has_value());
    EXPECT_EQ(root->toJson(), R"({"__name":"doc","item":{"__text":"one","_id":"1"}})");

    KOPAXMLParseError error;
    EXPECT_FALSE(parser.dictionaryWithFile(dir / "missing.xml", &error).has_value());
    EXPECT_NE(error.message.find("missing.xml"), std::string::npos);
    EXPECT_NE(error.message.find("No such file"), std::string::npos);
    EXPECT_FALSE(parser.dictionaryWithFile(dir.path(), &error).has_value());  // a directory
    EXPECT_NE(error.message.find("Is a directory"), std::string::npos);
}

TEST(XMLDictionaryParser, SharedInstanceOptionsAreTheConvenienceDefaults) {
    KOPAXMLDictionaryParser& shared = KOPAXMLDictionaryParser::sharedInstance();
    EXPECT_EQ(&shared, &KOPAXMLDictionaryParser::sharedInstance());
    const std::string document = "<a><b>1</b></a>";
    EXPECT_EQ(kopaDictionaryWithXMLString(document)->toJson(), R"({"__name":"a","b":"1"})");
    shared.setAlwaysUseArrays(true);
    shared.setNodeNameMode(KOPAXMLDictionaryParser::NodeNameModeNever);
    const auto changed = kopaDictionaryWithXMLData(document);
    shared.setAlwaysUseArrays(false);
    shared.setNodeNameMode(KOPAXMLDictionaryParser::NodeNameModeRootOnly);
    EXPECT_EQ(changed->toJson(), R"({"b":["1"]})");

    testsupport::TempDir dir;
    dir.write("a.xml", document);
    EXPECT_EQ(kopaDictionaryWithXMLFile(dir / "a.xml")->toJson(), R"({"__name":"a","b":"1"})");
    EXPECT_FALSE(kopaDictionaryWithXMLFile(dir / "none.xml").has_value());
}

TEST(XMLDictionaryParser, ConvenienceParsersRunOnSeveralThreads) {
    std::string document = "<list>";
    for (int i = 0; i < 2000; ++i) document += fmt::format("<i n=\"{}\">{}</i>", i, i * 2);
    document += "</list>";
    const Value expected = *kopaDictionaryWithXMLString(document);
    std::vector<std::thread> threads;
    std::atomic<int> matches{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int k = 0; k < 20; ++k)
                if (kopaDictionaryWithXMLString(document) == expected) ++matches;
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(matches.load(), 80);
    EXPECT_EQ(expected.at("i").asArray().size(), 2000u);
    EXPECT_EQ(expected.at("i").at(1999).toJson(), R"({"__text":"3998","_n":"1999"})");
}

}  // namespace

TEST(XMLDictionaryParser, ManyDifferentlyNamedChildrenAndRepeats) {
    std::string document = "<a>";
    for (int i = 0; i < 100000; ++i) document += fmt::format("<k{}>{}</k{}>", i, i, i);
    document += "<k7>again</k7></a>";
    KOPAXMLParseError error;
    const auto root = KOPAXMLDictionaryParser().dictionaryWithString(document, &error);
    ASSERT_TRUE(root.has_value());
    EXPECT_TRUE(error.message.empty()) << error.description();
    EXPECT_EQ(root->asDictionary().size(), 100001u);  // and "__name"
    EXPECT_EQ(root->at("k99999").asString(), "99999");
    EXPECT_EQ(root->at("k7").toJson(), R"(["7","again"])");
}
