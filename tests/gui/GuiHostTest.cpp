// zandrel-host --gui --script: the duplicate dialog driven through real GTK widgets in a real
// window, what the widgets show, what was saved, the screenshots, and the agreement with the
// terminal on the same scripts.

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::builtProgram;
using testsupport::runProgram;

const std::string kOpenDialog = "menu Plug-ins > Zandrel > Duplicate Form Template...\n";

class GuiHostTest : public ::testing::Test {
protected:
    fs::path newDatabase(const std::string& name) {
        fs::path db = dir / name;
        auto r = runProgram({builtProgram("zandrel-host"), "--db", db.string(), "--init-demo"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return db;
    }
    testsupport::ProcessResult runGui(const fs::path& db, const std::string& script,
                                      const std::vector<std::string>& extra = {}) {
        dir.write("script.txt", script);
        std::vector<std::string> argv{builtProgram("zandrel-host"), "--db", db.string(), "--gui", "--script",
                                      (dir / "script.txt").string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return runProgram(argv);
    }
    static void expectNoGtkComplaints(const std::string& err) {
        for (const char* bad : {"Gtk-WARNING", "CRITICAL", "Gdk-WARNING", "GLib-WARNING", "Gtk-CRITICAL"})
            EXPECT_EQ(err.find(bad), std::string::npos) << bad << " in:\n" << err;
    }
    // Every table of the database as SQL text: equal texts, equal databases.
    static std::string dump(const fs::path& db) {
        auto r = runProgram({"/usr/bin/sqlite3", db.string(), ".dump"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }

    testsupport::TempDir dir;
};

TEST_F(GuiHostTest, TheDuplicateDialogWorksThroughTheWidgets) {
    auto db = newDatabase("gui.sqlite");
    auto r = runGui(db,
                    kOpenDialog +
                        "show\n"
                        "select template \"Project Intake\"\n"
                        "type name \"Project Intake 2025\"\n"
                        "show\n"
                        "press Duplicate\n"
                        "show\n"
                        "answer Thanks!\n"
                        "show\n"
                        "show\n",
                    // Waiting for each window to paint also lets focus settle between commands.
                    {"--screenshot-dir", (dir / "shots").string()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    expectNoGtkComplaints(r.err);
    // What the widgets showed, read back from GTK.
    EXPECT_NE(r.out.find("window \"Duplicate Form Template\" modal"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("template: pop-up \"Customer Profile\" (4 items)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("template: pop-up \"Project Intake\" (4 items)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("name: text field \"Project Intake 2025\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("duplicate: button \"Duplicate\" default"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("alert \"Success!\" [Thanks!*]"), std::string::npos) << r.out;
    // The dialog stored the copy before it said "Success!": behind the alert, the main window's
    // table already lists it, and never showed the template list without it after the press.
    const size_t pressed = r.out.find("> press Duplicate");
    ASSERT_NE(pressed, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("templates: table (5 rows)", pressed), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("templates: table (6 rows) selected none", pressed), std::string::npos) << r.out;
    // The main window getting focus back selects no row for the person.
    EXPECT_EQ(r.out.find("templates: table (6 rows) selected 1"), std::string::npos) << r.out;
    // What was saved.
    auto t = runProgram({builtProgram("zandrel-host"), "--db", db.string(), "templates"});
    EXPECT_NE(t.out.find("Project Intake 2025"), std::string::npos) << t.out;
}

TEST_F(GuiHostTest, AFailedLineStopsTheScriptAsAtTheTerminal) {
    struct Case {
        const char* script;
        const char* said;
    };
    int n = 0;
    for (const Case& c :
         {Case{"press nothing-here\n", "line 2: press nothing-here:"},
          Case{"type template \"x\"\n",
               "line 2: type template \"x\": \"template\" is a pop-up, not a text field"},
          Case{"select template \"No Such Form\"\n", "line 2: select template \"No Such Form\":"},
          Case{"answer 1\n", "No alert is waiting"}}) {
        auto db = newDatabase("failed" + std::to_string(++n) + ".sqlite");
        auto r = runGui(db, kOpenDialog + c.script + "press Duplicate\n");
        EXPECT_EQ(r.exitCode, 4) << c.script << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << c.script << r.err;
        expectNoGtkComplaints(r.err);
        // Nothing after the failed line ran: no copy was made.
        auto t = runProgram({builtProgram("zandrel-host"), "--db", db.string(), "templates", "--json"});
        EXPECT_EQ(t.out.find("\"Customer Profile 2\""), std::string::npos);
    }
}

TEST_F(GuiHostTest, TerminalAndDesktopLeaveIdenticalDatabases) {
    struct Case {
        std::string script;
        bool changes;  // whether the database must differ from a fresh one afterwards
    };
    const std::vector<Case> cases{
        {kOpenDialog +
             "select template \"Project Intake\"\ntype name \"Project Intake 2025\"\npress duplicate\n"
             "answer 1\n",
         true},
        {kOpenDialog + "type name \"Abandoned\"\npress cancel\n", false},
        // A name in use: the alert, then the sheet is given up.
        {kOpenDialog + "select template 2\ntype name \"Event Registration\"\npress duplicate\nanswer 1\n",
         false},
        {kOpenDialog + "select template \"Quick Notes\"\ntype name \"First\"\npress duplicate\nanswer 1\n" +
             kOpenDialog +
             "select template \"Customer Profile\"\ntype name \"Second\"\npress duplicate\nanswer 1\n",
         true},
    };
    int n = 0;
    for (const auto& c : cases) {
        ++n;
        auto terminalDb = newDatabase("terminal" + std::to_string(n) + ".sqlite");
        auto desktopDb = newDatabase("desktop" + std::to_string(n) + ".sqlite");
        auto terminal = runProgram({builtProgram("zandrel-host"), "--db", terminalDb.string()}, c.script);
        auto desktop = runGui(desktopDb, c.script);
        EXPECT_EQ(terminal.exitCode, desktop.exitCode) << c.script << terminal.err << desktop.err;
        expectNoGtkComplaints(desktop.err);
        std::string desktopDump = dump(desktopDb);
        EXPECT_TRUE(dump(terminalDb) == desktopDump) << "the databases differ after:\n" << c.script;
        bool changed = desktopDump != dump(newDatabase("fresh" + std::to_string(n) + ".sqlite"));
        EXPECT_EQ(changed, c.changes) << c.script;
    }
}

TEST_F(GuiHostTest, ScreenshotsShowTheKeyWindowAndTheAlertAfterEachCommand) {
    auto db = newDatabase("shots.sqlite");
    fs::path shots = dir / "shots";
    auto r = runGui(db, kOpenDialog + "type name \"Shot\"\npress duplicate\nanswer 1\n",
                    {"--screenshot-dir", shots.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    expectNoGtkComplaints(r.err);
    struct Shot {
        const char* file;
        int width;
        int height;  // 0: only at least the main window's size
    };
    // The dialog's own size (its window description); the alert's fits its text.
    for (const Shot& s : {Shot{"001.png", 440, 170}, Shot{"002.png", 440, 170}, Shot{"003-alert.png", 0, 0},
                          Shot{"004.png", 800, 0}}) {
        fs::path file = shots / s.file;
        ASSERT_TRUE(fs::exists(file)) << s.file;
        GError* error = nullptr;
        GdkTexture* texture = gdk_texture_new_from_filename(file.c_str(), &error);
        ASSERT_NE(texture, nullptr) << s.file << (error ? error->message : "");
        int width = gdk_texture_get_width(texture);
        int height = gdk_texture_get_height(texture);
        if (s.width) {
            EXPECT_EQ(width, s.width) << s.file;
        }
        if (s.height) {
            EXPECT_EQ(height, s.height) << s.file;
        }
        EXPECT_GT(width, 100);
        EXPECT_GT(height, 50);
        std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
        gdk_texture_download(texture, reinterpret_cast<guchar*>(pixels.data()),
                             static_cast<size_t>(width) * 4);
        std::set<uint32_t> colours(pixels.begin(), pixels.end());
        // Controls and text: far more than a blank or one-colour window has.
        EXPECT_GT(colours.size(), 20u) << s.file;
        g_object_unref(texture);
    }
}

}  // namespace
