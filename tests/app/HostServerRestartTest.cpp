// A host that stays open, as a person keeps it open all day, while the PostgreSQL server under it
// restarts: what it said was saved is stored, what it keeps is saved once the server is back, and
// it never says the opposite of what happened.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/host/PostgresTestDatabase.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using testsupport::builtProgram;
using testsupport::PseudoTerminal;
using testsupport::runProgram;

namespace {

std::string shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

std::string queryOn(const std::string& uri, const std::string& sql) {
    PGconn* connection = PQconnectdb(uri.c_str());
    std::string value;
    if (PQstatus(connection) == CONNECTION_OK) {
        PGresult* result = PQexec(connection, sql.c_str());
        if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0)
            value = PQgetvalue(result, 0, 0);
        PQclear(result);
    }
    PQfinish(connection);
    return value;
}

// A cluster of this test's own, which it stops and starts (never the shared test cluster).
class RestartableCluster {
public:
    RestartableCluster() : m_dir("/tmp/zr-hostrestart-" + std::to_string(getpid())) { m_uri = run("start"); }
    ~RestartableCluster() {
        run("stop");
        std::filesystem::remove_all(m_dir);
    }
    std::string run(const std::string& command) const {
        return shell("bash " ZANDREL_SOURCE_DIR "/scripts/pg-cluster " + command + " " + m_dir +
                     " 2>/dev/null");
    }
    const std::string& uri() const { return m_uri; }

private:
    std::string m_dir, m_uri;
};

TEST(HostServerRestart, AnOpenHostKeepsWorkingAcrossARestartAndLosesNothing) {
    ZANDREL_REQUIRE_POSTGRES();
    RestartableCluster cluster;
    ASSERT_FALSE(cluster.uri().empty()) << "the private cluster did not start";
    const std::string uri = cluster.uri();
    testsupport::TempDir dir;
    ASSERT_EQ(runProgram({builtProgram("zandrel-host"), "--db", uri, "--init-demo"}).exitCode, 0);

    PseudoTerminal t(
        {{builtProgram("zandrel-host"), "--db", uri, "--update-url", ""},
         {{"XDG_CONFIG_HOME", (dir / "config").string()}, {"XDG_DATA_HOME", (dir / "data").string()}},
         120,
         40});
    ASSERT_TRUE(t.waitForPrompt("Form templates")) << t.output();
    auto duplicate = [&](const std::string& name) {
        t.mark();
        t.send("menu Plug-ins > Zandrel > Duplicate\rselect template \"Project Intake\"\rtype name \"" +
               name + "\"\rpress duplicate\r");
        return t.waitFor("answer> ", std::chrono::seconds(40));
    };

    // Confirmed before the restart: stored.
    ASSERT_TRUE(duplicate("Before restart")) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    t.send("\r");
    ASSERT_TRUE(t.waitForPrompt("Form templates")) << t.sinceMark();

    cluster.run("stop");
    cluster.run("start");

    // The open host finds the server again by itself.
    ASSERT_TRUE(duplicate("After restart")) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    EXPECT_EQ(t.sinceMark().find("could not"), std::string::npos) << t.sinceMark();
    t.send("\r");
    ASSERT_TRUE(t.waitForPrompt("Form templates")) << t.sinceMark();

    // The server goes away with the dialog open: the copy is not claimed, and nothing of it is kept.
    t.mark();
    t.send(
        "menu Plug-ins > Zandrel > Duplicate\rselect template \"Project Intake\"\rtype name \"While "
        "down\"\r");
    ASSERT_TRUE(t.waitForPrompt("While down")) << t.sinceMark();
    cluster.run("stop");
    t.mark();
    t.send("press duplicate\r");
    ASSERT_TRUE(t.waitFor("answer> ", std::chrono::seconds(60))) << t.sinceMark();
    EXPECT_EQ(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("could not be duplicated"), std::string::npos) << t.sinceMark();
    t.send("\r");
    cluster.run("start");
    t.send("close\rquit\r");
    EXPECT_EQ(t.waitForExit(std::chrono::seconds(60)), 0) << t.output();

    EXPECT_EQ(
        queryOn(uri,
                "SELECT string_agg(name, ',' ORDER BY pk) FROM \"CustomRecordSetDefinition\" WHERE name "
                "LIKE '%restart' OR name = 'While down'"),
        "Before restart,After restart");
    EXPECT_EQ(
        queryOn(uri,
                "SELECT count(*) FROM \"CustomRecordDefinition\" d JOIN \"CustomRecordSetDefinition\" s "
                "ON s.pk = d.\"customRecordSetDefinitionID\" WHERE s.name = 'After restart'"),
        queryOn(uri,
                "SELECT count(*) FROM \"CustomRecordDefinition\" d JOIN \"CustomRecordSetDefinition\" s "
                "ON s.pk = d.\"customRecordSetDefinitionID\" WHERE s.name = 'Project Intake'"));
}

}  // namespace
