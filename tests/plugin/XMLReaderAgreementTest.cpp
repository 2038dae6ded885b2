// Documents the two readers used to answer differently, and the documents that used to make the
// fast reader slow down quadratically: the parser now gives expat's answer for each, and the
// fast reader either gives that same answer or leaves the document to expat.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLLibxml2Reader.h"
#include "plugin/framework/Classes/VEXAXMLReaders.h"

using platform::Value;
using Reader = KOPAXMLReaders::Reader;
using Verdict = KOPAXMLReaders::Verdict;

namespace {

KOPAXMLReadOptions defaults() {
    return KOPAXMLReadOptions{};
}

TEST(XMLReaderAgreement, AttributeReferencesComeOutAsTheirCharacters) {
    struct Case {
        const char* reference;
        const char* character;
    };
    for (const Case& c :
         {Case{"&amp;", "&"}, Case{"&#38;", "&"}, Case{"&#x26;", "&"}, Case{"&lt;", "<"}, Case{"&gt;", ">"},
          Case{"&quot;", "\""}, Case{"&apos;", "'"}, Case{"&#60;", "<"}, Case{"&#233;", "\xC3\xA9"},
          Case{"&#x20AC;", "\xE2\x82\xAC"}, Case{"&#10;", "\n"}, Case{"&#9;", "\t"}, Case{"&#13;", "\r"},
          Case{"\t", " "}, Case{"&amp;amp;", "&amp;"}}) {
        const std::string expected = fmt::format("x?a=1{}b=2", c.character);
        // With and without a leading space: once the fast reader's document, once not.
        for (const char* lead : {"", " "}) {
            const std::string document = fmt::format("{}<a href=\"x?a=1{}b=2\">t</a>", lead, c.reference);
            KOPAXMLDictionaryParser parser;
            platform::Result<Value> root = parser.parseData(document);
            ASSERT_TRUE(root) << document;
            EXPECT_EQ(root->asDictionary().at("_href").asString(), expected) << document;
            for (Reader reader : {Reader::Expat, Reader::Libxml2}) {
                const auto outcome = KOPAXMLReaders::read(reader, defaults(), document);
                ASSERT_EQ(outcome.verdict, Verdict::Accepted) << document;
                EXPECT_EQ(outcome.root->asDictionary().at("_href").asString(), expected) << document;
            }
        }
    }
}

TEST(XMLReaderAgreement, AttributeRoundTripDoesNotGrowTheText) {
    const std::string document = "<a href=\"x?a=1&amp;b=2\"/>";
    std::string written = document;
    for (int i = 0; i < 3; ++i) {
        auto root = KOPAXMLDictionaryParser().parseData(written);
        ASSERT_TRUE(root);
        written = KOPAXMLDictionaryParser::XMLStringForNode(*root, "a");
    }
    EXPECT_EQ(written, document);
}

// Each refused by expat; none may be taken by the fast reader.
TEST(XMLReaderAgreement, DocumentsExpatRefusesAreRefusedWhoeverReads) {
    const std::string cases[] = {
        std::string("<a>x</a>\0junk", 13),
        std::string("<a>x</a>\0", 9),
        std::string("<a>x\0</a>", 9),
        "<\xF0\x90\x80\x80/>",  // a name made of a character beyond the BMP
        "<a\xF0\x90\x80\x80>x</a\xF0\x90\x80\x80>",
        "<a \xF0\x90\x80\x80=\"1\"/>",
        "<\xE2\x81\xB0/>",   // U+2070: a name start only under newer name rules
        "<a\xE2\x80\xBF/>",  // U+203F likewise as a name character
        "<a>x</a><b/>",
        "<a>x</a>junk",
        "<a b='1' b='2'/>",
        "<a>\xED\xA0\x80</a>",  // an encoded surrogate
        "<a>\xEF\xBF\xBE</a>",  // U+FFFE
        "<a>&#0;</a>",
        "<a b='&#xD800;'/>",
        "<a>]]></a>",
    };
    for (const std::string& document : cases) {
        const auto expat = KOPAXMLReaders::read(Reader::Expat, defaults(), document);
        ASSERT_EQ(expat.verdict, Verdict::Refused) << document;
        EXPECT_NE(KOPAXMLReaders::read(Reader::Libxml2, defaults(), document).verdict, Verdict::Accepted)
            << document;
        KOPAXMLParseError error;
        KOPAXMLDictionaryParser().dictionaryWithData(document, &error);
        EXPECT_EQ(error.description(), expat.error.description()) << document;
        EXPECT_FALSE(KOPAXMLDictionaryParser().parseData(document)) << document;
    }
}

std::string elementWithAttributes(size_t count) {
    std::string xml = "<a";
    for (size_t i = 0; i < count; ++i) xml += fmt::format(" n{}=\"{}\"", i, i % 7);
    return xml + "/>";
}

std::string elementWithDistinctChildren(size_t count) {
    std::string xml = "<a>";
    for (size_t i = 0; i < count; ++i) xml += fmt::format("<c{}>{}</c{}>", i, i % 7, i);
    return xml + "</a>";
}

// Past the limits the fast reader hands the document on before its quadratic parts run; the
// tree is the same either way.
TEST(XMLReaderAgreement, AttributeHeavyTagsAndNameRichDocumentsGoToExpat) {
    struct Case {
        std::string document;
        bool fastReaderTakesIt;
        size_t entries;  // of the document element, "__name" included
    };
    const size_t attributes = KOPAXMLLibxml2Reader::kMaxAttributesPerTag;
    const size_t names = KOPAXMLLibxml2Reader::kMaxDistinctNames;
    const Case cases[] = {
        {elementWithAttributes(100), true, 101},
        {elementWithAttributes(attributes - 10), true, attributes - 9},
        {elementWithAttributes(attributes + 1), false, attributes + 2},
        {elementWithAttributes(30000), false, 30001},
        {elementWithDistinctChildren(100), true, 101},
        {elementWithDistinctChildren(names + 1000), false, names + 1001},
        {elementWithDistinctChildren(20000), false, 20001},
    };
    for (const Case& c : cases) {
        const auto expat = KOPAXMLReaders::read(Reader::Expat, defaults(), c.document);
        const auto fast = KOPAXMLReaders::read(Reader::Libxml2, defaults(), c.document);
        const auto parser = KOPAXMLReaders::read(Reader::Automatic, defaults(), c.document);
        ASSERT_EQ(expat.verdict, Verdict::Accepted);
        EXPECT_EQ(fast.verdict, c.fastReaderTakesIt ? Verdict::Accepted : Verdict::Declined) << c.entries;
        if (c.fastReaderTakesIt) {
            EXPECT_EQ(*fast.root, *expat.root);
        }
        ASSERT_EQ(parser.verdict, Verdict::Accepted);
        EXPECT_EQ(parser.root->asDictionary().size(), c.entries);
        EXPECT_EQ(*parser.root, *expat.root);
    }
}

// The scan before the fast reader: attributes counted per start tag, not per document, so
// ordinary documents with many attributes in all stay on the fast path.
TEST(XMLReaderAgreement, FastReaderScanCountsAttributesPerTag) {
    std::string many = "<r>";
    for (int i = 0; i < 2000; ++i) many += fmt::format("<i a=\"{}\" b=\"x=y\" c=\"\"/>", i);
    many += "</r>";
    EXPECT_TRUE(KOPAXMLLibxml2Reader::suits(many));
    // '=' in long text between tags counts towards no tag once a '<' follows.
    std::string text = "<r>" + std::string(100000, '=') + "</r>";
    EXPECT_FALSE(KOPAXMLLibxml2Reader::suits(text));  // conservative: the text could be a tag
    EXPECT_TRUE(KOPAXMLLibxml2Reader::suits("<r>" + std::string(200, '=') + "</r>"));
    EXPECT_FALSE(KOPAXMLLibxml2Reader::suits(std::string("<r/>\0", 5)));
    EXPECT_FALSE(KOPAXMLLibxml2Reader::suits("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r/>"));
    EXPECT_FALSE(KOPAXMLLibxml2Reader::suits("<?xml version=\"1.1\"?><r/>"));
    EXPECT_TRUE(KOPAXMLLibxml2Reader::suits("<?xml version=\"1.0\" encoding=\"utf-8\"?><r/>"));
    EXPECT_TRUE(KOPAXMLLibxml2Reader::suits("\n  <r/>"));
    EXPECT_FALSE(KOPAXMLLibxml2Reader::suits(" <?xml version=\"1.0\"?><r/>"));
}

// The scan counts every byte of every block: '=' and NUL bytes at seeded random positions, in
// any lane of a block, are all seen.
TEST(XMLReaderAgreement, FastReaderScanSeesEveryByte) {
    std::mt19937_64 random(7);
    const size_t limit = KOPAXMLLibxml2Reader::kMaxAttributesPerTag;
    for (int round = 0; round < 500; ++round) {
        std::string filler(std::uniform_int_distribution<size_t>(limit + 50, 4 * limit)(random), 'x');
        const size_t equals = std::uniform_int_distribution<size_t>(limit - 40, limit + 40)(random);
        std::vector<size_t> positions(filler.size());
        std::iota(positions.begin(), positions.end(), 0);
        std::shuffle(positions.begin(), positions.end(), random);
        for (size_t i = 0; i < equals && i < positions.size(); ++i) filler[positions[i]] = '=';
        const std::string document = "<a" + filler + "/>";
        EXPECT_EQ(KOPAXMLLibxml2Reader::suits(document), equals <= limit)
            << equals << " in " << filler.size();
        std::string withNul = "<a>" + std::string(filler.size(), 'y') + "</a>";
        withNul[3 + positions[0]] = '\0';
        EXPECT_FALSE(KOPAXMLLibxml2Reader::suits(withNul)) << positions[0];
    }
}

TEST(XMLReaderAgreement, LongNamesAndValuesReadWhole) {
    const std::string name(1 << 20, 'n');
    const std::string value(1 << 20, 'v');
    const std::string document = fmt::format("<{0} {0}=\"{1}\"><{0}>t</{0}></{0}>", name, value);
    for (Reader reader : {Reader::Expat, Reader::Libxml2, Reader::Automatic}) {
        const auto outcome = KOPAXMLReaders::read(reader, defaults(), document);
        ASSERT_EQ(outcome.verdict, Verdict::Accepted);
        const platform::Dictionary& root = outcome.root->asDictionary();
        EXPECT_EQ(root.at("_" + name).asString(), value);
        EXPECT_EQ(root.at(name).asString(), "t");
    }
}

}  // namespace
