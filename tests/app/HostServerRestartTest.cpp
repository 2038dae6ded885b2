// A host that stays open, as a person keeps it open all day, while the PostgreSQL server under it
// restarts or fails over to a promoted standby: what it said was saved is stored, what it keeps
// is saved once a server takes writes again, and it never says the opposite of what happened.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/host/PostgresCluster.h"
#include "tests/host/PostgresTestDatabase.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using hosttest::PostgresCluster;
using testsupport::builtProgram;
using testsupport::PseudoTerminal;
using testsupport::runProgram;

namespace {

// zandrel-host at a terminal on `uri`, its demo database made first.
class OpenHost {
public:
    explicit OpenHost(const std::string& uri)
        : m_made(runProgram({builtProgram("zandrel-host"), "--db", uri, "--init-demo"}).exitCode == 0),
          m_terminal({{builtProgram("zandrel-host"), "--db", uri, "--update-url", ""},
                      {{"XDG_CONFIG_HOME", (m_dir / "config").string()},
                       {"XDG_DATA_HOME", (m_dir / "data").string()}},
                      120,
                      40}) {}
    bool made() const { return m_made; }
    PseudoTerminal& terminal() { return m_terminal; }
    // Duplicates "Project Intake" as `name` through the dialog, up to the answer it gives.
    bool duplicate(const std::string& name) {
        m_terminal.mark();
        m_terminal.send(
            "menu Plug-ins > Zandrel > Duplicate\rselect template \"Project Intake\"\rtype name \"" + name +
            "\"\rpress duplicate\r");
        return m_terminal.waitFor("answer> ", std::chrono::seconds(40));
    }
    // Dismisses the answer, back at the main window.
    bool answer() {
        m_terminal.send("\r");
        return m_terminal.waitForPrompt("Form templates");
    }

private:
    testsupport::TempDir m_dir;
    bool m_made;
    PseudoTerminal m_terminal;
};

// How many fields the template named `name` has.
std::string fieldCountOf(const PostgresCluster& cluster, const std::string& name) {
    return cluster.query(
        "SELECT count(*) FROM \"CustomRecordDefinition\" d JOIN \"CustomRecordSetDefinition\" s ON s.pk = "
        "d.\"customRecordSetDefinitionID\" WHERE s.name = '" +
        name + "'");
}

TEST(HostServerRestart, AnOpenHostKeepsWorkingAcrossARestartAndLosesNothing) {
    ZANDREL_REQUIRE_POSTGRES();
    PostgresCluster cluster("hostrestart");
    ASSERT_FALSE(cluster.start().empty()) << "the private cluster did not start";
    OpenHost host(cluster.uri());
    ASSERT_TRUE(host.made());
    PseudoTerminal& t = host.terminal();
    ASSERT_TRUE(t.waitForPrompt("Form templates")) << t.output();

    // Confirmed before the restart: stored.
    ASSERT_TRUE(host.duplicate("Before restart")) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    ASSERT_TRUE(host.answer()) << t.sinceMark();

    cluster.stop();
    cluster.start();

    // The open host finds the server again by itself.
    ASSERT_TRUE(host.duplicate("After restart")) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    EXPECT_EQ(t.sinceMark().find("could not"), std::string::npos) << t.sinceMark();
    ASSERT_TRUE(host.answer()) << t.sinceMark();

    // The server goes away with the dialog open: the copy is not claimed, and nothing of it is kept.
    t.mark();
    t.send(
        "menu Plug-ins > Zandrel > Duplicate\rselect template \"Project Intake\"\rtype name \"While "
        "down\"\r");
    ASSERT_TRUE(t.waitForPrompt("While down")) << t.sinceMark();
    cluster.stop();
    t.mark();
    t.send("press duplicate\r");
    ASSERT_TRUE(t.waitFor("answer> ", std::chrono::seconds(60))) << t.sinceMark();
    EXPECT_EQ(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("could not be duplicated"), std::string::npos) << t.sinceMark();
    t.send("\r");
    cluster.start();
    t.send("close\rquit\r");
    EXPECT_EQ(t.waitForExit(std::chrono::seconds(60)), 0) << t.output();

    EXPECT_EQ(
        cluster.query("SELECT string_agg(name, ',' ORDER BY pk) FROM \"CustomRecordSetDefinition\" WHERE "
                      "name LIKE '%restart' OR name = 'While down'"),
        "Before restart,After restart");
    EXPECT_EQ(fieldCountOf(cluster, "After restart"), fieldCountOf(cluster, "Project Intake"));
}

// The primary is lost at once and its streaming standby promoted, as an operator fails over: the
// open host, given a URI that names both servers, saves its next copy on the new primary.
TEST(HostServerRestart, AnOpenHostFollowsAFailOverToThePromotedStandby) {
    ZANDREL_REQUIRE_POSTGRES_SERVER();
    PostgresCluster primary("failover-p"), standby("failover-s");
    ASSERT_FALSE(primary.start().empty()) << "the primary did not start";
    ASSERT_FALSE(standby.startAsStandbyOf(primary).empty()) << "the standby did not start";
    // A copy reported as saved is on the standby's disk too, so the crash below cannot take it
    // (the primary's setting only: the promoted standby has no standby of its own to wait for).
    primary.query("ALTER SYSTEM SET synchronous_standby_names = '*'");
    primary.query("SELECT pg_reload_conf()");
    // The server applies a reload in its own time: asked until the standby counts as synchronous.
    std::string replication;
    for (int i = 0; i < 200 && replication != "sync"; ++i) {
        if (i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        replication = primary.query("SELECT string_agg(sync_state, ',') FROM pg_stat_replication");
    }
    ASSERT_EQ(replication, "sync") << "the standby does not follow the primary synchronously";

    OpenHost host("postgresql://zandrel@" + primary.address() + "," + standby.address() +
                  "/zandrel?target_session_attrs=read-write");
    ASSERT_TRUE(host.made());
    PseudoTerminal& t = host.terminal();
    ASSERT_TRUE(t.waitForPrompt("Form templates")) << t.output();
    ASSERT_TRUE(host.duplicate("Before failover")) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    ASSERT_TRUE(host.answer()) << t.sinceMark();

    primary.crash();
    ASSERT_FALSE(standby.promote().empty()) << "the standby was not promoted";
    ASSERT_EQ(standby.query("SELECT pg_is_in_recovery()"), "f");

    // Only the promoted standby takes writes now: the copy is there only if the host found it.
    ASSERT_TRUE(host.duplicate("After failover")) << t.sinceMark();
    EXPECT_NE(t.sinceMark().find("Success!"), std::string::npos) << t.sinceMark();
    EXPECT_EQ(t.sinceMark().find("could not"), std::string::npos) << t.sinceMark();
    ASSERT_TRUE(host.answer()) << t.sinceMark();
    t.send("quit\r");
    EXPECT_EQ(t.waitForExit(std::chrono::seconds(60)), 0) << t.output();

    EXPECT_EQ(standby.query("SELECT string_agg(name || ' ' || copies, ',' ORDER BY name) FROM (SELECT name, "
                            "count(*) AS copies FROM \"CustomRecordSetDefinition\" WHERE name LIKE "
                            "'% failover' GROUP BY name) c"),
              "After failover 1,Before failover 1");
    for (const char* name : {"Before failover", "After failover"})
        EXPECT_EQ(fieldCountOf(standby, name), fieldCountOf(standby, "Project Intake")) << name;
}

}  // namespace
