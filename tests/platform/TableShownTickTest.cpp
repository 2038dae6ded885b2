// A tick acts on the box as the person saw it: a data source that reads shared data may have
// changed since the table was drawn or reloaded (another host granted or withdrew), and ticking
// must apply what the screen showed -- a clear box grants, a ticked one withdraws -- through the
// table itself, the terminal's `tick` and the scripted front end alike.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/TableView.h"
#include "platform/ui/terminal/TerminalFrontEnd.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

// Grants per user, stored "elsewhere": the test changes `stored` behind the table's back as
// another host would; `edits` are what the table handed over.
class SharedGrants : public TableViewDataSource {
public:
    size_t numberOfRowsInTableView(const TableView&) override { return stored.size(); }
    Value objectValueForTableColumnRow(const TableView&, const TableColumn& column, size_t row) override {
        return column.identifier == "user" ? Value("user " + std::to_string(row)) : Value(bool(stored[row]));
    }
    void setObjectValueForTableColumnRow(TableView& table, const Value& value, const TableColumn&,
                                         size_t row) override {
        edits.push_back(value.asBool());
        stored[row] = value.asBool();
        table.reloadData();  // as the feature editor does: the stored state again
    }
    std::vector<bool> stored{false, false, false};
    std::vector<bool> edits;
};

std::shared_ptr<TableView> grantsTable(const std::shared_ptr<SharedGrants>& source) {
    auto table = std::make_shared<TableView>();
    table->setIdentifier("grants");
    table->addTableColumn({"user", "User"});
    table->addTableColumn({"active", "Active", true});
    table->setDataSource(source);
    return table;
}

// A moment in the life of one box (row 1): what was shown, what another host stored since, and
// what the tick must hand the data source.
struct ShownCase {
    const char* name;
    bool shown;
    bool storedSince;
    bool handedOver;
};

const std::vector<ShownCase> kShownCases = {
    {"granted elsewhere after it was shown clear: the tick grants", false, true, true},
    {"withdrawn elsewhere after it was shown ticked: the tick withdraws", true, false, false},
    {"unchanged and clear: the tick grants", false, false, true},
    {"unchanged and ticked: the tick withdraws", true, true, false},
};

// Shows each case's box (a reload), lets "another host" change it, ticks it with `tick` and
// checks what the data source got; afterwards the table shows the stored state again.
void checkTicksUseTheShownState(const std::shared_ptr<SharedGrants>& source, TableView& table,
                                const std::function<void()>& showTable, const std::function<bool()>& tick) {
    for (const auto& c : kShownCases) {
        SCOPED_TRACE(c.name);
        source->stored = {false, c.shown, false};
        source->edits.clear();
        table.reloadData();
        showTable();
        ASSERT_EQ(table.shownValueAt(1, 1), Value(c.shown));
        source->stored[1] = c.storedSince;
        ASSERT_TRUE(tick());
        EXPECT_EQ(source->edits, std::vector<bool>{c.handedOver});
        EXPECT_EQ(table.shownValueAt(1, 1), Value(bool(source->stored[1])));
    }
}

class TableShownTickTest : public testsupport::UiTest {
protected:
    std::shared_ptr<SharedGrants> source = std::make_shared<SharedGrants>();
    std::shared_ptr<TableView> table = grantsTable(source);
};

TEST_F(TableShownTickTest, TheTableTogglesTheValueItLastShowed) {
    checkTicksUseTheShownState(
        source, *table, [] {}, [this] { return table->toggleCheckBoxAt(1, 1); });
}

TEST_F(TableShownTickTest, ShownValuesComeFromReadsReloadsAndEdits) {
    EXPECT_FALSE(table->shownValueAt(1, 0));  // never shown
    table->reloadData();
    EXPECT_EQ(table->shownValueAt(1, 0), Value(false));  // check-box cells are read at a reload
    EXPECT_FALSE(table->shownValueAt(0, 0));             // other cells when drawn
    EXPECT_EQ(table->valueAt(0, 2), Value("user 2"));
    EXPECT_EQ(table->shownValueAt(0, 2), Value("user 2"));

    // A cell not shown since the last reload toggles what the source has.
    source->stored = {true, false, false};
    table->setDataSource(nullptr);
    table->reloadData();
    table->setDataSource(source);
    EXPECT_FALSE(table->shownValueAt(1, 0));
    ASSERT_TRUE(table->toggleCheckBoxAt(1, 0));
    EXPECT_EQ(source->edits, std::vector<bool>{false});

    EXPECT_FALSE(table->toggleCheckBoxAt(1, 3));  // no such row
    EXPECT_FALSE(table->toggleCheckBoxAt(2, 0));  // no such column
}

TEST_F(TableShownTickTest, TheScriptedTickUsesTheShownState) {
    ScriptedFrontEnd ui;
    auto window = std::make_shared<Window>("Grants");
    window->contentView()->addSubview(table);
    window->makeKeyAndOrderFront();
    checkTicksUseTheShownState(
        source, *table, [] {}, [&] { return ui.tickTableCell("grants", 1); });
}

class TerminalShownTickTest : public testsupport::TerminalTest {
protected:
    void SetUp() override {
        TerminalTest::SetUp();
        makeTerminal(terminalOptions(false, 100));
        window = std::make_shared<Window>("Grants");
        window->contentView()->addSubview(table);
        window->makeKeyAndOrderFront();
    }
    std::shared_ptr<SharedGrants> source = std::make_shared<SharedGrants>();
    std::shared_ptr<TableView> table = grantsTable(source);
    std::shared_ptr<Window> window;
};

TEST_F(TerminalShownTickTest, TheTerminalTickUsesTheBoxAsDrawn) {
    checkTicksUseTheShownState(
        source, *table, [this] { ASSERT_TRUE(terminal->execute("show")) << output(); },
        [this] { return terminal->execute("tick grants 2"); });
}

TEST_F(TerminalShownTickTest, ABoxDrawnAgainIsTickedAsDrawnThen) {
    table->reloadData();
    ASSERT_TRUE(terminal->execute("show"));
    source->stored[1] = true;  // granted elsewhere, and drawn again before the tick
    ASSERT_TRUE(terminal->execute("show"));
    EXPECT_TRUE(testsupport::contains(output(), "[x]")) << output();
    ASSERT_TRUE(terminal->execute("tick grants 2"));
    EXPECT_EQ(source->edits, std::vector<bool>{false});
}

}  // namespace
