// KOPAHelper::stringFromHTML: HTML in the wrapper of the given font, read into styled runs.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "framework/Classes/VEXAHelper.h"
#include "platform/foundation/HTMLReader.h"
#include "platform/ui/Font.h"

namespace {

using platform::AttributedString;
using platform::Font;

struct Run {
    Run(std::string text, bool bold = false, bool italic = false, std::string link = "", double size = 12,
        std::string family = "Helvetica")
        : text(std::move(text)),
          bold(bold),
          italic(italic),
          link(std::move(link)),
          size(size),
          family(std::move(family)) {}
    std::string text;
    bool bold;
    bool italic;
    std::string link;
    double size;
    std::string family;
};

std::vector<Run> runsOf(const AttributedString& s) {
    std::vector<Run> runs;
    for (const auto& r : s.runs())
        runs.push_back({std::string(s.textOfRun(r)), r.attributes.bold, r.attributes.italic,
                        r.attributes.link, r.attributes.fontSize, r.attributes.fontFamily});
    return runs;
}

std::string describe(const std::vector<Run>& runs) {
    std::string out;
    for (const auto& r : runs) {
        out += "[" + r.text + "]";
        if (r.bold) out += " bold";
        if (r.italic) out += " italic";
        if (!r.link.empty()) out += " link=" + r.link;
        out += " " + r.family + " " + std::to_string(r.size) + "\n";
    }
    return out;
}

struct Case {
    const char* name;
    std::string html;
    std::vector<Run> runs;
};

// Runs come out in the 12.5-point Helvetica of the wrapper unless the case says otherwise.
const Font kFont("Helvetica", 12.5);

class HtmlConversion : public ::testing::TestWithParam<Case> {};

TEST_P(HtmlConversion, GivesTheseRuns) {
    const Case& c = GetParam();
    auto result = KOPAHelper::stringFromHTML(c.html, &kFont);
    ASSERT_TRUE(result);
    EXPECT_EQ(describe(runsOf(*result)), describe(c.runs));
    // Runs cover the text without gaps.
    size_t covered = 0;
    for (const auto& r : result->runs()) {
        EXPECT_EQ(r.location, covered);
        covered += r.length;
    }
    EXPECT_EQ(covered, result->length());
}

const std::string kReplacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Tags, HtmlConversion,
    ::testing::Values(
        Case{"plain", "plain text", {{"plain text\n"}}}, Case{"empty", "", {}},
        Case{"bold_and_italic",
             "<b>bold</b> and <i>it</i>",
             {{"bold", true}, {" and "}, {"it", false, true}, {"\n"}}},
        Case{"nested", "<b>a<i>b</i>c</b>", {{"a", true}, {"b", true, true}, {"c", true}, {"\n"}}},
        Case{"strong_em", "<strong>s</strong><em>e</em>", {{"s", true}, {"e", false, true}, {"\n"}}},
        Case{"link",
             "see <a href=\"https://example.test/a?b=1&amp;c=2\">here</a>.",
             {{"see "}, {"here", false, false, "https://example.test/a?b=1&c=2"}, {".\n"}}},
        Case{"anchor_without_href", "<a name=\"x\">here</a>", {{"here\n"}}},
        Case{"paragraphs", "<p>one</p><p>two</p>", {{"one\ntwo\n"}}},
        Case{"line_break", "a<br>b<br/><br>c", {{"a\nb\n\nc\n"}}},
        Case{"white_space", "  a \n\t b  <b> c </b> ", {{"a b "}, {"c", true}, {"\n"}}},
        Case{"pre_keeps_space", "<pre>a  b\n c</pre>", {{"a  b\n c\n"}}},
        Case{"heading", "<h1>T</h1>x", {{"T\n", true, false, "", 24}, {"x\n"}}},
        Case{"span_style",
             "<span style=\"font-family: 'Courier New', monospace; font-size: 20px; font-weight: "
             "bold\">c</span>"
             "<span style=\"font-style:italic;font-size:150%\">d</span>",
             {{"c", true, false, "", 20, "Courier New"}, {"d", false, true, "", 18}, {"\n"}}},
        Case{"style_quoted_semicolon",
             "<span style=\"font-family:'A;B'\">x</span>",
             {{"x", false, false, "", 12, "A;B"}, {"\n"}}},
        Case{
            "bad_style_values_ignored",
            "<span style=\"font-size: -4px; font-size: NaNpx; font-size: 1e400px; font-weight; :;\">x</span>",
            {{"x\n"}}},
        Case{"script_and_style_skipped",
             "<script>alert(1)</script><style>b { color: red }</style><noscript>n</noscript>x",
             {{"x\n"}}},
        Case{"image_not_loaded", "<img src=\"http://127.0.0.1:9/x.png\" alt=\"pic\">ok", {{"ok\n"}}},
        Case{"head_and_title_skipped", "<title>T</title>body", {{"body\n"}}}));

INSTANTIATE_TEST_SUITE_P(
    Entities, HtmlConversion,
    ::testing::Values(Case{"markup", "&lt;b&gt; &amp; &quot;q&quot;", {{"<b> & \"q\"\n"}}},
                      Case{"named", "caf&eacute; &copy; &euro;", {{"caf\xC3\xA9 \xC2\xA9 \xE2\x82\xAC\n"}}},
                      Case{"numeric", "&#65;&#x42;&#x1F600;", {{"AB\xF0\x9F\x98\x80\n"}}},
                      Case{"nbsp_is_kept",
                           "a&nbsp;&nbsp;b",
                           {{"a\xC2\xA0\xC2\xA0"
                             "b\n"}}},
                      Case{"unknown_kept_as_text", "&bogus; &amp x", {{"&bogus; &amp x\n"}}}));

INSTANTIATE_TEST_SUITE_P(
    Malformed, HtmlConversion,
    ::testing::Values(
        Case{"unclosed", "<b>unclosed <i>tags", {{"unclosed ", true}, {"tags", true, true}, {"\n"}}},
        // The stray </div> closes the wrapper: the font still holds for the text after it.
        Case{"stray_end_tags", "</b></i></div>stray end", {{"stray end"}}},
        Case{"misnested", "<b>a<i>b</b>c</i>", {{"a", true}, {"b", true, true}, {"c\n"}}},
        Case{"broken_tag", "a <b class=\"x>b</b> c", {{"a\n"}}},
        Case{"lone_angle", "1 < 2 > 0", {{"1 < 2 > 0\n"}}},
        Case{"invalid_utf8",
             "a\xFF\xFE"
             "b\xC3",
             {{"a" + kReplacement + kReplacement + "b" + kReplacement + "\n"}}},
        Case{"surrogate_and_overlong",
             "\xED\xA0\x80-\xC0\xAF",
             {{kReplacement + kReplacement + kReplacement + "-" + kReplacement + kReplacement + "\n"}}},
        Case{"nul_byte", std::string("a\0b", 3), {{"a" + kReplacement + "b\n"}}},
        Case{"meta_charset_does_not_switch", "<meta charset=\"iso-8859-1\">\xC3\xA9", {{"\xC3\xA9\n"}}},
        Case{"comment", "a<!-- hidden <b>x</b> -->b", {{"ab\n"}}}));

TEST(HtmlWrapper, TruncatesTheSizeTowardZeroAndNamesTheFamily) {
    struct SizeCase {
        double points;
        double pixels;
    };
    for (auto [points, pixels] :
         {SizeCase{12.5, 12}, SizeCase{12.99, 12}, SizeCase{9, 9}, SizeCase{0.5, 12}}) {
        // 0.5 truncates to 0 pixels, a size the reader refuses: the default size stays.
        Font font("Georgia", points);
        auto result = KOPAHelper::stringFromHTML("x", &font);
        ASSERT_TRUE(result);
        ASSERT_FALSE(result->runs().empty());
        EXPECT_EQ(result->runs()[0].attributes.fontSize, pixels) << points;
        EXPECT_EQ(result->runs()[0].attributes.fontFamily, "Georgia");
    }
}

TEST(HtmlWrapper, NoFontMeansTheSystemFontAtItsStandardSize) {
    auto result = KOPAHelper::stringFromHTML("x", nullptr);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->runs().size(), 1u);
    EXPECT_EQ(result->runs()[0].attributes.fontFamily, Font::kSystemFontFamily);
    EXPECT_EQ(result->runs()[0].attributes.fontSize, Font::systemFontSize());
}

TEST(HtmlWrapper, AFontNameWithQuotesOrMarkupStaysAName) {
    for (std::string name : {"O'Neil Sans", "Evil\"><b>x</b>", "Back\\slash", "A;B&amp;"}) {
        Font font(name, 14);
        auto result = KOPAHelper::stringFromHTML("text", &font);
        ASSERT_TRUE(result) << name;
        EXPECT_EQ(result->string(), "text\n") << name;
        ASSERT_EQ(result->runs().size(), 1u) << name;
        EXPECT_EQ(result->runs()[0].attributes.fontFamily, name);
        EXPECT_FALSE(result->runs()[0].attributes.bold);
    }
}

// Hostile input: each must finish, keep the text after the hostile part, and stay linear.
std::string repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

TEST(HtmlHostile, DeepNestingKeepsTheTextBelowAndAfterIt) {
    struct Deep {
        const char* open;
        const char* close;
        const char* expected;
    };
    for (auto [open, close, expected] :
         {Deep{"<div>", "</div>", "deep\nafter\n"}, Deep{"<b>", "</b>", "deepafter\n"},
          Deep{"<span>", "</span>", "deepafter\n"}, Deep{"<b><i>", "", "deepafter\n"}}) {
        const size_t depth = 20000;
        auto html = repeat(open, depth) + "deep" + repeat(close, depth) + "after";
        auto result = KOPAHelper::stringFromHTML(html, &kFont);
        ASSERT_TRUE(result) << open;
        EXPECT_EQ(result->string(), expected) << open;
    }
}

TEST(HtmlHostile, LongLinksAndFamiliesAreDroppedSoRunsStaySmall) {
    std::string longAddress = "https://x.test/" + std::string(platform::HTMLReader::kMaxLinkLength, 'a');
    std::string longFamily(platform::HTMLReader::kMaxFamilyLength + 1, 'F');
    auto html =
        "<a href=\"" + longAddress + "\">a</a><span style=\"font-family:" + longFamily + "\">b</span>";
    auto result = KOPAHelper::stringFromHTML(html, &kFont);
    ASSERT_TRUE(result);
    EXPECT_EQ(describe(runsOf(*result)), describe({{"ab\n"}}));
}

TEST(HtmlHostile, NestedHeadingsKeepTheSizeWithinBounds) {
    // Each heading scales the size it is in; two thousand of them would overflow to infinity
    // (h1) or sink to zero (h6).
    using platform::HTMLReader;
    struct Case {
        const char* open;
        const char* unit;  // what else each level opens
        double size;
    };
    for (const auto& c :
         {Case{"<h1>", "<div>", HTMLReader::kMaxFontSize}, Case{"<h6>", "<div>", HTMLReader::kMinFontSize},
          Case{"<h1>", "", HTMLReader::kMaxFontSize},
          Case{"<span style=\"font-size:1e-300px\">", "", HTMLReader::kMinFontSize},
          Case{"<h2><span style=\"font-size:300%\">", "", HTMLReader::kMaxFontSize}}) {
        const std::string html = repeat(std::string(c.unit) + c.open, 2000) + "deep";
        auto result = HTMLReader::read(html);
        ASSERT_TRUE(result) << c.open;
        ASSERT_FALSE(result->runs().empty()) << c.open;
        for (const auto& run : result->runs()) {
            EXPECT_GE(run.attributes.fontSize, HTMLReader::kMinFontSize) << c.open;
            EXPECT_LE(run.attributes.fontSize, HTMLReader::kMaxFontSize) << c.open;
        }
        EXPECT_EQ(result->attributesAtIndex(result->string().find("deep")).fontSize, c.size) << c.open;
    }
}

TEST(HtmlHostile, LargeInputsGrowLinearly) {
    // Work per byte at 8x the size may not be more than a few times the work per byte at 1x
    // (time is compared, with a wide margin, only between the two sizes of one shape).
    struct Shape {
        const char* name;
        std::string unit;
        std::string tail;
    };
    for (const auto& shape :
         {Shape{"paragraphs", "<p>x y", ""}, Shape{"nesting", "<div><b>", "x"},
          Shape{"stray ends", "</b></i>x", ""}, Shape{"entities", "&amp;&#x41;&bogus;", ""},
          Shape{"runs", "<b>a</b><i>b</i>", ""}}) {
        auto seconds = [&](size_t n) {
            auto html = repeat(shape.unit, n) + shape.tail;
            auto start = std::chrono::steady_clock::now();
            auto result = KOPAHelper::stringFromHTML(html, &kFont);
            EXPECT_TRUE(result) << shape.name;
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        seconds(1000);  // warm-up
        double small = seconds(5000);
        double large = seconds(40000);
        EXPECT_LT(large, 8 * small * 4 + 0.05) << shape.name << ": " << small << " s, then " << large << " s";
    }
}

TEST(HtmlHostile, UnknownEncodingGivesNone) {
    EXPECT_FALSE(platform::HTMLReader::read("x", 30));
    auto latin1 = platform::HTMLReader::read("caf\xE9", platform::HTMLReader::kISOLatin1StringEncoding);
    ASSERT_TRUE(latin1);
    EXPECT_EQ(latin1->string(), "caf\xC3\xA9\n");
}

}  // namespace
