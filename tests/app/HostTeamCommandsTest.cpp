// A team's first steps and mistakes on a shared database, through zandrel-host's commands:
// init, users add, and duplicate when names are shared or the database holds a lock.

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <string>
#include <vector>

#include "tests/host/PostgresTestDatabase.h"
#include "tests/host/StoreTestSupport.h"
#include "tests/support/HostLauncher.h"

using testsupport::HostLauncher;
using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

class TeamCommandsTest : public ::testing::TestWithParam<hosttest::StoreFactory> {
protected:
    void SetUp() override {
        if (!GetParam().isSqlite) ZANDREL_REQUIRE_POSTGRES();
        address = GetParam().freshDatabase(dir.path());
    }
    ProcessResult host(const std::vector<std::string>& args) const {
        return testsupport::hostOn(dir.path(), address).run(args);
    }
    std::string rawQuery(const std::string& sql) const { return GetParam().rawQuery(address, sql); }

    TempDir dir;
    std::string address;
};

TEST_P(TeamCommandsTest, InitThenUsersAddGivesATeamItsFirstUsers) {
    ProcessResult created = host({"init"});
    ASSERT_EQ(created.exitCode, 0) << created.err;
    ProcessResult none = host({"users"});
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(none.out, "");

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* inError;
    };
    const Case cases[] = {
        {{"users", "add", "anna", "--name", "Anna Maria Smith"}, 0, ""},
        {{"users", "add", "ben"}, 0, ""},
        {{"users", "add", "anna", "--name", "Another Anna"}, 3, "the sign-in name \"anna\" is taken"},
        {{"users", "add", "two words"}, 2, "is not a sign-in name"},
        {{"users", "add", ""}, 2, "is not a sign-in name"},
        {{"users", "add", "eve\x1b[2J"}, 2, "\\x1b"},
        {{"users", "add", "carl", "--name", "Carl\nInjected"}, 2, "control characters"},
    };
    for (const auto& c : cases) {
        ProcessResult r = host(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[2] << ": " << r.err;
        EXPECT_NE(r.err.find(c.inError), std::string::npos) << r.err;
    }
    ProcessResult listed = host({"users"});
    EXPECT_EQ(listed.out, "anna\tAnna Maria Smith\nben\tben\n");
    // Each can sign in, with a contact of their own for feature grants.
    EXPECT_EQ(rawQuery("SELECT count(DISTINCT contactID) FROM \"User\""), "2");
    EXPECT_EQ(rawQuery("SELECT lastName FROM Contact WHERE firstName = 'Anna Maria'"), "Smith");

    // init never touches a database that holds anything.
    ProcessResult again = host({"init"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("already holds records"), std::string::npos) << again.err;
}

TEST_P(TeamCommandsTest, DuplicateRefusesANameTwoActiveTemplatesShare) {
    ASSERT_EQ(host({"--init-demo"}).exitCode, 0);
    ASSERT_EQ(host({"duplicate", "--template", "Quick Notes", "--name", "Twin"}).exitCode, 0);
    // Another program (or an older host) stored a second active template of the same name.
    GetParam().rawExec(address,
                       "UPDATE CustomRecordSetDefinition SET name = 'Twin' WHERE name = 'Project Intake'");
    const std::string before = rawQuery("SELECT count(*) FROM CustomRecordSetDefinition");
    ProcessResult r = host({"duplicate", "--template", "Twin", "--name", "Which one?"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("2 active form templates are named \"Twin\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("with 5 field definitions"), std::string::npos) << "lists them: " << r.err;
    EXPECT_NE(r.err.find("with 0 field definitions"), std::string::npos) << "lists them: " << r.err;
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordSetDefinition"), before);
}

INSTANTIATE_TEST_SUITE_P(Stores, TeamCommandsTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

// Another session holds the templates' table locked while the dialog reads them: after the busy
// timeout the database's reason is reported as a database failure (exit 1), not as "no active
// form template is named ..." (bad input).
TEST(TeamCommandsOnPostgres, ALockTimeoutWhileReadingTheTemplatesIsADatabaseFailure) {
    ZANDREL_REQUIRE_POSTGRES();
    hosttest::PostgresTestDatabase db;
    TempDir dir;
    const HostLauncher host(dir.path(), {"--db", db.uri()});
    ASSERT_EQ(host.run({"--init-demo"}).exitCode, 0);
    PGconn* locker = PQconnectdb(db.uri().c_str());
    ASSERT_EQ(PQstatus(locker), CONNECTION_OK);
    PQclear(PQexec(locker, "BEGIN; LOCK TABLE \"CustomRecordSetDefinition\" IN ACCESS EXCLUSIVE MODE"));
    ProcessResult r =
        host.run({"--update-url", "", "duplicate", "--template", "Project Intake", "--name", "Locked out"});
    PQclear(PQexec(locker, "ROLLBACK"));
    PQfinish(locker);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("could not be read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lock"), std::string::npos) << "the server's reason: " << r.err;
    EXPECT_EQ(r.err.find("no active form template"), std::string::npos) << r.err;
}

}  // namespace
