// zandrel-host processes sharing one database file: at the same time, killed mid-save, or
// held up by another program's lock.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/HostLauncher.h"
#include "tests/support/HostProgramSupport.h"

using testsupport::HostLauncher;
using testsupport::namedTemplate;
using testsupport::ProcessResult;
using testsupport::runProgram;
using testsupport::TempDir;

namespace {

// A program started in the background; finish() waits for it, kill() ends it as a crash would.
class Background {
public:
    explicit Background(const std::vector<std::string>& argv) {
        m_pid = testsupport::startProgram(argv, "/dev/null", m_dir / "stdout", m_dir / "stderr");
    }
    ~Background() {
        if (m_pid > 0) kill();
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    ProcessResult finish() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        ProcessResult result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = read("stdout");
        result.err = read("stderr");
        return result;
    }
    void kill() {
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    std::string read(const char* name) const {
        std::ifstream in(m_dir / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    TempDir m_dir;
    pid_t m_pid = -1;
};

// Waits (on the real clock: another process is being watched) until `done` or the limit.
bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class HostConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = (dir / "shared.sqlite").string();
        ProcessResult created = HostLauncher(dir.path(), {"--db", db}).run({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }

    std::vector<std::string> host(const std::vector<std::string>& args) const {
        return testsupport::hostOn(dir.path(), db).command(args);
    }
    std::vector<std::string> duplicate(const std::string& name) const {
        return host({"duplicate", "--template", "Project Intake", "--name", name});
    }
    void sql(const std::string& statements) const {
        ProcessResult r = runProgram({"/usr/bin/sqlite3", db, statements});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    nlohmann::json templates() const {
        return testsupport::jsonListing(testsupport::hostOn(dir.path(), db), {"templates", "--json"});
    }

    TempDir dir;
    std::string db;
};

TEST_F(HostConcurrencyTest, PairsOfHostsDuplicatingIntoOneFileAtOnceAllSave) {
    constexpr int kPairs = 20;
    for (int pair = 0; pair < kPairs; ++pair) {
        Background first(duplicate("Copy " + std::to_string(pair) + "a"));
        Background second(duplicate("Copy " + std::to_string(pair) + "b"));
        ProcessResult a = first.finish(), b = second.finish();
        EXPECT_EQ(a.exitCode, 0) << "pair " << pair << ": " << a.err;
        EXPECT_EQ(b.exitCode, 0) << "pair " << pair << ": " << b.err;
    }
    nlohmann::json all = templates();
    const nlohmann::json* source = namedTemplate(all, "Project Intake");
    ASSERT_TRUE(source);
    for (int pair = 0; pair < kPairs; ++pair)
        for (const char* side : {"a", "b"}) {
            const std::string name = "Copy " + std::to_string(pair) + side;
            const nlohmann::json* copy = namedTemplate(all, name);
            ASSERT_TRUE(copy) << name << " was lost";
            EXPECT_EQ((*copy)["fields"], (*source)["fields"]) << name;
        }
    EXPECT_EQ(all.size(), 5u + 2 * kPairs);
}

TEST_F(HostConcurrencyTest, AHostKilledMidSaveLeavesNoHalfCopyAndTheNextSaveWorks) {
    // The last field's insert stalls, so the copy's template and first fields are written in
    // the open transaction when the host is killed.
    sql("CREATE TABLE stall_rows (x);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) INSERT INTO "
        "stall_rows SELECT x FROM c;"
        "CREATE TRIGGER stall BEFORE INSERT ON CustomRecordDefinition WHEN NEW.name = 'Sponsor' "
        "BEGIN SELECT count(*) FROM stall_rows a, stall_rows b, stall_rows c; END;");
    const nlohmann::json before = templates();
    const std::string journal = db + "-journal";
    {
        Background saving(duplicate("Half"));
        ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(journal); })) << "the save never started";
        saving.kill();
    }
    EXPECT_EQ(templates(), before) << "a killed save must leave nothing of the copy";
    sql("DROP TRIGGER stall; DROP TABLE stall_rows;");
    ProcessResult check =
        runProgram({"/usr/bin/sqlite3", db, "PRAGMA integrity_check; PRAGMA foreign_key_check;"});
    EXPECT_EQ(check.out, "ok\n");

    ProcessResult again = runProgram(duplicate("Half"));
    ASSERT_EQ(again.exitCode, 0) << again.err;
    nlohmann::json after = templates();
    ASSERT_TRUE(namedTemplate(after, "Half"));
    EXPECT_EQ((*namedTemplate(after, "Half"))["fields"], (*namedTemplate(after, "Project Intake"))["fields"]);
}

TEST_F(HostConcurrencyTest, AFileAnotherProgramKeepsLockedIsReportedBusy) {
    // sqlite3 holds the exclusive lock while it counts for a long time.
    sql("CREATE TABLE stall_rows (x);"
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000) INSERT INTO "
        "stall_rows SELECT x FROM c;");
    const std::string journal = db + "-journal";
    Background locker({"/usr/bin/sqlite3", db,
                       "BEGIN EXCLUSIVE; DELETE FROM Category; SELECT count(*) FROM stall_rows a, stall_rows "
                       "b, stall_rows c;"});
    ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(journal); }));
    ProcessResult r = runProgram(host({"users"}));
    locker.kill();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is busy: another program keeps it locked"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not a zandrel-host database"), std::string::npos) << r.err;
    EXPECT_EQ(runProgram(host({"users"})).exitCode, 0) << "usable again once the other program is gone";
}

// `users` and `templates` only read: an empty file stays empty, a file of ours stays byte for
// byte as it was (even one predating an entity's table).
TEST(HostReadOnlyCommands, NeverWriteTheFile) {
    TempDir dir;
    const HostLauncher host(dir.path());
    dir.write("empty.sqlite", "");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"users"}, {"templates", "--json"}}) {
        std::vector<std::string> argv{"--db", (dir / "empty.sqlite").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessResult r = host.run(argv);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_NE(r.err.find("holds no zandrel-host database (it is empty)"), std::string::npos) << r.err;
        EXPECT_EQ(dir.read("empty.sqlite"), "") << args[0] << " wrote to the file";
    }

    const std::string db = (dir / "demo.sqlite").string();
    ASSERT_EQ(host.run({"--db", db, "--init-demo"}).exitCode, 0);
    ASSERT_EQ(runProgram({"/usr/bin/sqlite3", db, "DROP TABLE Category"}).exitCode, 0);
    const std::string before = dir.read("demo.sqlite");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"users"}, {"templates", "--json"}}) {
        std::vector<std::string> argv{"--db", db};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessResult r = host.run(argv);
        EXPECT_EQ(r.exitCode, 0) << args[0] << ": " << r.err;
        EXPECT_FALSE(r.out.empty());
    }
    EXPECT_EQ(dir.read("demo.sqlite"), before);
}

}  // namespace
