#include <gtest/gtest.h>

#include <random>

#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Window.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

bool hasControlBytes(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

bool isUtf8(const std::string& text) {
    for (size_t pos = 0; pos < text.size();)
        if (!nextCodePoint(text, pos)) return false;
    return true;
}

// ------------------------------------------------------------------ matching titles

struct MatchCase {
    const char* wanted;
    std::optional<size_t> index;
    const char* error;  // when there is no index
};

TEST(MatchTitleTest, ExactThenCaseThenUniquePrefixNeverGuessing) {
    const std::vector<std::string> titles = {
        "Invoice",             // 0
        "invoice",             // 1
        "Inquiry",             // 2
        "Orders",              // 3
        "Save\u2026",          // 4
        "Open...",             // 5
        "\u00c9mile",          // 6 Émile
        "\u65e5\u672c\u8a9e",  // 7
        "Ordinal",             // 8
    };
    const MatchCase cases[] = {
        {"invoice", 1, ""},
        {"Invoice", 0, ""},
        {"INVOICE", std::nullopt, "\"INVOICE\" is ambiguous: \"Invoice\", \"invoice\""},
        {"orders", 3, ""},
        {"ORDE", 3, ""},
        {"ord", std::nullopt, "\"ord\" is ambiguous: \"Orders\", \"Ordinal\""},
        {"in", std::nullopt, "\"in\" is ambiguous: \"Invoice\", \"invoice\", \"Inquiry\""},
        {"inq", 2, ""},
        {"Save...", 4, ""},
        {"save...", 4, ""},
        {"Save\u2026", 4, ""},
        {"sa", 4, ""},
        {"Open...", 5, ""},
        {"open\u2026", 5, ""},
        {"\u00e9mile", 6, ""},
        {"\u00e9", 6, ""},
        {"\u65e5\u672c", 7, ""},
        {"Invoce", std::nullopt, "no item \"Invoce\" (did you mean \"Invoice\"?)"},
        {"Ordres", std::nullopt, "no item \"Ordres\" (did you mean \"Orders\"?)"},
        {"xyz", std::nullopt, "no item \"xyz\""},
        {"", std::nullopt, "no item \"\""},
        {"\x1b[D", std::nullopt, "no item \"\\x1b[D\""},
        {"abc\x1b[D\x1b[DX", std::nullopt, "no item \"abc\\x1b[D\\x1b[DX\""},
        {"\xff", std::nullopt, "no item \"\\xff\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        auto match = matchTitle(titles, c.wanted, "item");
        EXPECT_EQ(match.index, c.index) << match.error;
        EXPECT_EQ(match.error, c.index ? "" : c.error);
    }
}

TEST(MatchTitleTest, EdgeLists) {
    struct Case {
        const char* name;
        std::vector<std::string> titles;
        std::string wanted;
        std::optional<size_t> index;
        std::string error;
    };
    const Case cases[] = {
        {"NoTitles", {}, "a", std::nullopt, "no button \"a\""},
        {"SameTitleTwiceIsNotGuessed",
         {"OK", "OK"},
         "OK",
         std::nullopt,
         "\"OK\" is ambiguous: 2 buttons have that title"},
        {"RepeatedTitlesListedOnce",
         {"OK", "Other", "OK"},
         "o",
         std::nullopt,
         "\"o\" is ambiguous: \"OK\" (2 of them), \"Other\""},
        {"EmptyTitleChosenOnlyExactly", {"", "Other"}, "", 0, ""},
        {"StoredControlCharactersShownEscaped",
         {"a\x1b[31mb", "a\x1b[32mc"},
         "a",
         std::nullopt,
         "\"a\" is ambiguous: \"a\\x1b[31mb\", \"a\\x1b[32mc\""},
        {"GreekCaseIgnored",
         {"\u03a9\u03bc\u03ad\u03b3\u03b1", "x"},
         "\u03c9\u03bc\u03ad\u03b3\u03b1",
         0,
         ""},
        {"CyrillicCaseIgnored",
         {"x", "\u041c\u043e\u0441\u043a\u0432\u0430"},
         "\u043c\u043e\u0441\u043a\u0432\u0430",
         1,
         ""},
        {"LatinExtendedCaseIgnored",
         {"\u0141\u00f3d\u017a", "\u017dlu\u0165", "\u0100b"},
         "\u017elu\u0164",
         1,
         ""},
        {"LatinExtendedLowerToUpper",
         {"\u0141\u00f3d\u017a", "\u017dlu\u0165", "\u0100b"},
         "\u0142\u00d3D\u0179",
         0,
         ""},
        {"EvenOddPairs", {"\u0141\u00f3d\u017a", "\u017dlu\u0165", "\u0100b"}, "\u0101B", 2, ""},
        {"YWithDiaeresis", {"\u00ffes", "\u0179es"}, "\u0178ES", 0, ""},
        {"RawExactBeatsEllipsisSpelling", {"Save\u2026", "Save..."}, "Save...", 1, ""},
        {"TypedEllipsisCharacterPicksTheOneSpelledSo", {"Save\u2026", "Save..."}, "Save\u2026", 0, ""},
        {"LongListNamesTenAndCountsTheRest",
         {"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10", "a11", "a12"},
         "a",
         std::nullopt,
         "\"a\" is ambiguous: \"a1\", \"a2\", \"a3\", \"a4\", \"a5\", \"a6\", \"a7\", \"a8\", \"a9\", "
         "\"a10\" and 2 more"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto match = matchTitle(c.titles, c.wanted, "button");
        EXPECT_EQ(match.index, c.index) << match.error;
        EXPECT_EQ(match.error, c.error);
    }
}

// Every title of a list whose titles differ beyond letter case is found by itself, in capitals
// and by any prefix that no other title shares.
TEST(MatchTitleTest, EveryDistinctTitleIsFoundOnRandomLists) {
    const std::string letters = "abcdeABCDE -.";
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 random(seed);
        std::vector<std::string> titles;
        for (size_t n = 1 + random() % 12; n > 0; --n) {
            std::string title;
            for (size_t k = 1 + random() % 8; k > 0; --k) title += letters[random() % letters.size()];
            titles.push_back(title);
        }
        auto folded = [](std::string s) {
            for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        for (size_t i = 0; i < titles.size(); ++i) {
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " title " << titles[i]);
            size_t sameFolded = 0, sameExact = 0;
            for (const auto& t : titles) {
                sameFolded += folded(t) == folded(titles[i]);
                sameExact += t == titles[i];
            }
            auto exact = matchTitle(titles, titles[i], "item");
            if (sameExact == 1)
                EXPECT_EQ(exact.index, i);
            else
                EXPECT_FALSE(exact.index);
            if (sameFolded == 1 && titles[i].find("..") == std::string::npos) {
                auto upper = titles[i];
                for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                auto match = matchTitle(titles, upper, "item");
                if (upper == titles[i] || std::count(titles.begin(), titles.end(), upper) == 0) {
                    EXPECT_EQ(match.index, i) << match.error;
                }
                // The shortest prefix no other title starts with (ignoring case) picks it.
                for (size_t len = 1; len <= titles[i].size(); ++len) {
                    auto prefix = folded(titles[i].substr(0, len));
                    size_t sharing = 0;
                    for (const auto& t : titles) sharing += folded(t).rfind(prefix, 0) == 0;
                    if (sharing != 1) continue;
                    EXPECT_EQ(matchTitle(titles, prefix, "item").index, i) << prefix;
                    break;
                }
            }
        }
    }
}

TEST(NearestTitleTest, SuggestsOnlyWhatIsClose) {
    const std::vector<std::string> titles = {"File", "Edit", "Plug-ins", "Duplicate form definition\u2026"};
    struct Case {
        std::string wanted;
        std::string nearest;
    };
    const Case cases[] = {
        {"Fiel", "File"},  // two letters swapped
        {"FILE", "File"},  // case alone
        {"plugins", "Plug-ins"},
        {"Edt", "Edit"},
        {"Duplicate form defintion...", "Duplicate form definition\u2026"},
        {"Quit", ""},
        {"F", ""},  // one letter is no evidence
        {"xy", ""},
        {"", ""},
        {std::string(100000, 'F'), ""},
        {"Fil\x1b", "File"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted.substr(0, 40));
        EXPECT_EQ(nearestTitle(titles, c.wanted), c.nearest);
    }
    EXPECT_EQ(nearestTitle({}, "File"), "");
    // Titles far longer than anything typed are skipped cheaply, not compared.
    EXPECT_EQ(nearestTitle({std::string(1 << 20, 'a'), "abcd"}, "abce"), "abcd");
}

// ------------------------------------------------------------------ declining an alert

TEST(DecliningButtonTest, CancelThenTheAlternateElseTheOnlyButton) {
    struct Case {
        AlertRequest alert;
        std::string title;
        int returnValue;
    };
    const Case cases[] = {
        {{"T", "M", "Download", "Not Now", "", false}, "Not Now", kAlertAlternateReturn},
        {{"T", "M", "Replace", "Keep both", "Cancel", false}, "Cancel", kAlertOtherReturn},
        {{"T", "M", "OK", "", "", false}, "OK", kAlertDefaultReturn},
        {{"T", "M", "", "", "", false}, "OK", kAlertDefaultReturn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        AlertButton button = decliningButton(c.alert);
        EXPECT_EQ(button.title, c.title);
        EXPECT_EQ(button.returnValue, c.returnValue);
    }
}

// ------------------------------------------------------------------ printable text

TEST(PrintableTest, EscapesControlsAndBrokenUtf8Only) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"abc\x1b[D\x1b[DX", "abc\\x1b[D\\x1b[DX"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {std::string("nul\0end", 7), "nul\\x00end"},
        {"\x01\x7f", "\\x01\\x7f"},
        {"\xc2\x85", "\\u0085"},  // a C1 control, written as UTF-8
        {"\xe2\x80\xae"
         "evil",
         "\\u202eevil"},  // right-to-left override
        {"a\xe2\x81\xa6"
         "b\xe2\x81\xa9",
         "a\\u2066b\\u2069"},                                                             // isolates
        {"pay\xe2\x80\x8bpal \xe2\x80\x8f\xef\xbb\xbf", "pay\\u200bpal \\u200f\\ufeff"},  // zero-width
        {"\xe2\x80\x8a\xe2\x80\x90", "\xe2\x80\x8a\xe2\x80\x90"},  // hair space, hyphen: visible
        {"\xff", "\\xff"},
        {"\xc3", "\\xc3"},                             // cut short at the end
        {"\xc3(", "\\xc3("},                           // cut short before another character
        {"\xc0\xaf", "\\xc0\\xaf"},                    // overlong "/"
        {"\xe0\x80\xaf", "\\xe0\\x80\\xaf"},           // overlong in three bytes
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},           // a surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
        {"\xc3\xa9t\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x99\x82 e\xcc\x81",
         "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x99\x82 e\xcc\x81"},
        {"back\\slash \"quoted\" \xe2\x80\xa6", "back\\slash \"quoted\" \xe2\x80\xa6"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(DisplayText::printable(c.text), c.shown);
    }
}

TEST(PrintableTest, EveryByteAlone) {
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        std::string text(1, static_cast<char>(b));
        std::string shown = DisplayText::printable(text);
        EXPECT_FALSE(hasControlBytes(shown)) << shown;
        EXPECT_TRUE(isUtf8(shown));
        if (b >= 0x20 && b < 0x7f)
            EXPECT_EQ(shown, text);
        else
            EXPECT_EQ(shown.front(), '\\');
    }
}

TEST(PrintableTest, RandomBytesComeOutPrintableAndValidTextUnchanged) {
    const char32_t printableChars[] = {U'a',   U'Z',   U' ',    U'\\', U'~', 0xe9,
                                       0x2026, 0x65e5, 0x1f642, 0x301, 0xa0};
    for (unsigned seed = 1; seed <= 500; ++seed) {
        std::mt19937 random(seed);
        std::string bytes;
        for (size_t n = random() % 64; n > 0; --n) bytes += static_cast<char>(random() % 256);
        std::string shown = DisplayText::printable(bytes);
        EXPECT_FALSE(hasControlBytes(shown)) << seed;
        EXPECT_TRUE(isUtf8(shown)) << seed;
        EXPECT_EQ(DisplayText::printable(shown), shown) << seed;  // already printable text is left alone

        std::u32string chars;
        for (size_t n = random() % 32; n > 0; --n)
            chars += printableChars[random() % std::size(printableChars)];
        std::string text;
        for (char32_t c : chars) {
            if (c < 0x80) {
                text += static_cast<char>(c);
            } else if (c < 0x800) {
                text += static_cast<char>(0xc0 | (c >> 6));
                text += static_cast<char>(0x80 | (c & 0x3f));
            } else if (c < 0x10000) {
                text += static_cast<char>(0xe0 | (c >> 12));
                text += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
                text += static_cast<char>(0x80 | (c & 0x3f));
            } else {
                text += static_cast<char>(0xf0 | (c >> 18));
                text += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
                text += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
                text += static_cast<char>(0x80 | (c & 0x3f));
            }
        }
        EXPECT_EQ(DisplayText::printable(text), text) << seed;
        // Decoding gives back the characters that were encoded.
        std::u32string decoded;
        for (size_t pos = 0; pos < text.size();) decoded += nextCodePoint(text, pos).value_or(0);
        EXPECT_EQ(decoded, chars) << seed;
    }
}

// ------------------------------------------------------------------ menus, buttons, alerts

class FrontEndSupportUiTest : public testsupport::UiTest {};

TEST_F(FrontEndSupportUiTest, MenuPathsMatchLikeEveryOtherTitle) {
    Menu bar;
    auto zandrel = std::make_shared<Menu>("Zandrel");
    auto duplicate = zandrel->addItemWithTitle("Duplicate form definition\u2026", "duplicate:", "");
    auto check = zandrel->addItemWithTitle("Check for updates", "check:", "");
    auto plugins = std::make_shared<Menu>("Plug-ins");
    plugins->addItemWithTitle("", "", "")->setSubmenu(zandrel);  // named by its submenu
    auto file = std::make_shared<Menu>("File");
    auto close = file->addItemWithTitle("Close", "close:", "");
    bar.addItemWithTitle("File", "", "")->setSubmenu(file);
    bar.addItemWithTitle("Format", "", "");
    bar.addItemWithTitle("Plug-ins", "", "")->setSubmenu(plugins);

    struct Case {
        std::string path;
        std::shared_ptr<MenuItem> item;
        std::string error;
    };
    const Case cases[] = {
        {"Plug-ins > Zandrel > Duplicate form definition...", duplicate, ""},
        {"plug > zandrel > dup", duplicate, ""},
        {"PLUG-INS > ZAN > CHECK", check, ""},
        {"Fi > Close", close, ""},
        {"F > Close", nullptr, "in the menu bar, \"F\" is ambiguous: \"File\", \"Format\""},
        {"Fiel > Close", nullptr,
         "the menu bar has no item \"Fiel\" (did you mean \"File\"?) (it has \"File\", \"Format\", "
         "\"Plug-ins\")"},
        {"Plug-ins > Zandrel > Duplicat form", nullptr,
         "the menu \"Zandrel\" has no item \"Duplicat form\" (it has \"Duplicate form definition\u2026\", "
         "\"Check for updates\")"},
        {"Plug-ins > Zandrel > Chekc for updates", nullptr,
         "the menu \"Zandrel\" has no item \"Chekc for updates\" (did you mean \"Check for updates\"?) (it "
         "has "
         "\"Duplicate form definition\u2026\", \"Check for updates\")"},
        {"File > Clos\x1b", nullptr,
         "the menu \"File\" has no item \"Clos\\x1b\" (did you mean \"Close\"?) (it has \"Close\")"},
        {"Format > Bold", nullptr, "\"Format\" has no submenu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto found = findMenuItem(bar, splitMenuPath(c.path));
        EXPECT_EQ(found.item, c.item) << found.error;
        EXPECT_EQ(found.error, c.error);
        EXPECT_FALSE(hasControlBytes(found.error));
    }
    auto byNumber = findMenuItem(bar, std::vector<int>{4});
    EXPECT_EQ(byNumber.error, "the menu bar has no item \"4\" (it has \"File\", \"Format\", \"Plug-ins\")");
}

TEST_F(FrontEndSupportUiTest, ButtonsMatchByTitleAmongVisibleOnes) {
    auto window = std::make_shared<Window>("Save");
    std::map<std::string, std::shared_ptr<Button>> buttons;
    for (auto title : {"Duplicate", "Don't Save", "Cancel", "Delete"}) {
        buttons[title] = std::make_shared<Button>(title);
        window->contentView()->addSubview(buttons[title]);
    }
    buttons["Delete"]->setHidden(true);
    struct Case {
        const char* wanted;
        const char* title;  // "" for none
    };
    const Case cases[] = {
        {"Duplicate", "Duplicate"}, {"dup", "Duplicate"}, {"d", ""},      {"don", "Don't Save"},
        {"CANCEL", "Cancel"},       {"del", ""},          {"Delete", ""}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        auto button = findVisibleButton(*window, c.wanted);
        EXPECT_EQ(button ? button->title() : "", c.title);
    }
}

TEST(AlertButtonsTest, AnswerByUniquePrefix) {
    AlertRequest replace{"Zandrel", "Replace it?", "Replace", "Cancel", "Keep both", false};
    AlertRequest save{"Zandrel", "Save?", "Save", "Save As", "", false};
    AlertRequest plain{"Zandrel", "Done", "", "", "", true};
    struct Case {
        const AlertRequest* alert;
        const char* answer;
        std::optional<int> value;
    };
    const Case cases[] = {
        {&replace, "Replace", kAlertDefaultReturn}, {&replace, "r", kAlertDefaultReturn},
        {&replace, "CAN", kAlertAlternateReturn},   {&replace, "keep", kAlertOtherReturn},
        {&replace, "Keep both!", std::nullopt},     {&replace, "", std::nullopt},
        {&save, "save", kAlertDefaultReturn},       {&save, "sav", std::nullopt},
        {&save, "save a", kAlertAlternateReturn},   {&plain, "ok", kAlertDefaultReturn},
        {&plain, "o", kAlertDefaultReturn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        EXPECT_EQ(alertReturnForTitle(*c.alert, c.answer), c.value);
    }
}

}  // namespace
