// The two XML readers give one answer per document: seeded random documents -- every kind of
// reference, CDATA, comments, processing instructions, declared encodings, DOCTYPEs, bad names,
// bad characters and malformed endings -- are read by each reader alone and by the parser, under
// random options. Where libxml2 takes a document, expat must build the same tree; where it
// refuses one, expat must refuse it too; and the parser's answer (tree, decision, error) is
// always expat's.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "plugin/framework/Classes/VEXAXMLReaders.h"

using platform::Value;

namespace {

class DocumentGenerator {
public:
    explicit DocumentGenerator(uint64_t seed) : m_random(seed) {}

    std::string document() {
        // Half the documents stay clear of the troubles, so many are well-formed.
        m_clean = chance(50);
        std::string xml;
        if (chance(5)) xml += "\xEF\xBB\xBF";
        if (chance(50)) xml += declaration();
        if (trouble(20)) xml += doctype();
        for (size_t i = 0, n = pick(3); i < n; ++i) xml += misc();
        element(xml, 0);
        for (size_t i = 0, n = pick(3); i < n; ++i) xml += misc();
        xml += ending();
        if (trouble(15) && !xml.empty()) xml.resize(pick(xml.size()));  // truncated
        if (trouble(5) && !xml.empty()) xml[pick(xml.size())] = static_cast<char>(pick(256));
        if (chance(3)) xml = utf16(xml);
        return xml;
    }

    KOPAXMLReadOptions options() {
        KOPAXMLReadOptions o;
        o.collapseTextNodes = chance(70);
        o.trimWhiteSpace = chance(70);
        o.alwaysUseArrays = chance(30);
        o.preserveComments = chance(50);
        o.attributesMode = static_cast<int32_t>(pick(4));
        o.nodeNameMode = static_cast<int32_t>(pick(3));
        return o;
    }

private:
    bool chance(unsigned percent) { return pick(100) < percent; }
    // For the choices that can break a document: taken as asked, or, for a clean document, the
    // harmless way.
    bool trouble(unsigned percent) { return !m_clean && chance(percent); }
    size_t pick(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }
    template <size_t N>
    const char* oneOf(const char* const (&items)[N]) {
        return items[pick(N)];
    }

    std::string declaration() {
        static const char* const kVersions[] = {"1.0", "1.0", "1.0", "1.1", "2.0"};
        static const char* const kEncodings[] = {"",
                                                 " encoding=\"UTF-8\"",
                                                 " encoding='utf-8'",
                                                 " encoding=\"ISO-8859-1\"",
                                                 " encoding=\"US-ASCII\"",
                                                 " encoding=\"UTF-16\"",
                                                 " encoding=\"bogus\""};
        static const char* const kStandalone[] = {"", "", " standalone=\"yes\"", " standalone='no'",
                                                  " standalone=\"maybe\""};
        std::string d = trouble(5) ? " <?xml" : "<?xml";
        d += fmt(" version=\"", m_clean ? "1.0" : oneOf(kVersions), "\"");
        d += m_clean ? kEncodings[pick(3)] : oneOf(kEncodings);
        d += m_clean ? kStandalone[pick(4)] : oneOf(kStandalone);
        d += "?>";
        if (chance(50)) d += "\n";
        return d;
    }

    // The bytes as UTF-16LE behind a byte order mark (exact for ASCII documents).
    static std::string utf16(const std::string& bytes) {
        std::string out = "\xFF\xFE";
        for (char c : bytes) {
            out += c;
            out += '\0';
        }
        return out;
    }

    static std::string fmt(const char* a, const char* b, const char* c) { return std::string(a) + b + c; }

    std::string doctype() {
        static const char* const kDoctypes[] = {
            "<!DOCTYPE r>",
            "<!DOCTYPE r [<!ELEMENT r ANY>]>",
            "<!DOCTYPE r [<!ENTITY e \"entity text\">]>",
            "<!DOCTYPE r [<!ATTLIST r d CDATA \"default\">]>",
            "<!DOCTYPE r SYSTEM \"missing.dtd\">",
            "<!DOCTYPE r [<!-- inside -->]>",
            "<!DOCTYPE r [%pe;]>",
            "<!DOCTYPE r [<!ELEMENT r (#PCDATA)>",
        };
        return std::string(oneOf(kDoctypes)) + (chance(50) ? "\n" : "");
    }

    std::string misc() {
        switch (pick(4)) {
            case 0:
                return "\n  ";
            case 1:
                return "<!--" + commentText() + "-->";
            case 2:
                return "<?" + piTarget() + " " + text(false) + "?>";
            default:
                return " ";
        }
    }

    static constexpr const char* kPITargets[] = {"pi", "app-data", "xml", "XmL", "x:y", "1bad"};
    std::string piTarget() { return trouble(15) ? kPITargets[pick(std::size(kPITargets))] : "pi"; }
    std::string commentText() {
        std::string t = text(false);
        if (!trouble(5)) {
            for (size_t at; (at = t.find("--")) != std::string::npos;) t.replace(at, 2, "~");
            if (!t.empty() && t.back() == '-') t.back() = '~';
        }
        return t;
    }

    std::string name() {
        static const char* const kGoodNames[] = {"a",        "b",           "item",         "r",
                                                 "x-y",      "x.y",         "ns:tag",       "_u",
                                                 "a1",       "caf\xC3\xA9", "\xCE\xA9mega", "\xE4\xB8\xAD",
                                                 "x\xCC\x81"};
        if (!trouble(10)) return oneOf(kGoodNames);
        static const char* const kNames[] = {
            "a",
            "b",
            "item",
            "r",
            "x-y",
            "x.y",
            "ns:tag",
            "_u",
            "a1",
            "b",
            "item",
            "caf\xC3\xA9",
            "\xCE\xA9mega",
            "\xE4\xB8\xAD",
            "\xC2\xB7x",
            "x\xCC\x81",
            "\xF0\x90\x80\x80",
            "a\xF0\x90\x80\x80",
            "1a",
            ".x",
            "-x",
            "\xE2\x80\xBF",
            "a\xE2\x80\xBF",
            "\xEF\xBC\xA1",
            "x\xEF\xBF\xBE",
            "__text",
            "__name",
        };
        return oneOf(kNames);
    }

    // Text with every kind of reference and character trouble; `attribute` adds quote troubles.
    std::string text(bool attribute) {
        static const char* const kPieces[] = {
            "plain",
            " ",
            "  spaced  ",
            "\n",
            "\r\n",
            "\r",
            "\t",
            "&amp;",
            "&lt;",
            "&gt;",
            "&quot;",
            "&apos;",
            "&#38;",
            "&#60;",
            "&#x26;",
            "&#233;",
            "&#x20AC;",
            "&#x1F600;",
            "&#10;",
            "&#13;",
            "&#9;",
            "&#0;",
            "&#xD800;",
            "&#xFFFE;",
            "&undefined;",
            "&",
            "<",
            ">",
            "]]>",
            "\"",
            "'",
            "caf\xC3\xA9",
            "\xE2\x82\xAC",
            "\xF0\x9F\x98\x80",
            "\xC2\xA0",
            "\xE3\x80\x80",
            "\x01",
            "\x0B",
            "\xEF\xBF\xBE",
            "\xED\xA0\x80",
            "\xC0\x80",
            "\xFF",
            "\x80",
            "--",
            "-",
            "=",
            "a=b",
        };
        std::string t;
        for (size_t i = 0, n = pick(5); i < n; ++i) {
            const char* piece = oneOf(kPieces);
            // The troublesome pieces are rarer, so most documents are well-formed.
            if (std::string_view(piece).find_first_of("&<>]\"'\x01\x0B\xEF\xED\xC0\xFF\x80-") !=
                    std::string_view::npos &&
                std::string_view(piece).substr(0, 1) != "&" && !trouble(5))
                piece = "word";
            if (std::string_view(piece) == "&" || std::string_view(piece) == "&undefined;" ||
                std::string_view(piece) == "&#0;" || std::string_view(piece) == "&#xD800;" ||
                std::string_view(piece) == "&#xFFFE;") {
                if (!trouble(3)) piece = "&amp;";
            }
            t += piece;
        }
        (void)attribute;
        return t;
    }

    std::string cdataText() {
        std::string t = text(false);
        if (!trouble(10))
            for (size_t at; (at = t.find("]]>")) != std::string::npos;) t.replace(at, 3, "]>");
        return t;
    }

    std::string attributeValue() {
        std::string v = text(true);
        const char quote = chance(50) ? '"' : '\'';
        std::string escaped;
        for (char c : v) {
            if (c == quote && !trouble(10))
                escaped += quote == '"' ? "&quot;" : "&apos;";
            else
                escaped += c;
        }
        return std::string(1, quote) + escaped + quote;
    }

    void element(std::string& xml, int depth) {
        const std::string tag = depth == 0 && chance(50) ? "r" : name();
        xml += '<';
        xml += tag;
        std::vector<std::string> used;
        for (size_t i = 0, n = pick(4); i < n; ++i) {
            std::string attribute = name();
            if (std::find(used.begin(), used.end(), attribute) != used.end() && !trouble(5)) continue;
            used.push_back(attribute);
            xml += trouble(5) ? "" : " ";
            xml += attribute;
            xml += chance(90) ? "=" : " = ";
            xml += attributeValue();
        }
        if (chance(20)) {
            xml += trouble(5) ? " / >" : "/>";
            return;
        }
        xml += '>';
        for (size_t i = 0, n = depth < 4 ? pick(6) : pick(2); i < n; ++i) {
            switch (pick(6)) {
                case 0:
                case 1:
                    xml += text(false);
                    break;
                case 2:
                    if (depth < 5) element(xml, depth + 1);
                    break;
                case 3:
                    xml += "<![CDATA[" + cdataText() + (chance(10) ? "]]" : "") + "]]>";
                    break;
                case 4:
                    xml += "<!--" + commentText() + "-->";
                    break;
                default:
                    xml += "<?" + piTarget() + " " + text(false) + "?>";
                    break;
            }
        }
        if (trouble(3))
            xml += "</mismatch>";
        else
            xml += "</" + tag + ">";
    }

    std::string ending() {
        static const char* const kEndings[] = {
            "",     "",          "",      "\n",  "\n\n  ",      "<!-- after -->",
            "junk", "<second/>", "&amp;", "]]>", "<?pi after?>"};
        std::string e = m_clean ? kEndings[pick(6)] : oneOf(kEndings);
        if (trouble(10)) e += std::string("\0junk", 5);
        if (trouble(5)) e += std::string("\0", 1);
        return e;
    }

    std::mt19937_64 m_random;
    bool m_clean = false;
};

std::string show(const std::optional<Value>& root) {
    return root ? root->toJson() : "(none)";
}

TEST(XMLReaderDifferential, ReadersAgreeOnSeededRandomDocuments) {
    constexpr uint64_t kSeeds = 20000;
    size_t accepted = 0, refused = 0, declined = 0, expatAccepted = 0;
    for (uint64_t seed = 1; seed <= kSeeds; ++seed) {
        DocumentGenerator generator(seed);
        const std::string document = generator.document();
        const KOPAXMLReadOptions options = generator.options();
        using Reader = KOPAXMLReaders::Reader;
        using Verdict = KOPAXMLReaders::Verdict;
        const auto expat = KOPAXMLReaders::read(Reader::Expat, options, document);
        const auto libxml2 = KOPAXMLReaders::read(Reader::Libxml2, options, document);
        const auto parser = KOPAXMLReaders::read(Reader::Automatic, options, document);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", document:\n" << document);

        expatAccepted += expat.verdict == Verdict::Accepted;
        ASSERT_NE(expat.verdict, Verdict::Declined);
        switch (libxml2.verdict) {
            case Verdict::Accepted:
                ++accepted;
                ASSERT_EQ(expat.verdict, Verdict::Accepted) << expat.error.description();
                ASSERT_EQ(show(libxml2.root), show(expat.root));
                break;
            case Verdict::Refused:
                ++refused;
                ASSERT_EQ(expat.verdict, Verdict::Refused) << show(expat.root);
                break;
            case Verdict::Declined:
                ++declined;
                break;
        }
        ASSERT_EQ(parser.verdict, expat.verdict);
        ASSERT_EQ(show(parser.root), show(expat.root));
        ASSERT_EQ(parser.error.description(), expat.error.description());
    }
    // The comparison means something only when both readers saw many documents of each kind.
    EXPECT_GT(accepted, kSeeds / 4) << "refused " << refused << ", declined " << declined << ", expat took "
                                    << expatAccepted;
    EXPECT_GT(refused, kSeeds / 20);
    EXPECT_GT(expatAccepted - accepted, kSeeds / 50) << "documents only expat takes";
}

}  // namespace
