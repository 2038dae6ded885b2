// The terminal's table commands: ticking check-box cells (`tick <table> <row> [<column>]`), a
// selected row's contextual menu (`menu context`, `menu context > TITLE`), how check-box cells
// are drawn, and what Tab offers for them.

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/terminal/TerminalFrontEnd.h"
#include "tests/support/CaseName.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;
using testsupport::contains;
using testsupport::RecordingTarget;

namespace {

// Features with two check-box columns, "all" and "own"; row 1 has a contextual menu, row 2 none.
class Features : public TableViewDataSource, public TableViewDelegate {
public:
    size_t numberOfRowsInTableView(const TableView&) override { return names.size(); }
    Value objectValueForTableColumnRow(const TableView&, const TableColumn& column, size_t row) override {
        if (column.identifier == "all") return Value(static_cast<bool>(all[row]));
        if (column.identifier == "own") return own[row] ? Value(int64_t{1}) : Value();  // not only booleans
        return Value(names[row]);
    }
    void setObjectValueForTableColumnRow(TableView&, const Value& value, const TableColumn& column,
                                         size_t row) override {
        edits.push_back(column.identifier + std::to_string(row) + "=" + value.description());
        (column.identifier == "all" ? all : own)[row] = value.asBool();
    }
    void tableViewWillDisplayCell(TableView&, TableCell& cell, const TableColumn& column,
                                  size_t row) override {
        if (column.identifier == "all") cell.title = row == 0 ? "All users" : "";
        if (column.identifier == "own") cell.title = "Mine";
    }
    std::shared_ptr<Menu> tableViewMenuForRow(TableView&, size_t row) override {
        if (row != 0) return nullptr;
        auto menu = std::make_shared<Menu>("Context");
        menu->addItemWithTitle("Template Note\u2026", "note:", "")->setTarget(target);
        menu->addItem(MenuItem::separatorItem());
        menu->addItemWithTitle("Export", "export:", "")->setTarget(target);
        return menu;
    }

    std::vector<std::string> names{"export", "reports"};
    std::vector<bool> all{false, true};
    std::vector<bool> own{false, false};
    std::vector<std::string> edits;
    std::shared_ptr<RecordingTarget> target;
};

class TerminalTableCommandsTest : public testsupport::TerminalTest {
protected:
    void SetUp() override {
        TerminalTest::SetUp();
        makeTerminal(terminalOptions(false, 100));

        target = std::make_shared<RecordingTarget>(std::set<std::string>{"note:", "export:", "tick:"});
        target->disabled.insert("export:");
        features->target = target;
        window = std::make_shared<Window>("Feature Permissions");
        table = std::make_shared<TableView>();
        table->setIdentifier("features");
        table->addTableColumn({"name", "Feature"});
        table->addTableColumn({"all", "All", true});
        table->addTableColumn({"own", "Own", true});
        table->setDataSource(features);
        table->setDelegate(features);
        window->contentView()->addSubview(table);
        plain = std::make_shared<TableView>();
        plain->setIdentifier("plain");
        plain->addTableColumn({"name", "Name"});
        plain->setDataSource(features);
        window->contentView()->addSubview(plain);
        box = std::make_shared<Button>("Remember", Button::Kind::CheckBox);
        box->setIdentifier("remember");
        box->setAction("tick:");
        box->setTarget(target);
        window->contentView()->addSubview(box);
        window->makeKeyAndOrderFront();
    }

public:
    std::shared_ptr<RecordingTarget> target;
    std::shared_ptr<Features> features = std::make_shared<Features>();
    std::shared_ptr<Window> window;
    std::shared_ptr<TableView> table;
    std::shared_ptr<TableView> plain;
    std::shared_ptr<Button> box;
};

// ------------------------------------------------------------------ commands, one at a time

struct CommandCase {
    const char* name;
    std::vector<std::string> before;  // commands that must succeed first
    std::string command;
    bool succeeds;
    std::string said;  // a part of what the command printed
    std::function<void(TerminalTableCommandsTest&)> check;
};

class TableCommandTest : public TerminalTableCommandsTest,
                         public ::testing::WithParamInterface<CommandCase> {};

TEST_P(TableCommandTest, DoesWhatItSaysOrRefusesWithAReason) {
    const auto& c = GetParam();
    for (const auto& line : c.before) ASSERT_TRUE(terminal->execute(line)) << line << "\n" << output();
    EXPECT_EQ(terminal->execute(c.command), c.succeeds) << output();
    EXPECT_TRUE(contains(output(), c.said)) << "expected \"" << c.said << "\" in:\n" << output();
    if (!c.succeeds) {
        EXPECT_TRUE(contains(terminal->lastError(), c.said)) << terminal->lastError();
    }
    if (c.check) c.check(*this);
}

using V = std::vector<std::string>;
using T = TerminalTableCommandsTest;

INSTANTIATE_TEST_SUITE_P(
    Tick, TableCommandTest,
    ::testing::Values(
        CommandCase{"NamedColumn",
                    {},
                    "tick features 1 all",
                    true,
                    "",
                    [](T& t) {
                        EXPECT_EQ(t.features->edits, V{"all0=true"});
                        EXPECT_TRUE(t.features->all[0]);
                    }},
        CommandCase{"TickedCellIsUnticked",
                    {},
                    "tick features 2 all",
                    true,
                    "",
                    [](T& t) { EXPECT_EQ(t.features->edits, V{"all1=false"}); }},
        CommandCase{"TwiceIsBackAsItWas",
                    {"tick features 1 own"},
                    "tick features 1 own",
                    true,
                    "",
                    [](T& t) {
                        EXPECT_EQ(t.features->edits, (V{"own0=true", "own0=false"}));
                        EXPECT_FALSE(t.features->own[0]);
                    }},
        CommandCase{"ColumnByTitle",
                    {},
                    "tick features 2 OWN",
                    true,
                    "",
                    [](T& t) { EXPECT_EQ(t.features->edits, V{"own1=true"}); }},
        CommandCase{"ColumnByNumber",
                    {},
                    "tick features 2 3",
                    true,
                    "",
                    [](T& t) { EXPECT_EQ(t.features->edits, V{"own1=true"}); }},
        CommandCase{"SeveralColumnsNeedOne",
                    {},
                    "tick features 1",
                    false,
                    "has 2 check-box columns",
                    [](T& t) { EXPECT_TRUE(t.features->edits.empty()); }},
        CommandCase{"ColumnThatIsNoCheckBox",
                    {},
                    "tick features 1 1",
                    false,
                    "is not a check box",
                    [](T& t) { EXPECT_TRUE(t.features->edits.empty()); }},
        CommandCase{
            "UnknownColumn", {}, "tick features 1 nobody", false, "check-box columns: All, Own", nullptr},
        CommandCase{"RowPastTheEnd", {}, "tick features 3 all", false, "give a number from 1 to 2", nullptr},
        CommandCase{"RowZero", {}, "tick features 0 all", false, "has no row \"0\"", nullptr},
        CommandCase{"RowNotANumber", {}, "tick features first all", false, "has no row \"first\"", nullptr},
        CommandCase{"MissingRow", {}, "tick features", false, "Usage: tick features <row>", nullptr},
        CommandCase{"TableWithoutCheckBoxes", {}, "tick plain 1", false, "has no check-box column", nullptr},
        CommandCase{"CheckBoxViewStillWorks",
                    {},
                    "tick remember",
                    true,
                    "",
                    [](T& t) {
                        EXPECT_EQ(t.target->calls, V{"tick:"});
                        EXPECT_EQ(t.box->state(), Button::On);
                    }}),
    testsupport::CaseName());

INSTANTIATE_TEST_SUITE_P(
    ContextMenu, TableCommandTest,
    ::testing::Values(
        CommandCase{"NothingSelected",
                    {},
                    "menu context",
                    false,
                    "no table row is selected: select one first (select features <row>)",
                    nullptr},
        CommandCase{
            "Lists",
            {"select features 1"},
            "menu context",
            true,
            "Contextual menu of row 1 of \"features\" (export):\n  1 Template Note\u2026\n  ----\n  2 "
            "Export  (disabled)\n",
            nullptr},
        CommandCase{"ChoosesByTitleWithDots",
                    {"select features 1"},
                    "menu context > Template Note...",
                    true,
                    "",
                    [](T& t) { EXPECT_EQ(t.target->calls, V{"note:"}); }},
        CommandCase{"ChoosesByUniquePrefixIgnoringCase",
                    {"select features 1"},
                    "menu Context > templ",
                    true,
                    "",
                    [](T& t) { EXPECT_EQ(t.target->calls, V{"note:"}); }},
        CommandCase{"ChoosesByNumber",
                    {"select features 1"},
                    "menu context > 1",
                    true,
                    "",
                    [](T& t) { EXPECT_EQ(t.target->calls, V{"note:"}); }},
        CommandCase{"RefusesADisabledItem",
                    {"select features 1"},
                    "menu context > Export",
                    false,
                    "\"Export\" is disabled",
                    [](T& t) { EXPECT_TRUE(t.target->calls.empty()); }},
        CommandCase{"RefusesAnUnknownItem",
                    {"select features 1"},
                    "menu context > Import",
                    false,
                    "no item \"Import\"",
                    nullptr},
        CommandCase{"RowWithoutMenu",
                    {"select features 2"},
                    "menu context",
                    false,
                    "row 2 of the table \"features\" has no contextual menu",
                    nullptr}),
    testsupport::CaseName());

TEST_F(TerminalTableCommandsTest, ADisabledTableRefusesTicks) {
    table->setEnabled(false);
    EXPECT_FALSE(terminal->execute("tick features 1 all"));
    EXPECT_TRUE(contains(terminal->lastError(), "is disabled"));
    EXPECT_TRUE(features->edits.empty());
}

TEST_F(TerminalTableCommandsTest, AWindowWithoutATableHasNoContextualMenu) {
    auto other = std::make_shared<Window>("Empty");
    other->makeKeyAndOrderFront();
    EXPECT_FALSE(terminal->execute("menu context"));
    EXPECT_TRUE(contains(terminal->lastError(), "shows no table")) << terminal->lastError();
}

// ------------------------------------------------------------------ a piped script

struct ScriptCase {
    const char* name;
    std::string lines;
    size_t failedAt;
    std::string reason;
};

class TableScriptTest : public TerminalTableCommandsTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(TableScriptTest, AFailedTickOrContextItemStopsAPipedScript) {
    const auto& script = GetParam();
    ASSERT_EQ(::write(input[1], script.lines.data(), script.lines.size()),
              static_cast<ssize_t>(script.lines.size()));
    ::close(input[1]);
    input[1] = -1;
    terminal->start();
    loop.runUntil(RunLoopMode::Default, [this] { return quits > 0; });
    EXPECT_EQ(terminal->failedLine(), std::optional<size_t>(script.failedAt));
    EXPECT_TRUE(contains(errors(), fmt::format("line {}:", script.failedAt))) << errors();
    EXPECT_TRUE(contains(errors(), script.reason)) << errors();
    EXPECT_TRUE(features->edits.empty()) << "a line after the failure ran";
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, TableScriptTest,
    ::testing::Values(
        ScriptCase{"DisabledContextItem", "select features 1\nmenu context > Export\ntick features 1 all\n",
                   2, "is disabled"},
        ScriptCase{"TickWithoutColumn", "tick features 1\ntick features 1 all\n", 1, "check-box columns"},
        ScriptCase{"ContextWithoutSelection", "menu context\ntick features 1 all\n", 1,
                   "no table row is selected"}),
    testsupport::CaseName());

// ------------------------------------------------------------------ drawing

TEST_F(TerminalTableCommandsTest, CheckBoxCellsAreDrawnWithTheirStateAndTitle) {
    struct Case {
        std::function<void()> change;
        std::vector<std::string> rows;
    } cases[] = {
        {[] {}, {"1. export | [ ] All users | [ ] Mine", "2. reports | [x] | [ ] Mine"}},
        {[this] { ASSERT_TRUE(terminal->execute("tick features 1 all")); },
         {"1. export | [x] All users | [ ] Mine", "2. reports | [x] | [ ] Mine"}},
        {[this] { ASSERT_TRUE(terminal->execute("tick features 2 own")); },
         {"1. export | [x] All users | [ ] Mine", "2. reports | [x] | [x] Mine"}},
        {[this] { ASSERT_TRUE(terminal->execute("tick features 2 all")); },
         {"1. export | [x] All users | [ ] Mine", "2. reports | [ ] | [x] Mine"}},
    };
    for (const auto& c : cases) {
        c.change();
        RenderOptions options;
        options.width = 100;
        std::string drawn = TerminalRenderer::renderWindow(*window, options);
        for (const auto& row : c.rows) EXPECT_TRUE(contains(drawn, row)) << row << " in:\n" << drawn;
    }
}

TEST_F(TerminalTableCommandsTest, LongCheckBoxTitlesAreCutToTheWidth) {
    features->names[0] = std::string(200, 'n');
    for (size_t width : {20u, 40u, 80u}) {
        RenderOptions options;
        options.width = width;
        std::string drawn = TerminalRenderer::renderWindow(*window, options);
        size_t start = 0;
        while (start < drawn.size()) {
            size_t end = drawn.find('\n', start);
            EXPECT_LE(TerminalRenderer::displayWidth(drawn.substr(start, end - start)), width);
            start = end + 1;
        }
        if (width >= 40) {
            EXPECT_TRUE(contains(drawn, "[ ] All")) << drawn;
        }
    }
}

// ------------------------------------------------------------------ completion

struct TableCompletionCase {
    const char* name;
    bool selectFirstRow;
    std::string before;
    std::vector<std::string> candidates;  // text|suffix
};

class TableCompletionTest : public TerminalTableCommandsTest,
                            public ::testing::WithParamInterface<TableCompletionCase> {};

TEST_P(TableCompletionTest, OffersWhatTheWordCanBe) {
    app.setMainMenu(std::make_shared<Menu>("Main"));
    app.mainMenu()->addItemWithTitle("Connect", "", "")->setSubmenu(std::make_shared<Menu>("Connect"));
    if (GetParam().selectFirstRow) table->selectRow(0);
    auto found = terminal->completions(GetParam().before);
    std::vector<std::string> texts;
    for (const auto& c : found.candidates) texts.push_back(c.text + "|" + c.suffix);
    EXPECT_EQ(texts, GetParam().candidates);
}

INSTANTIATE_TEST_SUITE_P(
    Words, TableCompletionTest,
    ::testing::Values(
        TableCompletionCase{
            "TickOffersTablesWithCheckBoxesAndCheckBoxes", false, "tick ", {"features| ", "remember| "}},
        TableCompletionCase{"TickOffersCheckBoxColumns", false, "tick features 2 ", {"all| ", "own| "}},
        TableCompletionCase{"TickColumnPrefix", false, "tick features 2 o", {"own| "}},
        TableCompletionCase{"ContextWithARowSelected", true, "menu con", {"Connect| > ", "context| > "}},
        TableCompletionCase{"NoContextWithoutASelection", false, "menu con", {"Connect| > "}},
        TableCompletionCase{"ContextItems", true, "menu context > ", {"Template Note\u2026|", "Export|"}},
        TableCompletionCase{"ContextItemPrefix", true, "menu context > ex", {"Export|"}}),
    testsupport::CaseName());

// ------------------------------------------------------------------ the scripted front end

TEST_F(TerminalTableCommandsTest, TheScriptedFrontEndTicksCellsAndChoosesContextualItems) {
    ScriptedFrontEnd ui;
    EXPECT_THROW(ui.tickTableCell("features", 0), ScriptedFrontEndError);  // two columns: which?
    EXPECT_TRUE(ui.tickTableCell("features", 0, "own"));
    EXPECT_THROW(ui.tickTableCell("features", 5, "own"), ScriptedFrontEndError);
    EXPECT_THROW(ui.tickTableCell("features", 0, "name"), ScriptedFrontEndError);
    EXPECT_THROW(ui.tickTableCell("plain", 0), ScriptedFrontEndError);
    EXPECT_EQ(features->edits, V{"own0=true"});

    EXPECT_THROW(ui.contextualMenu(), ScriptedFrontEndError);  // nothing selected
    table->selectRow(0);
    EXPECT_EQ(ui.contextualMenu()->numberOfItems(), 3u);
    EXPECT_TRUE(ui.chooseContextualMenuItem("Template Note..."));
    EXPECT_FALSE(ui.chooseContextualMenuItem("Export"));
    EXPECT_THROW(ui.chooseContextualMenuItem("Import"), ScriptedFrontEndError);
    EXPECT_EQ(target->calls, V{"note:"});
}

}  // namespace
