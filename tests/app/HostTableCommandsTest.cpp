// The main window's table in the real host, at a pseudo-terminal and through a pipe: a form
// template row's contextual menu (`menu context`) from the preferences' configuration, and
// `tick` on a table without check boxes; every refusal says why and stops a script.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/HostLauncher.h"
#include "tests/support/HostProgramSupport.h"

using testsupport::ProcessResult;
using testsupport::PseudoTerminal;
using testsupport::TempDir;

namespace {

using testsupport::kMainWindow;

// Two items nothing carries out (no plug-in registers their actions), a separator between them.
constexpr const char* kPreferences = R"({
  "MCContextualMenuConfiguration": [
    { "Classname": "GWContact", "MenuItems": [] },
    { "Classname": "CustomRecordSetDefinition", "Owner": "test", "MenuItems": [
      { "DisplayString": "Note it", "ItemDescription": "A note", "Classname": "CustomRecordSetDefinition",
        "SelectorName": "noteTemplate:" },
      { "MenuItemType": "SeparatorItem", "DisplayString": "--------------------" },
      { "DisplayString": "Archive", "SelectorName": "archive:", "Extra": [1, 2] } ] } ]
}
)";

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class HostTableCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = (dir / "demo.sqlite").string();
        ProcessResult created = host().run({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
        std::filesystem::create_directories(dir / "config" / "zandrel");
        // No plug-ins: the items below stay without actions, whatever bundles are built.
        std::filesystem::create_directories(dir / "no-plugins");
        std::ofstream(preferences) << kPreferences;
    }
    testsupport::HostLauncher host() const {
        testsupport::HostLauncher launcher(dir.path(), {"--db", db});
        launcher.with("TERM", "xterm").with("LANG", "C.UTF-8");
        return launcher;
    }
    std::string plugins() const { return (dir / "no-plugins").string(); }
    ProcessResult piped(const std::string& script) {
        return host().run({"--plugins", plugins(), "--update-url", ""}, script);
    }

    TempDir dir;
    std::string db;
    std::filesystem::path preferences = dir / "config" / "zandrel" / "zandrel-host.json";
};

TEST_F(HostTableCommandsTest, AtATerminalTheContextualMenuIsListedCompletedAndItsRefusalsExplained) {
    PseudoTerminal t(host().terminal({"--plugins", plugins(), "--update-url", ""}));
    ASSERT_TRUE(t.waitForPrompt(kMainWindow)) << t.output();

    struct Step {
        std::string keys;
        std::string expected;
    } steps[] = {
        {"menu context\r", "no table row is selected: select one first (select templates <row>)"},
        {"select templates 1\r", "*1. "},
        {"menu context\r", "  1 Note it  (disabled)\n  ----\n  2 Archive  (disabled)\n"},
        {"menu context > note\r", "The contextual menu item \"Note it\" is disabled: nothing carries it out"},
        {"menu context > Import\r", "has no item \"Import\""},
        // Tab: "context" after menu, then the item's title.
        {"menu con\tAr\t\r", "The contextual menu item \"Archive\" is disabled"},
        {"tick templates 1\r", "The table \"templates\" has no check-box column to tick."},
        {"tick templates\r", "has no check-box column"},
    };
    for (const auto& step : steps) {
        t.mark();
        t.send(step.keys);
        EXPECT_TRUE(t.waitForPrompt(step.expected)) << step.keys << "\n" << t.sinceMark();
    }
    t.send("quit\r");
    EXPECT_EQ(t.waitForExit(), std::optional<int>(0)) << t.output();
    EXPECT_EQ(fileText(preferences), kPreferences) << "the host rewrote the contextual menu configuration";
}

TEST_F(HostTableCommandsTest, AFailedTickOrContextItemStopsAPipedScriptWithStatus4) {
    struct Case {
        std::string script;
        std::string error;
    } cases[] = {
        {"select templates 1\nmenu context > Archive\nmenu 1.1\n",
         "line 2: menu context > Archive: The contextual menu item \"Archive\" is disabled"},
        {"menu context\nselect templates 1\n", "line 1: menu context: No contextual menu in"},
        {"select templates 2\ntick templates 2 1\n",
         "line 2: tick templates 2 1: The table \"templates\" has no "
         "check-box column"},
    };
    for (const auto& c : cases) {
        ProcessResult r = piped(c.script);
        EXPECT_EQ(r.exitCode, 4) << c.script << r.out << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("(stopped at line"), std::string::npos) << r.out;
    }
    // A script that only lists the menu completes.
    ProcessResult listed = piped("select templates 1\nmenu context\n");
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("Contextual menu of row 1 of \"templates\""), std::string::npos) << listed.out;
    EXPECT_EQ(fileText(preferences), kPreferences);
}

TEST_F(HostTableCommandsTest, APlugInsContextualItemRunsFromTheTerminalAndItsRecordReadsBack) {
    // The bundles built beside the host, and no preferences yet: a plug-in adds its item to the
    // contextual menu the host registers.
    std::filesystem::remove(preferences);
    ProcessResult r = host().run({"--update-url", ""},
                                 "select templates 1\nmenu context\nmenu context > Template Note...\n"
                                 "type note \"Bring \\\"coffee\\\" \u2615\"\npress save\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("1 Template Note\u2026"), std::string::npos) << r.out;
    EXPECT_NE(fileText(preferences).find("Template Note"), std::string::npos) << fileText(preferences);

    ProcessResult maps = host().run({"connector-maps", "--json"});
    ASSERT_EQ(maps.exitCode, 0) << maps.err;
    bool found = false;
    for (const auto& record : nlohmann::json::parse(maps.out))
        if (record["json"].is_string() &&
            record["json"].get<std::string>().find("Bring \\\"coffee\\\"") != std::string::npos)
            found = true;
    EXPECT_TRUE(found) << maps.out;
}

}  // namespace
