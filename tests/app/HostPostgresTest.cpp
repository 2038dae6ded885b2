// Many zandrel-host processes on one shared database at the same time, each duplicating
// templates through the real dialog from a piped script: four hosts on one PostgreSQL database,
// two on one SQLite file. Afterwards every copy is there, complete, under a key of its own.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/PostgresTestDatabase.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using testsupport::builtProgram;
using testsupport::ProcessResult;
using testsupport::runProgram;
using testsupport::TempDir;

namespace {

struct SharedDatabase {
    const char* name;
    int hosts;
};

class HostsSharingADatabase : public ::testing::TestWithParam<SharedDatabase> {
protected:
    void SetUp() override {
        if (isPostgres()) {
            if (!hosttest::PostgresTestDatabase::available())
                GTEST_SKIP() << "no test cluster: ctest starts one (or set ZANDREL_TEST_POSTGRES_URI)";
            postgres = std::make_unique<hosttest::PostgresTestDatabase>();
            address = postgres->uri();
        } else {
            address = (dir / "shared.sqlite").string();
        }
        ProcessResult created = runProgram({builtProgram("zandrel-host"), "--db", address, "--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }
    bool isPostgres() const { return std::string(GetParam().name) == "Postgres"; }

    std::vector<std::string> host(std::vector<std::string> args) const {
        std::vector<std::string> argv{builtProgram("zandrel-host"), "--db", address, "--update-url", ""};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    nlohmann::json templates() const {
        ProcessResult r = runProgram(host({"templates", "--json"}));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.exitCode == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::array();
    }

    TempDir dir;
    std::unique_ptr<hosttest::PostgresTestDatabase> postgres;
    std::string address;
};

// The script a person would type: each copy through Plug-ins > Zandrel > Duplicate, saved by
// the host after the command that completes it.
std::string duplicateScript(int host, int copies) {
    const char* sources[] = {"Project Intake", "Customer Profile", "Event Registration"};
    std::string script;
    for (int copy = 0; copy < copies; ++copy) {
        script += "menu Plug-ins > Zandrel > Duplicate Form Template...\n";
        script += std::string("select template \"") + sources[copy % 3] + "\"\n";
        script += "type name \"Host " + std::to_string(host) + " copy " + std::to_string(copy) + "\"\n";
        script += "press duplicate\nanswer Thanks!\n";
    }
    return script + "quit\n";
}

TEST_P(HostsSharingADatabase, DuplicateAtTheSameTimeAndEveryCopyIsThereWhole) {
    constexpr int kCopies = 6;
    const int hosts = GetParam().hosts;
    std::vector<pid_t> running;
    for (int h = 0; h < hosts; ++h) {
        dir.write("script" + std::to_string(h), duplicateScript(h, kCopies));
        running.push_back(testsupport::startProgram(host({}), dir / ("script" + std::to_string(h)),
                                                    dir / ("out" + std::to_string(h)),
                                                    dir / ("err" + std::to_string(h))));
    }
    for (int h = 0; h < hosts; ++h) {
        int status = 0;
        waitpid(running[size_t(h)], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "host " << h << ": " << dir.read("err" + std::to_string(h));
    }

    std::map<std::string, nlohmann::json> byName;
    for (const auto& t : templates()) {
        EXPECT_EQ(byName.count(t["name"]), 0u) << t["name"] << " twice";
        byName[t["name"]] = t;
    }
    const char* sources[] = {"Project Intake", "Customer Profile", "Event Registration"};
    for (int h = 0; h < hosts; ++h)
        for (int copy = 0; copy < kCopies; ++copy) {
            const std::string name = "Host " + std::to_string(h) + " copy " + std::to_string(copy);
            ASSERT_TRUE(byName.count(name)) << name << " was lost";
            EXPECT_EQ(byName[name]["fields"], byName[sources[copy % 3]]["fields"]) << name << " is not whole";
        }
    EXPECT_EQ(byName.size(), 5u + size_t(hosts * kCopies));

    if (isPostgres()) {
        // Each copy's fields belong to it alone: as many as its source has, none shared.
        EXPECT_EQ(
            postgres->query("SELECT count(*) FROM \"CustomRecordSetDefinition\" s WHERE s.name LIKE 'Host %' "
                            "AND (SELECT count(*) FROM \"CustomRecordDefinition\" d WHERE "
                            "d.\"customRecordSetDefinitionID\" = s.pk) = 0"),
            "0");
        EXPECT_EQ(
            postgres->query("SELECT count(*) FROM \"CustomRecordDefinition\" d WHERE NOT EXISTS (SELECT 1 "
                            "FROM \"CustomRecordSetDefinition\" s WHERE s.pk = "
                            "d.\"customRecordSetDefinitionID\")"),
            "0");
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, HostsSharingADatabase,
                         ::testing::Values(SharedDatabase{"Postgres", 4}, SharedDatabase{"Sqlite", 2}),
                         [](const ::testing::TestParamInfo<SharedDatabase>& info) {
                             return info.param.name;
                         });

// A save the server refuses is reported with its message and leaves nothing behind; the same
// copy is stored once the server takes it again.
TEST(HostOnPostgres, ARefusedSaveIsReportedWithTheServersMessageAndLeavesNothing) {
    if (!hosttest::PostgresTestDatabase::available()) GTEST_SKIP() << "no test cluster";
    hosttest::PostgresTestDatabase db;
    ASSERT_EQ(runProgram({builtProgram("zandrel-host"), "--db", db.uri(), "--init-demo"}).exitCode, 0);
    db.exec(
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF EXISTS (SELECT 1 FROM refusing) THEN RAISE EXCEPTION 'the archive is being moved'; END IF; "
        "RETURN NEW; END $$; CREATE TABLE refusing (x int); INSERT INTO refusing VALUES (1);"
        "CREATE TRIGGER refuse BEFORE INSERT ON \"CustomRecordDefinition\" FOR EACH ROW EXECUTE FUNCTION "
        "refuse()");
    ProcessResult refused = runProgram({builtProgram("zandrel-host"), "--db", db.uri(), "--update-url", "",
                                        "duplicate", "--template", "Project Intake", "--name", "Kept"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("the archive is being moved"), std::string::npos) << refused.err;
    EXPECT_EQ(db.query("SELECT count(*) FROM \"CustomRecordSetDefinition\" WHERE name = 'Kept'"), "0");

    // In a session too: the failed save is reported and the host will not end as if it had saved.
    TempDir dir;
    dir.write("script",
              "menu Plug-ins > Zandrel > Duplicate Form Template...\nselect template \"Project "
              "Intake\"\ntype name \"Kept\"\npress duplicate\nanswer "
              "Thanks!\n");
    // The session's save fails; its piped input ends with the changes unsaved (exit 1).
    ProcessResult session =
        runProgram({builtProgram("zandrel-host"), "--db", db.uri(), "--update-url", ""}, dir.read("script"));
    EXPECT_EQ(session.exitCode, 1);
    EXPECT_NE(session.err.find("the archive is being moved"), std::string::npos) << session.err;
    db.exec("DELETE FROM refusing");
    ProcessResult again = runProgram({builtProgram("zandrel-host"), "--db", db.uri(), "--update-url", "",
                                      "duplicate", "--template", "Project Intake", "--name", "Kept"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(db.query("SELECT count(*) FROM \"CustomRecordSetDefinition\" WHERE name = 'Kept'"), "1");
}

}  // namespace
