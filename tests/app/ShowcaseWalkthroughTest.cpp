// What a person does with the Showcase plug-in from a fresh database, through the real host and
// its piped terminal: grant features in Feature Permissions…, read the grants back with
// `connector-maps --json`, and find the feature-gated commands enabled or not for each user.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using testsupport::builtProgram;
using testsupport::ProcessResult;
using testsupport::runProgram;
using testsupport::TempDir;

namespace {

class ShowcaseWalkthroughTest : public ::testing::Test {
protected:
    void SetUp() override {
        ProcessResult created = host({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }

    // The host with its own configuration and history folders, asking nobody for updates.
    ProcessResult host(const std::vector<std::string>& arguments, const std::string& input = "") {
        std::vector<std::string> argv{"/usr/bin/env",
                                      "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                      "XDG_DATA_HOME=" + (dir / "data").string(),
                                      "LANGUAGE=en",
                                      builtProgram("zandrel-host"),
                                      "--db",
                                      db,
                                      "--update-url",
                                      ""};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return runProgram(argv, input);
    }

    // (foreignID, contactID) of every feature permission record.
    std::set<std::tuple<std::string, int64_t>> grants() {
        ProcessResult listed = host({"connector-maps", "--json"});
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        std::set<std::tuple<std::string, int64_t>> result;
        for (const auto& record : nlohmann::json::parse(listed.out))
            if (record["foreignAppName"] == "Showcase" && record["foreignEntityType"] == "FeaturePermission")
                result.emplace(record["foreignID"].get<std::string>(), record["contactID"].get<int64_t>());
        return result;
    }

    TempDir dir;
    std::string db = (dir / "demo.sqlite").string();
};

TEST_F(ShowcaseWalkthroughTest, GrantsMadeInTheEditorAreStoredAndGateTheCommands) {
    // Features are listed by identifier: resetVisits, templateSummary, visitCounter. Users: All,
    // then the active users (ada, grace).
    ProcessResult edited = host({"--user", "ada"},
                                "menu Plug-ins > Showcase > Feature Permissions\n"
                                "select features 3\n"
                                "tick users 3\n"  // visitCounter for grace
                                "select features 2\n"
                                "tick users 1\n"  // templateSummary for everybody
                                "quit\n");
    ASSERT_EQ(edited.exitCode, 0) << edited.err << edited.out;
    EXPECT_NE(edited.out.find("[x] Grace Hopper"), std::string::npos) << edited.out;

    auto stored = grants();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored.count({"templateSummary", 0}), 1u);
    int64_t graceContact = -1;
    for (const auto& [feature, contact] : stored)
        if (feature == "visitCounter") graceContact = contact;
    EXPECT_GT(graceContact, 0) << "the grant names grace's contact, not all users";

    // Each user sees the gated commands as their grants say.
    struct Case {
        const char* user;
        bool countsVisits;
    };
    for (const Case& c : {Case{"ada", false}, Case{"grace", true}}) {
        SCOPED_TRACE(c.user);
        ProcessResult menu = host({"--user", c.user}, "menu\nquit\n");
        ASSERT_EQ(menu.exitCode, 0) << menu.err;
        EXPECT_NE(menu.out.find(c.countsVisits ? "Count a Visit\n" : "Count a Visit  (disabled)"),
                  std::string::npos)
            << menu.out;
        EXPECT_NE(menu.out.find("Template Summary\n"), std::string::npos) << "granted to all users\n"
                                                                          << menu.out;
        EXPECT_NE(menu.out.find("Reset Visit Counter  (disabled)"), std::string::npos) << menu.out;
    }

    // Clearing grace's box withdraws her grant; the all-users grant stays.
    ProcessResult withdrawn = host({"--user", "ada"},
                                   "menu Plug-ins > Showcase > Feature Permissions\n"
                                   "select features 3\n"
                                   "tick users 3\n"
                                   "quit\n");
    ASSERT_EQ(withdrawn.exitCode, 0) << withdrawn.err;
    EXPECT_EQ(grants(), (std::set<std::tuple<std::string, int64_t>>{{"templateSummary", 0}}));
}

}  // namespace
