// Ten hosts on one database counting visits through Showcase's "Count a Visit" at the same
// moment: every visit is counted, on a SQLite file and on PostgreSQL.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/host/PostgresTestDatabase.h"
#include "tests/host/StoreTestSupport.h"
#include "tests/support/HostLauncher.h"

using testsupport::ProcessResult;

namespace {

class ShowcaseVisitCountTest : public ::testing::TestWithParam<hosttest::StoreFactory> {
protected:
    void SetUp() override {
        if (!GetParam().isSqlite) ZANDREL_REQUIRE_POSTGRES();
        address = GetParam().freshDatabase(dir.path());
        ProcessResult created = host().run({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
        // "Count a Visit" for everybody (Feature Permissions: visitCounter, the "All" row).
        ProcessResult granted = host().run({"--user", "ada"},
                                           "menu Plug-ins > Showcase > Feature Permissions\n"
                                           "select features 3\ntick users 1\nclose\nquit\n");
        ASSERT_EQ(granted.exitCode, 0) << granted.err << granted.out;
    }

    // The host with configuration and history folders of its own, asking nobody for updates.
    testsupport::HostLauncher host() const {
        testsupport::HostLauncher launcher = testsupport::hostOn(dir.path(), address);
        launcher.with("LANGUAGE", "en");
        return launcher;
    }

    testsupport::TempDir dir;
    std::string address;
};

TEST_P(ShowcaseVisitCountTest, TenHostsCountingAtOnceCountEveryVisit) {
    constexpr int kHosts = 10, kVisitsEach = 8;
    std::string script;
    for (int visit = 0; visit < kVisitsEach; ++visit)
        script += "menu Plug-ins > Showcase > Count a Visit\nanswer OK\n";
    dir.write("script", script + "quit\n");
    std::vector<pid_t> running;
    for (int h = 0; h < kHosts; ++h) {
        // The count is a setting per user: every host counts ada's.
        running.push_back(host().start({"--user", "ada"}, dir / "script", dir / ("out" + std::to_string(h)),
                                       dir / ("err" + std::to_string(h))));
    }
    for (int h = 0; h < kHosts; ++h) {
        int status = 0;
        waitpid(running[size_t(h)], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "host " << h << ": " << dir.read("err" + std::to_string(h));
        EXPECT_NE(dir.read("out" + std::to_string(h)).find("Visits counted: "), std::string::npos);
    }
    EXPECT_EQ(GetParam().rawQuery(address,
                                  "SELECT value FROM zandrel_user_default WHERE key = 'ShowcaseVisitCount'"),
              std::to_string(kHosts * kVisitsEach));
}

INSTANTIATE_TEST_SUITE_P(Stores, ShowcaseVisitCountTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
