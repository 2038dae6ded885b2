// A table of the desktop front end used from the keyboard, with real key events from the X
// server (xdotool): GTK 4 has no public way to make input events inside the process, and real
// ones go through the same path a person's keys do (X input, GDK, the focus, the controllers).

#include <gtest/gtest.h>
#include <gtkmm/window.h>

#include <chrono>
#include <functional>

#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/GtkFrontEnd.h"
#include "tests/support/Subprocess.h"
#include "tests/support/UiTestSupport.h"

namespace {

using namespace platform;

// Rows with a name and a box to tick; remembers what was ticked.
struct Ticks : TableViewDataSource {
    std::vector<bool> on{false, true, false, false};
    size_t numberOfRowsInTableView(const TableView&) override { return on.size(); }
    Value objectValueForTableColumnRow(const TableView&, const TableColumn& c, size_t row) override {
        return c.checkBox ? Value(static_cast<bool>(on[row])) : Value("row " + std::to_string(row));
    }
    void setObjectValueForTableColumnRow(TableView&, const Value& value, const TableColumn&,
                                         size_t row) override {
        on[row] = value.asBool();
    }
};

class GuiInputTableTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        // Key events come from another process in real time.
        loop.setClock(std::make_shared<RealClock>());
        frontEnd = std::make_unique<GtkFrontEnd>();
        frontEnd->start();
        window = std::make_shared<Window>("Ticks", Rect{0, 0, 400, 300});
        auto content = std::make_shared<View>(Rect{0, 0, 400, 300});
        window->setContentView(content);
        field = std::make_shared<TextField>("");
        field->setIdentifier("field");
        field->setFrame({10, 10, 200, 24});
        table = std::make_shared<TableView>();
        table->setIdentifier("table");
        table->setFrame({10, 50, 380, 240});
        table->addTableColumn({"name", "Name", false});
        table->addTableColumn({"on", "On", true});
        table->setDataSource(ticks);
        content->addSubview(field);
        content->addSubview(table);
        window->makeKeyAndOrderFront();
    }
    void TearDown() override {
        frontEnd->stop();
        frontEnd.reset();
        UiTest::TearDown();
    }

    // Runs the loop until `done`, for at most the deadline; false when it never was.
    bool runUntil(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        // Wakes the loop to look at the deadline while no event comes.
        auto tick = loop.scheduleTimer(std::chrono::milliseconds(20), true, [] {});
        loop.runUntil(RunLoopMode::Default,
                      [&] { return done() || std::chrono::steady_clock::now() > deadline; });
        loop.invalidateTimer(tick);
        return done();
    }
    bool active(const Window& w) {
        auto* gw = frontEnd->gtkWindow(w);
        return gw && gw->is_active();
    }
    bool tableHasFocus() {
        auto* gw = frontEnd->gtkWindow(*window);
        auto* focus = gw ? gw->get_focus() : nullptr;
        auto* widget = frontEnd->widgetFor(*table);
        return focus && widget && (focus == widget || focus->is_ancestor(*widget));
    }
    std::string focusName() {
        auto* gw = frontEnd->gtkWindow(*window);
        auto* focus = gw ? gw->get_focus() : nullptr;
        return focus ? G_OBJECT_TYPE_NAME(focus->gobj()) : "no focus";
    }
    static void key(const std::string& name) {
        auto r = testsupport::runProgram({"/usr/bin/xdotool", "key", name});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    std::unique_ptr<GtkFrontEnd> frontEnd;
    std::shared_ptr<Window> window;
    std::shared_ptr<TextField> field;
    std::shared_ptr<TableView> table;
    std::shared_ptr<Ticks> ticks = std::make_shared<Ticks>();
};

TEST_F(GuiInputTableTest, KeysMoveTheSelectionAndTickCellsButFocusChoosesNothing) {
    ASSERT_TRUE(runUntil([&] { return active(*window); }));
    // Tab from the field brings the focus to the table as a whole: no row is chosen for anyone.
    if (!tableHasFocus()) key("Tab");
    ASSERT_TRUE(runUntil([&] { return tableHasFocus(); })) << frontEnd->geometry() << focusName();
    loop.runPending();
    EXPECT_EQ(table->selectedRow(), -1);

    // The window losing the focus to another and getting it back chooses no row either.
    auto other = std::make_shared<Window>("Other", Rect{0, 0, 200, 100});
    other->setContentView(std::make_shared<View>(Rect{0, 0, 200, 100}));
    other->makeKeyAndOrderFront();
    ASSERT_TRUE(runUntil([&] { return active(*other); }));
    other->close();
    window->makeKeyAndOrderFront();
    ASSERT_TRUE(runUntil([&] { return active(*window) && tableHasFocus(); }));
    loop.runPending();
    EXPECT_EQ(table->selectedRow(), -1);

    struct Step {
        const char* key;
        int64_t selected;
        std::vector<bool> on;
    };
    const std::vector<Step> steps{
        {"Down", 0, {false, true, false, false}},   {"Down", 1, {false, true, false, false}},
        {"space", 1, {false, false, false, false}}, {"space", 1, {false, true, false, false}},
        {"End", 3, {false, true, false, false}},    {"space", 3, {false, true, false, true}},
        {"Up", 2, {false, true, false, true}},      {"Home", 0, {false, true, false, true}},
        {"Up", 0, {false, true, false, true}},      {"Page_Down", 3, {false, true, false, true}},
        {"Down", 3, {false, true, false, true}},
    };
    for (const auto& s : steps) {
        key(s.key);
        EXPECT_TRUE(runUntil([&] { return table->selectedRow() == s.selected && ticks->on == s.on; }))
            << s.key << ": selected " << table->selectedRow();
    }
    // The keys stayed with the table: none of them reached the field.
    EXPECT_TRUE(tableHasFocus());
    EXPECT_EQ(field->stringValue(), "");
}

}  // namespace
