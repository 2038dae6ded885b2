// The Showcase plug-in's Feature Permissions through real GTK widgets: what the two tables and
// their check boxes show as features are chosen and users ticked, the grants stored (read back
// with `connector-maps --json`), the screenshots, and the terminal and the desktop leaving
// identical databases for the same scripts.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/gui/GuiScriptSupport.h"

namespace {

namespace fs = std::filesystem;
using guitest::parseShows;
using guitest::Screenshot;

const std::string kOpenEditor = "menu Plug-ins > Showcase > Feature Permissions\n";

class GuiFeatureEditorTest : public guitest::GuiScriptTest {
protected:
    // Nobody is asked for updates: no reminder comes between the commands.
    std::vector<std::string> arguments(const fs::path& db) {
        return {"--db", db.string(), "--user", "ada", "--update-url", "", "--upgrade-url", ""};
    }
    // (foreignID, contactID) of every feature permission record.
    std::set<std::tuple<std::string, int64_t>> grants(const fs::path& db) {
        auto listed = host({"--db", db.string(), "connector-maps", "--json"});
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        std::set<std::tuple<std::string, int64_t>> result;
        for (const auto& record : nlohmann::json::parse(listed.out))
            if (record["foreignAppName"] == "Showcase" && record["foreignEntityType"] == "FeaturePermission")
                result.emplace(record["foreignID"].get<std::string>(), record["contactID"].get<int64_t>());
        return result;
    }
};

TEST_F(GuiFeatureEditorTest, TheTablesShowTheGrantsOfTheChosenFeatureAndTheTicksAreStored) {
    auto db = newDatabase("editor.sqlite");
    // Features by identifier: resetVisits, templateSummary, visitCounter. Users: All, ada, grace.
    auto r = runGui(arguments(db), kOpenEditor +
                                       "show\n"
                                       "select features 3\n"
                                       "tick users 3\n"
                                       "show\n"
                                       "select features 2\n"
                                       "tick users 1\n"
                                       "show\n"
                                       "select features 3\n"
                                       "show\n"
                                       "press done\n"
                                       "show\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    expectNoGtkComplaints(r.err);
    auto shows = parseShows(r.out);
    ASSERT_EQ(shows.size(), 5u) << r.out;

    struct Expected {
        const char* features;  // the features table's line
        std::vector<std::string> featureRows;
        std::vector<std::string> userRows;
    };
    const std::vector<Expected> expected{
        {"table (3 rows) selected none",
         {"1. resetVisits | Set the visit counter back to its default",
          "2. templateSummary | Summarise the form templates and their notes",
          "3. visitCounter | Count visits in a setting kept in the database"},
         {}},
        {"table (3 rows) selected 3",
         {},
         {"1. All | [ ] All", "2. Ada Lovelace | [ ] Ada Lovelace", "3. Grace Hopper | [x] Grace Hopper"}},
        {"table (3 rows) selected 2",
         {},
         // Granted to all users: every user's box shows it.
         {"1. All | [x] All", "2. Ada Lovelace | [x] Ada Lovelace", "3. Grace Hopper | [x] Grace Hopper"}},
        // Back on the first feature: grace's tick is still there.
        {"table (3 rows) selected 3",
         {"1. resetVisits | Set the visit counter back to its default",
          "2. templateSummary | Summarise the form templates and their notes",
          "*3. visitCounter | Count visits in a setting kept in the database"},
         {"1. All | [ ] All", "2. Ada Lovelace | [ ] Ada Lovelace", "3. Grace Hopper | [x] Grace Hopper"}},
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("show " + std::to_string(i + 1));
        const auto& shown = shows[i];
        EXPECT_EQ(shown.title, "window \"Feature Permissions\"");
        EXPECT_EQ(shown.controls.at("features").line, expected[i].features);
        EXPECT_EQ(shown.controls.at("users").line, "table (3 rows) selected none");
        EXPECT_EQ(shown.controls.at("done").line, "button \"Done\" default");
        EXPECT_EQ(shown.controls.at("#1").line, "label \"Features\"");
        EXPECT_EQ(shown.controls.at("#3").line, "label \"Active for\"");
        if (!expected[i].featureRows.empty()) {
            EXPECT_EQ(shown.controls.at("features").rows, expected[i].featureRows);
        }
        if (!expected[i].userRows.empty()) {
            EXPECT_EQ(shown.controls.at("users").rows, expected[i].userRows);
        }
    }
    // Done closed the editor: the main window is the key window again.
    EXPECT_NE(shows[4].title, "window \"Feature Permissions\"");
    EXPECT_EQ(shows[4].controls.count("templates"), 1u);

    auto stored = grants(db);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored.count({"templateSummary", 0}), 1u) << "all users";
    int64_t graceContact = -1;
    for (const auto& [feature, contact] : stored)
        if (feature == "visitCounter") graceContact = contact;
    EXPECT_GT(graceContact, 0) << "the grant names grace's contact, not all users";

    // Unticking on the desktop withdraws the grant.
    auto withdrawn = runGui(arguments(db), kOpenEditor + "select features 3\ntick users 3\nshow\n");
    ASSERT_EQ(withdrawn.exitCode, 0) << withdrawn.err;
    auto after = parseShows(withdrawn.out);
    ASSERT_EQ(after.size(), 1u) << withdrawn.out;
    EXPECT_EQ(after[0].controls.at("users").rows.at(2), "3. Grace Hopper | [ ] Grace Hopper");
    EXPECT_EQ(grants(db), (std::set<std::tuple<std::string, int64_t>>{{"templateSummary", 0}}));
}

TEST_F(GuiFeatureEditorTest, WrongCellsAreRefusedAsAtTheTerminal) {
    struct Case {
        const char* command;
        const char* said;
    };
    const std::vector<Case> cases{
        {"tick users 9", "The table \"users\" has no row \"9\": give a number from 1 to 3."},
        {"tick users 0", "has no row \"0\""},
        {"tick users", "Usage: tick users <row> [<column>]"},
        {"tick users 2 1", "Column 1 of the table \"users\" is not a check box"},
        {"tick features 1", "The table \"features\" has no check-box column to tick."},
        {"tick usres 1", "has no view \"usres"},
    };
    auto db = newDatabase("wrong.sqlite");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        std::string script = kOpenEditor + "select features 3\n" + c.command + "\ntick users 3\n";
        auto desktop = runGui(arguments(db), script);
        EXPECT_EQ(desktop.exitCode, 4) << desktop.err;
        EXPECT_NE(desktop.err.find(std::string("line 3: ") + c.command + ": "), std::string::npos)
            << desktop.err;
        EXPECT_NE(desktop.err.find(c.said), std::string::npos) << desktop.err;
        expectNoGtkComplaints(desktop.err);
        // The terminal says the same about the same line.
        auto terminal = host(arguments(db), script);
        EXPECT_NE(terminal.out.find(c.said), std::string::npos) << terminal.out;
    }
    EXPECT_TRUE(grants(db).empty()) << "nothing after a refused line ran";
}

TEST_F(GuiFeatureEditorTest, TerminalAndDesktopLeaveIdenticalDatabases) {
    std::vector<std::string> scripts{
        kOpenEditor +
            "select features 3\ntick users 3\ntick users 3\nselect features 1\ntick users 2\npress done\n",
        kOpenEditor + "select features 2\ntick users 1\ntick users 2\ntick users 3\nquit\n",
        kOpenEditor + "select features 1\ntick users 1\nclose\n" + kOpenEditor +
            "select features 1\ntick users 3\n",
    };
    // Random walks through the editor, the same for every run of the test.
    for (unsigned seed = 1; seed <= 5; ++seed) {
        std::mt19937 random(seed);
        std::string script = kOpenEditor;
        int commands = 3 + static_cast<int>(random() % 6);
        for (int i = 0; i < commands; ++i)
            script += (random() % 3 == 0 ? "select features " : "tick users ") +
                      std::to_string(1 + random() % 3) + "\n";
        script += random() % 2 ? "press done\n" : "quit\n";
        scripts.push_back(script);
    }
    int n = 0;
    for (const auto& script : scripts) {
        SCOPED_TRACE(script);
        ++n;
        auto terminalDb = newDatabase("terminal" + std::to_string(n) + ".sqlite");
        auto desktopDb = newDatabase("desktop" + std::to_string(n) + ".sqlite");
        auto terminal = host(arguments(terminalDb), script);
        auto desktop = runGui(arguments(desktopDb), script);
        EXPECT_EQ(terminal.exitCode, desktop.exitCode) << terminal.err << desktop.err;
        expectNoGtkComplaints(desktop.err);
        EXPECT_EQ(grants(terminalDb), grants(desktopDb));
        EXPECT_TRUE(dump(terminalDb) == dump(desktopDb)) << "the databases differ";
    }
}

TEST_F(GuiFeatureEditorTest, ScreenshotsShowTheControlsWhereTheyWereLaidOut) {
    auto db = newDatabase("shots.sqlite");
    fs::path shots = dir / "shots";
    auto args = arguments(db);
    args.insert(args.end(), {"--screenshot-dir", shots.string()});
    // 002: nothing chosen; 004: a feature chosen; 006: a user ticked.
    auto r = runGui(args, kOpenEditor + "show\nselect features 3\nshow\ntick users 3\nshow\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    expectNoGtkComplaints(r.err);
    auto shows = parseShows(r.out);
    ASSERT_EQ(shows.size(), 3u) << r.out;
    Screenshot nothingChosen(shots / "002.png"), chosen(shots / "004.png"), ticked(shots / "006.png");
    ASSERT_TRUE(nothingChosen.loaded() && chosen.loaded() && ticked.loaded()) << ticked.message;
    EXPECT_EQ(ticked.width, nothingChosen.width);
    EXPECT_EQ(ticked.height, nothingChosen.height);

    const auto& controls = shows[2].controls;
    for (const char* id : {"#1", "features", "#3", "users", "done"}) {
        SCOPED_TRACE(id);
        const auto& control = controls.at(id);
        ASSERT_GT(control.width, 0);
        ASSERT_GT(control.height, 0);
        EXPECT_LE(control.x + control.width, ticked.width);
        EXPECT_LE(control.y + control.height, ticked.height);
        auto [drawn, colours] = ticked.ink(control);
        EXPECT_GT(drawn, 30u) << "the control is not drawn where it was laid out";
        EXPECT_GT(colours, 3u) << "one flat colour: no text or frame there";
    }
    // The default button is filled, not only outlined.
    auto [buttonInk, buttonColours] = ticked.ink(controls.at("done"));
    EXPECT_GT(buttonInk * 2, ticked.region(controls.at("done")).size());

    // What changed is drawn where it changed, and only there.
    EXPECT_NE(nothingChosen.region(controls.at("features")), chosen.region(controls.at("features")))
        << "the selected row";
    EXPECT_NE(chosen.region(controls.at("users")), ticked.region(controls.at("users"))) << "the tick";
    EXPECT_EQ(chosen.region(controls.at("#1")), ticked.region(controls.at("#1")));
    EXPECT_EQ(chosen.region(controls.at("done")), ticked.region(controls.at("done")));
    // Between the tables and the button there is nothing but the window.
    const auto& users = controls.at("users");
    guitest::ShownControl gap;
    gap.x = users.x;
    gap.y = users.y + users.height + 4;
    gap.width = users.width;
    gap.height = controls.at("done").y - gap.y - 4;
    ASSERT_GT(gap.height, 0);
    EXPECT_EQ(ticked.ink(gap).first, 0u);
}

}  // namespace
