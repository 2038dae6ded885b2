// Many zandrel-host processes on one shared database at the same time, each duplicating
// templates through the real dialog and granting features in the Showcase plug-in's editor, from
// a piped script as a person would type it: four hosts on one PostgreSQL database, two on one
// SQLite file. Afterwards every copy is there, complete, under a key of its own, and every grant
// is there once.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/host/PostgresTestDatabase.h"
#include "tests/host/StoreTestSupport.h"
#include "tests/support/HostLauncher.h"
#include "tests/support/HostProgramSupport.h"

using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

// A kind of database and how many hosts share one of it at once.
struct SharedDatabase {
    hosttest::StoreFactory store;
    int hosts;
};

void PrintTo(const SharedDatabase& shared, std::ostream* out) {
    *out << shared.hosts << " hosts on " << shared.store.name;
}

std::vector<SharedDatabase> sharedDatabases() {
    std::vector<SharedDatabase> all;
    for (auto& store : hosttest::storeFactories()) {
        // A SQLite file is for a few processes on one machine; a server for a team.
        const int hosts = store.isSqlite ? 2 : 4;
        all.push_back({std::move(store), hosts});
    }
    return all;
}

// The Showcase editor's rows, as it lists them: features by identifier; users "All" first, then
// the active users by name -- the demo's two and the team added for the test.
const std::vector<std::string> kFeatures = {"resetVisits", "templateSummary", "visitCounter"};
const std::vector<std::string> kUserRows = {"",      "ada",   "grace", "team1",
                                            "team2", "team3", "team4"};  // "" All

// A grant: (feature row, user row), both counted from 1 as the terminal counts them.
using Grant = std::pair<int, int>;

// Every grant the hosts make between them: resetVisits for all users, and the two other
// features for each user. A box shows ticked when the all-users record grants the feature, so
// ticking it then would withdraw (nothing); the all-users grant is therefore kept to a feature
// of its own, and each box is ticked by one host only.
std::vector<Grant> allGrants() {
    std::vector<Grant> grants{{1, 1}};
    for (int feature = 2; feature <= 3; ++feature)
        for (int user = 2; user <= int(kUserRows.size()); ++user) grants.emplace_back(feature, user);
    return grants;
}

// Each host's share, dealt out in turn.
std::vector<Grant> grantsOfHost(int host, int hosts) {
    std::vector<Grant> all = allGrants(), grants;
    for (size_t i = 0; i < all.size(); ++i)
        if (int(i) % hosts == host) grants.push_back(all[i]);
    return grants;
}

const char* const kSources[] = {"Project Intake", "Customer Profile", "Event Registration"};

std::string copyName(int host, int copy) {
    return "Host " + std::to_string(host) + " copy " + std::to_string(copy);
}

// The script a person would type: each copy through Plug-ins > Zandrel > Duplicate (saved by the
// host after the command that completes it), then a share of the host's grants in Feature
// Permissions (each saved as the box is ticked). In the last round the host withdraws its first
// grant and grants it again, so deletes run among the others' inserts too.
std::string hostScript(int host, int hosts, int copies) {
    const auto grants = grantsOfHost(host, hosts);
    auto tick = [](const Grant& grant) {
        return "select features " + std::to_string(grant.first) + "\ntick users " +
               std::to_string(grant.second) + "\n";
    };
    std::string script;
    for (int copy = 0; copy < copies; ++copy) {
        script += "menu Plug-ins > Zandrel > Duplicate Form Template...\n";
        script += std::string("select template \"") + kSources[copy % 3] + "\"\n";
        script += "type name \"" + copyName(host, copy) + "\"\n";
        script += "press duplicate\nanswer Thanks!\n";
        script += "menu Plug-ins > Showcase > Feature Permissions\n";
        for (size_t g = size_t(copy); g < grants.size(); g += size_t(copies)) script += tick(grants[g]);
        if (copy == copies - 1 && !grants.empty()) script += tick(grants.front()) + tick(grants.front());
        script += "close\n";
    }
    return script + "quit\n";
}

class HostsSharingADatabase : public ::testing::TestWithParam<SharedDatabase> {
protected:
    void SetUp() override {
        if (!GetParam().store.isSqlite) ZANDREL_REQUIRE_POSTGRES();
        address = GetParam().store.freshDatabase(dir.path());
        ProcessResult created = host().run({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
        // A team of four more, so there are more boxes to tick than hosts.
        auto store = host::StoreFactory::open(address);
        ASSERT_TRUE(store) << store.status().message();
        auto setup = DLPObjectContext::withoutUser(*store);
        for (int member = 1; member <= 4; ++member)
            hosttest::addUser(*setup, ("team" + std::to_string(member)).c_str(),
                              ("Team Member " + std::to_string(member)).c_str(), true);
        auto saved = setup->saveChanges();
        ASSERT_TRUE(saved) << saved.message();
    }

    testsupport::HostLauncher host() const {
        testsupport::HostLauncher launcher = testsupport::hostOn(dir.path(), address);
        launcher.with("LANGUAGE", "en");
        return launcher;
    }
    nlohmann::json listing(const std::vector<std::string>& command) const {
        return testsupport::jsonListing(host(), command);
    }
    std::string rawQuery(const std::string& sql) const { return GetParam().store.rawQuery(address, sql); }

    TempDir dir;
    std::string address;
};

TEST_P(HostsSharingADatabase, DuplicateAndGrantAtTheSameTimeAndEverythingIsThereOnce) {
    constexpr int kCopies = 6;
    const int hosts = GetParam().hosts;
    const nlohmann::json mapsBefore = listing({"connector-maps", "--json"});
    std::vector<pid_t> running;
    for (int h = 0; h < hosts; ++h) {
        dir.write("script" + std::to_string(h), hostScript(h, hosts, kCopies));
        running.push_back(host().start({}, dir / ("script" + std::to_string(h)),
                                       dir / ("out" + std::to_string(h)), dir / ("err" + std::to_string(h))));
    }
    for (int h = 0; h < hosts; ++h) {
        int status = 0;
        waitpid(running[size_t(h)], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "host " << h << ": " << dir.read("err" + std::to_string(h))
            << dir.read("out" + std::to_string(h));
    }

    // Every copy once, each with its source's field definitions; no template besides.
    std::map<std::string, nlohmann::json> byName;
    size_t listedFields = 0;
    for (const auto& t : listing({"templates", "--json"})) {
        EXPECT_EQ(byName.count(t["name"]), 0u) << t["name"] << " twice";
        byName[t["name"]] = t;
        listedFields += t["fields"].size();
    }
    for (int h = 0; h < hosts; ++h)
        for (int copy = 0; copy < kCopies; ++copy) {
            const std::string name = copyName(h, copy);
            ASSERT_TRUE(byName.count(name)) << name << " was lost";
            EXPECT_EQ(byName[name]["fields"], byName[kSources[copy % 3]]["fields"])
                << name << " is not whole";
        }
    EXPECT_EQ(byName.size(), 5u + size_t(hosts * kCopies));
    // No field definition outside the listed templates: none left of a half-written copy, none
    // shared by two copies under one key.
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition"), std::to_string(listedFields));
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition d WHERE NOT EXISTS (SELECT 1 FROM "
                       "CustomRecordSetDefinition s WHERE s.pk = d.customRecordSetDefinitionID)"),
              "0");

    // Every grant once, and the records that were there before untouched.
    std::map<std::string, int64_t> contactOf{{"", 0}};
    for (const auto& login : kUserRows)
        if (!login.empty())
            contactOf[login] =
                std::stoll(rawQuery("SELECT contactID FROM User WHERE loginName = '" + login + "'"));
    std::multiset<std::tuple<std::string, int64_t>> expected, stored;
    for (int h = 0; h < hosts; ++h)
        for (const auto& [feature, user] : grantsOfHost(h, hosts))
            expected.emplace(kFeatures[size_t(feature - 1)], contactOf[kUserRows[size_t(user - 1)]]);
    ASSERT_EQ(expected.size(), allGrants().size());
    nlohmann::json others = nlohmann::json::array();
    for (const auto& record : listing({"connector-maps", "--json"})) {
        if (record["foreignAppName"] == "Showcase" && record["foreignEntityType"] == "FeaturePermission")
            stored.emplace(record["foreignID"].get<std::string>(), record["contactID"].get<int64_t>());
        else
            others.push_back(record);
    }
    EXPECT_EQ(stored, expected) << "a grant was lost or stored twice";
    EXPECT_EQ(others, mapsBefore);
}

// Hosts copying under one new name at the same moment: each dialog found the name free when it
// checked, but the save checks again under a lock, so exactly one copy is stored and every other
// host is told "Name already in use" (exit 3) rather than "Success!".
TEST_P(HostsSharingADatabase, HostsCopyingUnderOneNameAtOnceStoreOneCopyAndRefuseTheRest) {
    constexpr int kRounds = 4;
    const int hosts = GetParam().hosts + 1;
    for (int round = 0; round < kRounds; ++round) {
        const std::string name = "Contested " + std::to_string(round);
        std::vector<pid_t> running;
        for (int h = 0; h < hosts; ++h)
            running.push_back(host().start({"duplicate", "--template", "Project Intake", "--name", name},
                                           "/dev/null", dir / ("out" + std::to_string(h)),
                                           dir / ("err" + std::to_string(h))));
        int saved = 0, refused = 0;
        for (int h = 0; h < hosts; ++h) {
            int status = 0;
            waitpid(running[size_t(h)], &status, 0);
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            const std::string out = dir.read("out" + std::to_string(h));
            if (code == 0) {
                ++saved;
                EXPECT_NE(out.find("Success!"), std::string::npos) << out;
            } else {
                ++refused;
                EXPECT_EQ(code, 3) << dir.read("err" + std::to_string(h));
                EXPECT_NE(out.find("Name already in use"), std::string::npos) << out;
            }
        }
        EXPECT_EQ(saved, 1) << name;
        EXPECT_EQ(refused, hosts - 1) << name;
        EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordSetDefinition WHERE name = '" + name + "'"),
                  "1");
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, HostsSharingADatabase, ::testing::ValuesIn(sharedDatabases()),
                         [](const ::testing::TestParamInfo<SharedDatabase>& test) {
                             return test.param.store.name;
                         });

// A save the server refuses is reported with its message and leaves nothing behind; the same
// copy is stored once the server takes it again.
TEST(HostOnPostgres, ARefusedSaveIsReportedWithTheServersMessageAndLeavesNothing) {
    ZANDREL_REQUIRE_POSTGRES();
    hosttest::PostgresTestDatabase db;
    TempDir dir;
    const testsupport::HostLauncher host(dir.path(), {"--db", db.uri()});
    ASSERT_EQ(host.run({"--init-demo"}).exitCode, 0);
    db.exec(
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF EXISTS (SELECT 1 FROM refusing) THEN RAISE EXCEPTION 'the archive is being moved'; END IF; "
        "RETURN NEW; END $$; CREATE TABLE refusing (x int); INSERT INTO refusing VALUES (1);"
        "CREATE TRIGGER refuse BEFORE INSERT ON \"CustomRecordDefinition\" FOR EACH ROW EXECUTE FUNCTION "
        "refuse()");
    ProcessResult refused =
        host.run({"--update-url", "", "duplicate", "--template", "Project Intake", "--name", "Kept"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("the archive is being moved"), std::string::npos) << refused.err;
    EXPECT_EQ(db.query("SELECT count(*) FROM \"CustomRecordSetDefinition\" WHERE name = 'Kept'"), "0");

    // In a session too: the dialog says the copy could not be saved, with the server's reason,
    // and keeps nothing of it (never "Success!").
    dir.write("script",
              "menu Plug-ins > Zandrel > Duplicate Form Template...\nselect template \"Project "
              "Intake\"\ntype name \"Kept\"\npress duplicate\nanswer OK\nclose\nquit\n");
    ProcessResult session = host.run({"--update-url", ""}, dir.read("script"));
    EXPECT_EQ(session.exitCode, 0) << session.err;
    EXPECT_NE(session.out.find("the archive is being moved"), std::string::npos) << session.out;
    EXPECT_EQ(session.out.find("Success!"), std::string::npos) << session.out;
    EXPECT_EQ(db.query("SELECT count(*) FROM \"CustomRecordSetDefinition\" WHERE name = 'Kept'"), "0");
    db.exec("DELETE FROM refusing");
    ProcessResult again =
        host.run({"--update-url", "", "duplicate", "--template", "Project Intake", "--name", "Kept"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(db.query("SELECT count(*) FROM \"CustomRecordSetDefinition\" WHERE name = 'Kept'"), "1");
}

}  // namespace
