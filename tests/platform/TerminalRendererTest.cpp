#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "tests/support/CaseName.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

using testsupport::expectFits;
using testsupport::linesOf;

using testsupport::contains;

class Cells : public TableViewDataSource {
public:
    size_t numberOfRowsInTableView(const TableView&) override { return rows.size(); }
    Value objectValueForTableColumnRow(const TableView& table, const TableColumn& column,
                                       size_t row) override {
        for (size_t c = 0; c < table.tableColumns().size(); ++c)
            if (table.tableColumns()[c].identifier == column.identifier && c < rows[row].size())
                return Value(rows[row][c]);
        return {};
    }
    std::vector<std::vector<std::string>> rows;
};

class TerminalRendererTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        window = std::make_shared<Window>("Templates");
    }
    std::shared_ptr<TableView> addTable(const std::string& identifier, size_t rows) {
        auto table = std::make_shared<TableView>();
        table->setIdentifier(identifier);
        table->addTableColumn({"name", "Name"});
        table->addTableColumn({"count", "Count"});
        auto source = std::make_shared<Cells>();
        for (size_t r = 0; r < rows; ++r)
            source->rows.push_back({"row " + std::to_string(r + 1), std::to_string(r)});
        table->setDataSource(source);
        sources.push_back(source);
        window->contentView()->addSubview(table);
        return table;
    }

    std::shared_ptr<Window> window;
    std::vector<std::shared_ptr<Cells>> sources;
};

// ------------------------------------------------------------------ widths

TEST(DisplayWidthTest, CountsColumnsNotBytes) {
    struct Case {
        std::string text;
        size_t width;
    };
    const Case cases[] = {
        {"", 0},
        {"abc", 3},
        {"\xc3\xa9t\xc3\xa9", 3},         // été
        {"e\xcc\x81", 1},                 // e and a combining acute accent
        {"\xe2\x80\xa6", 1},              // …
        {"\xe6\x97\xa5\xe6\x9c\xac", 4},  // 日本
        {"\xea\xb0\x80", 2},              // 가
        {"\xef\xbc\xa1", 2},              // full-width A
        {"\xf0\x9f\x99\x82", 2},          // 🙂
        {"a\xe2\x80\x8b"
         "b",
         2},              // zero-width space
        {"\xff\xfe", 2},  // stray bytes: one column each
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DisplayText::printable(c.text));
        EXPECT_EQ(TerminalRenderer::displayWidth(c.text), c.width);
    }
}

TEST(FitWidthTest, CutsWholeCharactersAndEndsInAnEllipsis) {
    struct Case {
        std::string text;
        size_t width;
        std::string fitted;
    };
    const Case cases[] = {
        {"Invoice", 7, "Invoice"},
        {"Invoice", 4, "Inv\xe2\x80\xa6"},
        {"Invoice", 1, "\xe2\x80\xa6"},
        {"Invoice", 0, ""},
        {"", 0, ""},
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", 4, "\xe6\x97\xa5\xe2\x80\xa6"},  // 日本語: no half character
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", 5, "\xe6\x97\xa5\xe6\x9c\xac\xe2\x80\xa6"},
        {"e\xcc\x81"
         "e\xcc\x81"
         "e\xcc\x81",
         2, "e\xcc\x81\xe2\x80\xa6"},  // the accent stays with its letter
        {"\xc3\xa9t\xc3\xa9", 3, "\xc3\xa9t\xc3\xa9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DisplayText::printable(c.text) + " at " + std::to_string(c.width));
        auto fitted = TerminalRenderer::fitWidth(c.text, c.width);
        EXPECT_EQ(fitted, c.fitted);
        EXPECT_LE(TerminalRenderer::displayWidth(fitted), c.width);
    }
}

// ------------------------------------------------------------------ windows

// Titles a person or a database may hold: wide, combining, long words, control characters,
// broken UTF-8.
const std::vector<std::string> kTitles = {
    "Invoice",
    "invoice",
    "A form template with a rather long name that will not fit",
    "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x86\xe3\x83\xb3\xe3\x83\x97\xe3\x83\xac\xe3\x83"
    "\xbc"
    "\xe3\x83\x88\xe3\x81\xa7\xe3\x81\x99",
    "Cafe\xcc\x81 cre\xcc\x80me bru\xcc\x82le\xcc\x81"
    "e and more combining marks",
    "\xf0\x9f\x99\x82\xf0\x9f\x99\x82\xf0\x9f\x99\x82\xf0\x9f\x99\x82\xf0\x9f\x99\x82\xf0\x9f\x99\x82",
    "red\x1b[31m text\x1b[0m\r\nnext\ttab",
    "broken \xff\xc3 bytes",
    std::string(300, 'W'),
    "",
    "x",
};

TEST_F(TerminalRendererTest, RandomWindowsFitEveryWidth) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&] { return kTitles[random() % kTitles.size()]; };
        auto w = std::make_shared<Window>(pick());
        std::vector<std::shared_ptr<Cells>> keep;
        for (size_t n = 1 + random() % 8; n > 0; --n) {
            std::shared_ptr<View> view;
            switch (random() % 6) {
                case 0:
                    view = std::make_shared<Button>(pick());
                    break;
                case 1:
                    view = std::make_shared<Button>(pick(), Button::Kind::CheckBox);
                    break;
                case 2: {
                    auto field = std::make_shared<TextField>(pick());
                    field->setEditable(random() % 2 == 0);
                    field->setPlaceholder(pick());
                    view = field;
                    break;
                }
                case 3: {
                    auto popUp = std::make_shared<PopUpButton>();
                    for (size_t k = random() % 6; k > 0; --k) popUp->addItemWithTitle(pick());
                    popUp->selectItemAtIndex(static_cast<int64_t>(random() % 4) - 1);
                    view = popUp;
                    break;
                }
                case 4: {
                    auto table = std::make_shared<TableView>();
                    auto source = std::make_shared<Cells>();
                    size_t columns = 1 + random() % 4;
                    for (size_t c = 0; c < columns; ++c) table->addTableColumn({std::to_string(c), pick()});
                    for (size_t r = random() % 30; r > 0; --r) {
                        source->rows.emplace_back();
                        for (size_t c = 0; c < columns; ++c) source->rows.back().push_back(pick());
                    }
                    table->setDataSource(source);
                    keep.push_back(source);
                    view = table;
                    break;
                }
                default:
                    view = std::make_shared<View>();
                    break;
            }
            view->setIdentifier(pick());
            w->contentView()->addSubview(view);
        }
        for (size_t width : {20, 40, 80, 200}) {
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " width " << width);
            RenderOptions options;
            options.width = width;
            options.tablePageRows = 1 + random() % 25;
            expectFits(TerminalRenderer::renderWindow(*w, options), width);
        }
    }
}

TEST_F(TerminalRendererTest, StoredControlCharactersAreDrawnEscaped) {
    window = std::make_shared<Window>("Evil\x1b]0;title\x07");
    auto button = std::make_shared<Button>("Go\x1b[2J");
    button->setIdentifier("go");
    window->contentView()->addSubview(button);
    std::string drawn = TerminalRenderer::renderWindow(*window);
    EXPECT_TRUE(contains(drawn, "=== \"Evil\\x1b]0;title\\x07\" ===")) << drawn;
    EXPECT_TRUE(contains(drawn, "< Go\\x1b[2J >")) << drawn;
    EXPECT_FALSE(contains(drawn, "\x1b"));
}

TEST_F(TerminalRendererTest, LabelsOfSeveralLinesOrTooLongAreWrappedNotCut) {
    const std::vector<std::string> changes = {
        "Reports can be exported to PDF and to spreadsheets with every column kept",
        "Templates keep their field order when copied", "A crash when the network went away is fixed"};
    std::string message = "An upgrade of Zandrel is available.\n\nWhat's new in version 2.0:\n\n";
    for (const auto& change : changes) message += "\u2022 " + change + "\n";
    auto label = std::make_shared<TextField>(message + "tab\there \x1b[2J");
    label->setEditable(false);
    label->setIdentifier("message");
    label->setFrame({100, 52, 400, 170});
    window->contentView()->addSubview(label);
    for (size_t width : {20, 40, 80, 120}) {
        SCOPED_TRACE(width);
        RenderOptions options;
        options.width = width;
        std::string drawn = TerminalRenderer::renderWindow(*window, options);
        expectFits(drawn, width);
        EXPECT_FALSE(contains(drawn, "\u2026")) << "nothing of the message is cut\n" << drawn;
        EXPECT_FALSE(contains(drawn, "\x1b")) << drawn;
        EXPECT_TRUE(contains(drawn, "\\x1b[2J")) << drawn;
        // Every word is there, and each change starts a line of its own.
        std::string words;
        for (const auto& line : linesOf(drawn)) words += line + " ";
        for (const char* word : {"upgrade", "2.0:", "spreadsheets", "order", "fixed", "tab"})
            EXPECT_TRUE(contains(words, word)) << word << "\n" << drawn;
        size_t bullets = 0;
        for (const auto& line : linesOf(drawn))
            if (contains(line, "\u2022 ")) ++bullets;
        EXPECT_EQ(bullets, changes.size()) << drawn;
    }
}

TEST_F(TerminalRendererTest, LongCellsAreCutWhileShortOnesStay) {
    auto table = addTable("templates", 2);
    sources.back()->rows[0] = {"A form template with a very long name indeed, longer than any terminal", "7"};
    for (size_t width : {40, 80}) {
        RenderOptions options;
        options.width = width;
        std::string drawn = TerminalRenderer::renderWindow(*window, options);
        expectFits(drawn, width);
        auto lines = linesOf(drawn);
        auto row =
            std::find_if(lines.begin(), lines.end(), [](const auto& l) { return contains(l, "1. A form"); });
        ASSERT_NE(row, lines.end()) << drawn;
        EXPECT_TRUE(contains(*row, "\xe2\x80\xa6 | 7")) << *row;  // the short column is still shown
        EXPECT_TRUE(contains(drawn, "2. row 2 | 1\n")) << drawn;
    }
    (void)table;
}

TEST_F(TerminalRendererTest, CellsWithoutAValueStayBlank) {
    addTable("templates", 2);
    sources.back()->rows[0] = {"unnamed"};  // the data source has no value for the count
    std::string drawn = TerminalRenderer::renderWindow(*window);
    EXPECT_TRUE(contains(drawn, "1. unnamed | \n") || contains(drawn, "1. unnamed |\n")) << drawn;
    EXPECT_FALSE(contains(drawn, "null")) << drawn;
    EXPECT_TRUE(contains(drawn, "2. row 2 | 1\n")) << drawn;
}

TEST_F(TerminalRendererTest, PopUpsListOneItemPerLineWhenTheyDoNotFit) {
    auto popUp = std::make_shared<PopUpButton>();
    popUp->setIdentifier("templates");
    for (auto t : {"Contacts", "Projects with a long name", "Orders"}) popUp->addItemWithTitle(t);
    popUp->selectItemAtIndex(1);
    window->contentView()->addSubview(popUp);

    RenderOptions wide;
    wide.width = 200;
    std::string oneLine = TerminalRenderer::renderWindow(*window, wide);
    EXPECT_TRUE(contains(oneLine, "pop-up     1. Contacts  *2. Projects with a long name  3. Orders\n"))
        << oneLine;

    RenderOptions narrow;
    narrow.width = 40;
    std::string listed = TerminalRenderer::renderWindow(*window, narrow);
    expectFits(listed, 40);
    EXPECT_EQ(listed,
              "=== \"Templates\" ===\n"
              "  #1 templates pop-up 3 items\n"
              "   1. Contacts\n"
              "  *2. Projects with a long name\n"
              "   3. Orders\n");
}

struct PageCase {
    const char* name;
    size_t rows;
    std::optional<size_t> firstRow;
    size_t pageRows;
    std::vector<size_t> shown;  // row numbers drawn, from 1
    std::string note;           // "" for none
};

class TablePagingTest : public TerminalRendererTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(TablePagingTest, ShowsOnePageAndSaysHowToSeeOthers) {
    const auto& c = GetParam();
    auto table = addTable("users", c.rows);
    RenderOptions options;
    if (c.firstRow) options.tableFirstRow[table.get()] = *c.firstRow;
    options.tablePageRows = c.pageRows;
    std::string drawn = TerminalRenderer::renderWindow(*window, options);
    expectFits(drawn, options.width);
    std::vector<size_t> shown;
    std::string note;
    for (const auto& line : linesOf(drawn)) {
        std::string text = line.substr(line.find_first_not_of(" *"));
        if (auto dot = text.find(". row "); dot != std::string::npos)
            shown.push_back(std::stoul(text.substr(0, dot)));
        else if (text.rfind("row", 0) == 0)
            note = text;
    }
    EXPECT_EQ(shown, c.shown) << drawn;
    EXPECT_EQ(note, c.note) << drawn;
}

std::vector<size_t> span(size_t from, size_t to) {
    std::vector<size_t> numbers;
    for (size_t n = from; n <= to; ++n) numbers.push_back(n);
    return numbers;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, TablePagingTest,
    ::testing::Values(
        PageCase{"FirstPage", 120, std::nullopt, 20, span(1, 20),
                 "rows 1-20 of 120: show users 21-40, or next"},
        PageCase{"MiddlePage", 120, 20, 20, span(21, 40),
                 "rows 21-40 of 120: show users 41-60, or next / prev"},
        PageCase{"LastPage", 120, 100, 20, span(101, 120), "rows 101-120 of 120: show users 1-20, or prev"},
        PageCase{"ShortLastPage", 25, 20, 20, span(21, 25), "rows 21-25 of 25: show users 1-20, or prev"},
        PageCase{"UnalignedStart", 120, 115, 20, span(116, 120),
                 "rows 116-120 of 120: show users 1-20, or prev"},
        PageCase{"OneRowLeft", 120, 119, 20, {120}, "row 120 of 120: show users 1-20, or prev"},
        PageCase{"PastTheEndShowsTheLastPage", 120, 5000, 20, span(101, 120),
                 "rows 101-120 of 120: show users 1-20, or prev"},
        PageCase{"AllFit", 20, std::nullopt, 20, span(1, 20), ""}, PageCase{"NoRows", 0, 3, 20, {}, ""},
        PageCase{"ZeroPageRowsShowsOne", 3, std::nullopt, 0, {1}, "row 1 of 3: show users 2-2, or next"}),
    testsupport::CaseName());

TEST_F(TerminalRendererTest, PagingNoteShortensRatherThanCuttingTheCommand) {
    auto table = addTable("templates", 45);
    struct Case {
        size_t width;
        std::string note;
    };
    const Case cases[] = {
        {80, "      rows 4-6 of 45: show templates 7-9, or next / prev"},
        {40, "   rows 4-6 of 45: next / prev"},
        {20, "   4-6/45: next / p\xe2\x80\xa6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        RenderOptions options;
        options.width = c.width;
        options.tablePageRows = 3;
        options.tableFirstRow[table.get()] = 3;
        auto lines = linesOf(TerminalRenderer::renderWindow(*window, options));
        EXPECT_NE(std::find(lines.begin(), lines.end(), c.note), lines.end())
            << ::testing::PrintToString(lines);
    }
}

TEST_F(TerminalRendererTest, PagingNamesATableWithoutIdentifierByNumber) {
    window->contentView()->addSubview(std::make_shared<Button>("First"));
    auto table = addTable("", 30);
    table->selectRow(25);
    RenderOptions options;
    options.tableFirstRow[table.get()] = 20;
    std::string drawn = TerminalRenderer::renderWindow(*window, options);
    EXPECT_TRUE(contains(drawn, "rows 21-30 of 30: show 2 1-20, or prev\n")) << drawn;
    EXPECT_TRUE(contains(drawn, "*26. row 26 | 25\n")) << drawn;
}

// ------------------------------------------------------------------ alerts

TEST(AlertDrawingTest, MessagesWrapAtSpacesToTheWidth) {
    struct Case {
        const char* name;
        std::string message;
        size_t width;
        std::vector<std::string> lines;  // the message's lines, without "| "
    };
    const Case cases[] = {
        {"Wraps",
         "The quick brown fox jumps over the lazy dog",
         20,
         {"The quick brown", "fox jumps over the", "lazy dog"}},
        {"Fits", "The quick brown fox", 80, {"The quick brown fox"}},
        {"KeepsParagraphs", "One\n\nTwo", 20, {"One", "", "Two"}},
        {"Empty", "", 20, {""}},
        {"LongWordIsCutNotLost",
         "see " + std::string(40, 'x') + " end",
         20,
         {"see", std::string(18, 'x'), std::string(18, 'x'), "xxxx end"}},
        {"WideCharactersCountTwice",
         "\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5"
         "\xe6\x97\xa5"
         "\xe6\x97\xa5",
         12,
         {"\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5",
          "\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5\xe6\x97\xa5"}},
        {"ControlsEscapedTabsSpaced", "a\x1b[1mb\tc", 40, {"a\\x1b[1mb c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string drawn =
            TerminalRenderer::renderAlert({"Zandrel", c.message, "OK", "", "", false}, c.width);
        expectFits(drawn, c.width);
        auto lines = linesOf(drawn);
        ASSERT_EQ(lines.size(), c.lines.size() + 3) << drawn;
        for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(lines[i + 1], "| " + c.lines[i]);
    }
}

TEST(AlertDrawingTest, ButtonsGoOnePerLineWhenTheyDoNotFit) {
    AlertRequest alert{
        "A title far too long for a narrow terminal", "Replace?", "Replace", "Cancel", "Keep both", false};
    EXPECT_EQ(TerminalRenderer::renderAlert(alert, 80),
              "+-- Alert: A title far too long for a narrow terminal\n| Replace?\n"
              "| 1) Replace (default)   2) Cancel   3) Keep both\n+-- answer <number|button title>\n");
    EXPECT_EQ(TerminalRenderer::renderAlert(alert, 24),
              "+-- Alert: A title far \xe2\x80\xa6\n| Replace?\n| 1) Replace (default)\n| 2) Cancel\n"
              "| 3) Keep both\n+-- answer <number|butt\xe2\x80\xa6\n");
}

TEST(AlertDrawingTest, HugeMessagesDrawInLinearSpace) {
    std::string message;
    for (int i = 0; i < 20000; ++i) message += "word\x01 ";
    message += std::string(100000, 'y');
    std::string drawn = TerminalRenderer::renderAlert({"Big", message, "OK", "", "", false}, 40);
    expectFits(drawn, 40);
    EXPECT_LT(drawn.size(), 4 * message.size());
    EXPECT_EQ(std::count(drawn.begin(), drawn.end(), 'y'), 100000);
}

}  // namespace

namespace {

TEST(MenuDrawingTest, FitsTheWidthEscapesTitlesAndStopsAtLoops) {
    auto bar = std::make_shared<Menu>("Main");
    auto tools = std::make_shared<Menu>("Tools");
    tools->addItemWithTitle("A command whose title goes on well past any narrow terminal", "run:", "");
    tools->addItemWithTitle("Red\x1b[31m", "red:", "");
    bar->addItemWithTitle("Tools", "", "")->setSubmenu(tools);
    auto loop = tools->addItemWithTitle("Back to the top", "", "");
    loop->setSubmenu(bar);
    for (size_t width : {20, 40, 80}) {
        SCOPED_TRACE(width);
        std::string drawn = TerminalRenderer::renderMenuBar(*bar, width);
        expectFits(drawn, width);
        EXPECT_EQ(linesOf(drawn).size(), 5u) << drawn;
    }
    std::string wide = TerminalRenderer::renderMenuBar(*bar, 200);
    EXPECT_TRUE(contains(wide, "      1.2 Red\\x1b[31m  (disabled)\n")) << wide;  // no target answers
    EXPECT_TRUE(contains(wide, "      1.3 Back to the top  (contains a menu above it)\n")) << wide;
    loop->setSubmenu(nullptr);  // menus own their submenus: the loop would keep both alive
}

}  // namespace
