// Node accessors and the XML writer: exact output for the documented cases, the entity order,
// and round trips through the parser.

#include <gtest/gtest.h>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"

using platform::Dictionary;
using platform::Value;

namespace {

Value json(std::string_view text) {
    return Value::parseJson(text);
}

TEST(XMLEncodedString, ReplacesTheFiveCharactersAmpersandFirst) {
    struct Case {
        const char* input;
        const char* expected;
    };
    for (const Case& c :
         {Case{"", ""}, Case{"plain text", "plain text"}, Case{"&<>\"'", "&amp;&lt;&gt;&quot;&apos;"},
          Case{"&lt;", "&amp;lt;"}, Case{"&amp;", "&amp;amp;"}, Case{"a<b>c", "a&lt;b&gt;c"},
          Case{"caf\xC3\xA9 & co", "caf\xC3\xA9 &amp; co"}})
        EXPECT_EQ(kopaXMLEncodedString(c.input), c.expected) << c.input;
}

TEST(XMLAccessors, NameCommentsAndInnerText) {
    const Value node = json(R"({"__name":"a","__comments":["c1","c2"],"__text":["x","y"],"b":"1"})");
    ASSERT_NE(kopaNodeName(node), nullptr);
    EXPECT_EQ(kopaNodeName(node)->asString(), "a");
    ASSERT_NE(kopaComments(node), nullptr);
    EXPECT_EQ(kopaComments(node)->toJson(), R"(["c1","c2"])");
    EXPECT_EQ(kopaInnerText(node), "x\ny");

    const Value bare = json(R"({"b":"1"})");
    EXPECT_EQ(kopaNodeName(bare), nullptr);
    EXPECT_EQ(kopaComments(bare), nullptr);
    EXPECT_EQ(kopaInnerText(bare), std::nullopt);
    EXPECT_EQ(kopaInnerText(Value("not a node")), std::nullopt);
    EXPECT_EQ(kopaInnerText(json(R"({"__text":"t"})")), "t");
}

TEST(XMLAccessors, AttributesInEachStorage) {
    struct Case {
        const char* node;
        const char* attributes;  // JSON, or nullptr for nothing
    };
    for (const Case& c : {
             Case{R"({"__name":"a","_x":"1","_y":"2","b":{}})", R"({"x":"1","y":"2"})"},
             Case{R"({"_b":"attr","b":{"c":"child"}})", R"({"b":"attr"})"},
             Case{R"({"__attributes":{"x":"1"},"_y":"2"})", R"({"x":"1"})"},
             Case{R"({"__attributes":{},"_y":"2"})", nullptr},
             Case{R"({"__name":"a","__text":"t","__comments":["c"],"b":"1"})", nullptr},
             Case{R"({"x":"1"})", nullptr},
             Case{R"({})", nullptr},
         }) {
        const auto attributes = kopaAttributes(json(c.node));
        if (c.attributes) {
            ASSERT_TRUE(attributes.has_value()) << c.node;
            EXPECT_EQ(Value(*attributes).toJson(), json(c.attributes).toJson()) << c.node;
        } else {
            EXPECT_FALSE(attributes.has_value()) << c.node;
        }
    }
}

TEST(XMLAccessors, ChildNodesLeaveOutEveryUnderscoreKey) {
    const auto children =
        kopaChildNodes(json(R"({"__name":"a","_b":"attr","b":{"c":"x"},"__attributes":{"q":"1"},
        "__comments":["c"],"__text":"t","d":["1","2"]})"));
    ASSERT_TRUE(children.has_value());
    EXPECT_EQ(Value(*children).toJson(), R"({"b":{"c":"x"},"d":["1","2"]})");
    EXPECT_FALSE(kopaChildNodes(json(R"({"__name":"a","_x":"1","__text":"t"})")).has_value());
}

struct WriteCase {
    const char* label;
    const char* value;  // JSON
    const char* name;
    const char* expected;
};

class WriteCases : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteCases, WritesExactly) {
    const WriteCase& c = GetParam();
    EXPECT_EQ(KOPAXMLDictionaryParser::XMLStringForNode(json(c.value), c.name), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    DocumentedCases, WriteCases,
    ::testing::Values(
        WriteCase{"full node", R"({"__name":"a","_x":"1","b":["1","2"],"__comments":["c"],"__text":"t"})",
                  "a", "<a x=\"1\"><!--c-->\n<b>1</b>\n<b>2</b>\nt</a>"},
        WriteCase{"attribute only closes itself", R"({"_x":"1"})", "a", "<a x=\"1\"/>"},
        WriteCase{"empty node closes itself", R"({})", "a", "<a/>"},
        WriteCase{"attributes in a dictionary, key order", R"({"__attributes":{"z":"1","a":"2"}})", "n",
                  "<n a=\"2\" z=\"1\"/>"},
        WriteCase{"attribute names and values are encoded", R"({"_q":"say \"<hi>\" & 'bye'"})", "n",
                  "<n q=\"say &quot;&lt;hi&gt;&quot; &amp; &apos;bye&apos;\"/>"},
        WriteCase{"text child is encoded", R"({"b":"<&"})", "root", "<root><b>&lt;&amp;</b></root>"},
        WriteCase{"comments are encoded", R"({"__comments":["a<b"]})", "n", "<n><!--a&lt;b--></n>"},
        WriteCase{"text runs are joined", R"({"__text":["x","y"]})", "n", "<n>x\ny</n>"},
        WriteCase{"numbers and booleans in text form", R"({"i":5,"r":2.5,"t":true,"f":false,"z":null})", "n",
                  "<n><f>false</f>\n<i>5</i>\n<r>2.5</r>\n<t>true</t>\n<z></z></n>"},
        WriteCase{"plain value", R"("a & b")", "v", "<v>a &amp; b</v>"},
        WriteCase{"array of values", R"(["1",{"c":"2"},[]])", "i", "<i>1</i>\n<i><c>2</c></i>\n"},
        WriteCase{"empty array writes nothing", R"([])", "i", ""},
        WriteCase{"one empty child array leaves no content", R"({"a":[]})", "n", "<n/>"},
        WriteCase{"two empty child arrays leave a line feed", R"({"a":[],"b":[]})", "n", "<n>\n</n>"},
        WriteCase{"the name is written as given", R"({"s:B":"x"})", "s:Env", "<s:Env><s:B>x</s:B></s:Env>"},
        WriteCase{"text comes after the children", R"({"__text":"t","b":{}})", "a", "<a><b/>\nt</a>"}),
    [](const auto& test) {
        std::string name;
        for (char c : std::string(test.param.label))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(XMLWriter, XMLStringUsesTheNodeNameOrRoot) {
    EXPECT_EQ(kopaXMLString(json(R"({"__name":"a","b":"1"})")), "<a><b>1</b></a>");
    EXPECT_EQ(kopaXMLString(json(R"({"b":"1"})")), "<root><b>1</b></root>");
}

TEST(XMLWriter, InnerXMLIsTheContentOnly) {
    EXPECT_EQ(kopaInnerXML(json(R"({"__name":"a","_x":"1","b":["1","2"],"__comments":["c"],"__text":"t"})")),
              "<!--c-->\n<b>1</b>\n<b>2</b>\nt");
    EXPECT_EQ(kopaInnerXML(json(R"({"__name":"a","_x":"1"})")), "");
    EXPECT_EQ(kopaInnerXML(json(R"({"b":{"c":{}}})")), "<b><c/></b>");
}

TEST(XMLWriter, RoundTripKeepsElementsAttributesTextsAndRepeats) {
    const std::string document =
        "<catalog version=\"2\">"
        "<book id=\"b1\" lang=\"en\"><author>Ann &amp; Bob</author><title>XML &lt;basics&gt;</title>"
        "<tag>x</tag><tag>y</tag><tag>z</tag></book>"
        "<book id=\"b2\"><title>Only \"quoted\"</title><note/></book>"
        "<count>2</count>"
        "</catalog>";
    const auto parsed = kopaDictionaryWithXMLString(document);
    ASSERT_TRUE(parsed.has_value());
    const std::string written = kopaXMLString(*parsed);
    EXPECT_EQ(written,
              "<catalog version=\"2\"><book id=\"b1\" lang=\"en\"><author>Ann &amp; Bob</author>\n"
              "<tag>x</tag>\n<tag>y</tag>\n<tag>z</tag>\n<title>XML &lt;basics&gt;</title></book>\n"
              "<book id=\"b2\"><note/>\n<title>Only &quot;quoted&quot;</title></book>\n"
              "<count>2</count></catalog>");
    const auto reparsed = kopaDictionaryWithXMLString(written);
    ASSERT_TRUE(reparsed.has_value());
    EXPECT_EQ(*reparsed, *parsed);
}

TEST(XMLWriter, RoundTripInEveryAttributeStorageThatKeepsThem) {
    const std::string document = R"(<r a="1"><i k="v">t</i><i>u</i><j/></r>)";
    for (int32_t mode : {KOPAXMLDictionaryParser::AttributesModePrefixed,
                         KOPAXMLDictionaryParser::AttributesModeDictionary}) {
        KOPAXMLDictionaryParser parser;
        parser.setAttributesMode(mode);
        const auto parsed = parser.dictionaryWithString(document);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(kopaXMLString(*parsed), "<r a=\"1\"><i k=\"v\">t</i>\n<i>u</i>\n<j/></r>") << mode;
    }
}

TEST(XMLWriter, PreservedCommentsComeBack) {
    KOPAXMLDictionaryParser parser;
    parser.setPreserveComments(true);
    const auto parsed = parser.dictionaryWithString("<a><!-- note --><b>1</b></a>");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(kopaXMLString(*parsed), "<a><!-- note -->\n<b>1</b></a>");
}

TEST(XMLWriter, WideAndDeepTreesAreWrittenIteratively) {
    // A tree mixing arrays and nodes 30,000 levels deep: a list inside a node inside a list...
    Value root = Value(Dictionary{});
    Value* node = &root;
    for (int i = 0; i < 30000; ++i) {
        platform::Array list;
        list.emplace_back("leaf");
        list.emplace_back(Dictionary{});
        node->asDictionary().emplace("l", Value(std::move(list)));
        node = &node->asDictionary().at("l").asArray().back();
    }
    const std::string xml = KOPAXMLDictionaryParser::XMLStringForNode(root, "r");
    std::string expected = "<r>";
    for (int i = 0; i < 30000; ++i) expected += "<l>leaf</l>\n<l>";
    expected.replace(expected.size() - 3, 3, "<l/>");
    for (int i = 1; i < 30000; ++i) expected += "</l>";
    expected += "</r>";
    EXPECT_EQ(xml, expected);
}

}  // namespace
