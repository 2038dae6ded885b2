// zandrel-host --gui driven with real pointer and key events, as a person at the desktop would:
// the whole duplicate flow by mouse and by keyboard alone, what the widgets show on the way,
// what was saved, and closing the last window to quit.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/gui/GuiSession.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::builtProgram;
using testsupport::GuiSession;
using testsupport::runProgram;

using testsupport::kSheet;

class GuiInputTest : public ::testing::Test {
protected:
    fs::path newDatabase(const std::string& name) {
        fs::path db = dir / name;
        auto r = runProgram({builtProgram("zandrel-host"), "--db", db.string(), "--init-demo"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return db;
    }
    // Name of each stored template with its number of field definitions.
    static std::map<std::string, size_t> templates(const fs::path& db) {
        auto r = runProgram({builtProgram("zandrel-host"), "--db", db.string(), "templates", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, size_t> result;
        for (const auto& t : nlohmann::json::parse(r.out)) result[t.at("name")] = t.at("fields").size();
        return result;
    }
    static void expectNoGtkComplaints(const std::string& err) {
        for (const char* bad : {"Gtk-WARNING", "CRITICAL", "Gdk-WARNING", "GLib-WARNING", "Gtk-CRITICAL"})
            EXPECT_EQ(err.find(bad), std::string::npos) << bad << " in:\n" << err;
    }
    // The main window's title, once it is on the screen with its menu bar.
    static std::string mainWindow(GuiSession& session) {
        auto plugins = session.waitFor(
            [](const GuiSession::Item& i) {
                return i.kind == "label" && i.surface == "toplevel" && i.text == "Plug-ins";
            },
            "the menu bar");
        if (!plugins) return "";
        session.waitForWindow(plugins->window);
        return plugins->window;
    }
    // Clicks the label, waiting for it first; false when it never came.
    static bool clickLabel(GuiSession& session, const std::string& surface, const std::string& window,
                           const std::string& text) {
        auto label = session.waitForLabel(surface, window, text);
        if (label) session.click(*label);
        return label.has_value();
    }
    // Plug-ins > Zandrel > Duplicate Form Template… with the mouse; true once the sheet is key.
    static bool openSheetWithMouse(GuiSession& session, const std::string& main) {
        return clickLabel(session, "toplevel", main, "Plug-ins") &&
               clickLabel(session, "popup", main, "Zandrel") &&
               clickLabel(session, "popup", main, "Duplicate Form Template\u2026") &&
               session.waitForWindow(kSheet, "active modal");
    }
    // The same with the keyboard: F10 opens the first menu, Right moves along the menu bar, Down
    // to the submenu, Right opens it, Return chooses.
    static bool openSheetWithKeyboard(GuiSession& session, const std::string& main) {
        auto shown = [&](const std::string& text, const std::string& state) {
            return [=](const GuiSession::Item& i) {
                return i.kind == "label" && i.surface == "popup" && i.window == main && i.text == text &&
                       i.width > 0 && i.state == state;
            };
        };
        session.keys({"F10"});
        if (!session.waitForLabel("popup", main, "Quit")) return false;
        if (!session.pressUntil("Right", shown("Save", "focus"), "the File menu")) return false;
        if (!session.pressUntil("Right", shown("Showcase", "focus"), "the Plug-ins menu")) return false;
        if (!session.pressUntil("Down", shown("Zandrel", "focus"), "Zandrel")) return false;
        if (!session.pressUntil("Right", shown("Duplicate Form Template\u2026", "focus"), "the Zandrel menu"))
            return false;
        session.keys({"Return"});
        return session.waitForWindow(kSheet, "active modal").has_value();
    }
    static GuiSession::Match viewOf(const std::string& window, const std::string& id) {
        return
            [=](const GuiSession::Item& i) { return i.kind == "view" && i.window == window && i.text == id; };
    }

    testsupport::TempDir dir;
};

TEST_F(GuiInputTest, TheDuplicateFlowWorksWithTheMouse) {
    auto db = newDatabase("mouse.sqlite");
    auto before = templates(db);
    GuiSession session(db, dir.path());
    std::string main = mainWindow(session);
    ASSERT_FALSE(main.empty());
    // The table takes the focus as the window opens, and chooses no row for that.
    ASSERT_TRUE(session.waitForView(main, "templates", "rows 5 selected -1 focus"));
    ASSERT_TRUE(openSheetWithMouse(session, main));
    // The sheet as it opens: the first template chosen, no name, the default button enabled.
    ASSERT_TRUE(session.waitForView(kSheet, "template", "Customer Profile focus"));
    ASSERT_TRUE(session.waitForView(kSheet, "name", ""));
    ASSERT_TRUE(session.waitForView(kSheet, "duplicate", "Duplicate"));

    auto popUp = session.waitForView(kSheet, "template", "Customer Profile focus");
    ASSERT_TRUE(popUp);
    session.click(*popUp);
    ASSERT_TRUE(clickLabel(session, "popup", kSheet, "Project Intake"));
    ASSERT_TRUE(session.waitFor(
        [](const GuiSession::Item& i) {
            return i.kind == "view" && i.text == "template" && i.state.rfind("Project Intake", 0) == 0;
        },
        "Project Intake chosen"));
    auto name = session.waitForView(kSheet, "name", "");
    ASSERT_TRUE(name);
    session.click(*name);
    ASSERT_TRUE(session.waitForView(kSheet, "name", " focus"));
    session.type("Project Intake 2025");
    ASSERT_TRUE(session.waitForView(kSheet, "name", "Project Intake 2025 focus"));
    auto duplicate = session.waitForView(kSheet, "duplicate", "Duplicate");
    ASSERT_TRUE(duplicate);
    session.click(*duplicate);

    ASSERT_TRUE(session.waitForWindow("Success!", "active modal"));
    EXPECT_TRUE(
        session.waitForLabel("toplevel", "Success!", "The selected form template has been duplicated."));
    ASSERT_TRUE(clickLabel(session, "toplevel", "Success!", "Thanks!"));
    // Saved once the act was done: the main window lists the copy, and so does the file, while the
    // host still runs.
    ASSERT_TRUE(session.waitForView(main, "templates", "rows 6 selected -1"));
    EXPECT_TRUE(session.waitForLabel("toplevel", main, "Project Intake 2025"));
    EXPECT_TRUE(session.waitForNone(viewOf(kSheet, "name"), "the sheet"));
    auto after = templates(db);
    ASSERT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after["Project Intake 2025"], before["Project Intake"]);

    // Closing the last window through the window manager quits.
    ASSERT_TRUE(session.waitForWindow(main));
    session.keys({"alt+F4"});
    EXPECT_EQ(session.waitForExit(), 0) << session.errorOutput();
    expectNoGtkComplaints(session.errorOutput());
    EXPECT_EQ(templates(db), after);
}

TEST_F(GuiInputTest, TheDuplicateFlowWorksWithTheKeyboardAlone) {
    auto db = newDatabase("keyboard.sqlite");
    auto before = templates(db);
    GuiSession session(db, dir.path());
    std::string main = mainWindow(session);
    ASSERT_FALSE(main.empty());
    ASSERT_TRUE(openSheetWithKeyboard(session, main));
    // The pop-up has the focus: Space opens its list, the arrows move in it, Return chooses.
    ASSERT_TRUE(session.waitForView(kSheet, "template", "Customer Profile focus"));
    session.keys({"space"});
    ASSERT_TRUE(session.waitForLabel("popup", kSheet, "Quick Notes"));
    session.keys({"Down", "Down", "Return"});
    ASSERT_TRUE(session.waitForView(kSheet, "template", "Project Intake focus"));
    EXPECT_TRUE(
        session.waitForNone([](const GuiSession::Item& i) { return i.surface == "popup"; }, "the list"));
    // Tab to the name; Return there presses the default button.
    auto nameHasFocus = [](const GuiSession::Item& i) {
        return i.kind == "view" && i.text == "name" && i.state == " focus";
    };
    ASSERT_TRUE(session.pressUntil("Tab", nameHasFocus, "the name field"));
    session.type("Keyboard Copy");
    ASSERT_TRUE(session.waitForView(kSheet, "name", "Keyboard Copy focus"));
    session.keys({"Return"});
    ASSERT_TRUE(session.waitForWindow("Success!", "active modal"));
    // Return answers the alert with its default button.
    session.keys({"Return"});
    ASSERT_TRUE(session.waitForLabel("toplevel", main, "Keyboard Copy"));
    ASSERT_TRUE(session.waitForWindow(main));

    // Escape cancels the sheet: what was typed is dropped and nothing is made.
    ASSERT_TRUE(openSheetWithKeyboard(session, main));
    ASSERT_TRUE(session.pressUntil("Tab", nameHasFocus, "the name field"));
    session.type("Abandoned");
    ASSERT_TRUE(session.waitForView(kSheet, "name", "Abandoned focus"));
    session.keys({"Escape"});
    ASSERT_TRUE(session.waitForNone(viewOf(kSheet, "name"), "the sheet after Escape"));
    ASSERT_TRUE(session.waitForWindow(main));

    // The table from the keyboard: Tab brings the focus there without choosing a row, the arrows
    // and Home/End choose.
    ASSERT_TRUE(session.pressUntil(
        "Tab",
        [&](const GuiSession::Item& i) {
            return i.kind == "view" && i.window == main && i.text == "templates" &&
                   i.state.find(" focus") != std::string::npos;
        },
        "the table"));
    ASSERT_TRUE(session.waitForView(main, "templates", "rows 6 selected -1 focus"));
    struct Step {
        const char* key;
        const char* shown;
    };
    for (const Step& s :
         {Step{"Down", "rows 6 selected 0 focus"}, Step{"Down", "rows 6 selected 1 focus"},
          Step{"End", "rows 6 selected 5 focus"}, Step{"Up", "rows 6 selected 4 focus"},
          Step{"Home", "rows 6 selected 0 focus"}, Step{"Page_Down", "rows 6 selected 5 focus"}}) {
        session.keys({s.key});
        EXPECT_TRUE(session.waitForView(main, "templates", s.shown)) << s.key;
    }

    session.keys({"alt+F4"});
    EXPECT_EQ(session.waitForExit(), 0) << session.errorOutput();
    expectNoGtkComplaints(session.errorOutput());
    auto after = templates(db);
    EXPECT_EQ(after.size(), before.size() + 1);
    EXPECT_EQ(after["Keyboard Copy"], before["Project Intake"]);
    EXPECT_EQ(after.count("Abandoned"), 0u);
}

}  // namespace
