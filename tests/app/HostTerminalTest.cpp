// zandrel-host as a person meets it at a terminal (a pseudo-terminal, real key sequences) and as
// a script drives it through a pipe: editing, history, completion, Ctrl-C/D/L/Z, signals, and
// scripts that stop at their first failed command.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tests/support/HostProgramSupport.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using testsupport::builtProgram;
using testsupport::ProcessResult;
using testsupport::PseudoTerminal;
using testsupport::runProgram;
using testsupport::TempDir;

namespace {

using testsupport::kMainWindow;
constexpr const char* kDialog = "=== \"Duplicate Form Template\" ===";
constexpr const char* kUp = "\x1b[A";
constexpr const char* kLeft = "\x1b[D";

class HostTerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = (dir / "demo.sqlite").string();
        ProcessResult created = runProgram({builtProgram("zandrel-host"), "--db", db, "--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }

    std::unique_ptr<PseudoTerminal> startAtTerminal(unsigned short columns = 100) {
        PseudoTerminal::Options options;
        options.argv = {builtProgram("zandrel-host"), "--db", db, "--update-url", ""};
        options.environment = {{"HOME", dir.path().string()},
                               {"XDG_DATA_HOME", (dir / "data").string()},
                               {"TERM", "xterm"},
                               {"LANG", "C.UTF-8"}};
        options.columns = columns;
        auto terminal = std::make_unique<PseudoTerminal>(options);
        EXPECT_TRUE(terminal->waitForPrompt(kMainWindow)) << terminal->output();
        return terminal;
    }

    ProcessResult piped(const std::string& script) {
        return runProgram({builtProgram("zandrel-host"), "--db", db, "--update-url", ""}, script);
    }

    std::vector<std::string> templateNames() {
        ProcessResult r = runProgram({builtProgram("zandrel-host"), "--db", db, "templates", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::string> names;
        for (const auto& t : nlohmann::json::parse(r.out)) names.push_back(t["name"]);
        std::sort(names.begin(), names.end());
        return names;
    }

    // Opens the dialog and fills it in, up to the Success alert.
    static void duplicateUpToSuccess(PseudoTerminal& t, const std::string& name) {
        t.send("menu Plug-ins > Zandrel > Duplicate\r");
        ASSERT_TRUE(t.waitForPrompt(kDialog)) << t.output();
        t.send("select template 1\r");
        t.send("type name \"" + name + "\"\r");
        t.mark();
        t.send("press duplicate\r");
        ASSERT_TRUE(t.waitFor("Alert: Success!")) << t.output();
        ASSERT_TRUE(t.waitFor("answer> ")) << t.output();
    }

    // Grants a feature in Showcase's editor while another program holds the file's write lock:
    // the grant stays pending and the host's save after the command reports that it failed.
    static void grantWhileTheFileIsLocked(PseudoTerminal& t) {
        t.send("menu Plug-ins > Showcase > Feature Permissions\r");
        ASSERT_TRUE(t.waitForPrompt("users")) << t.output();
        t.send("select features 1\r");
        t.mark();
        t.send("tick users 2\r");
        ASSERT_TRUE(t.waitFor("Alert: The changes could not be saved", std::chrono::seconds(30)))
            << t.output();
        ASSERT_TRUE(t.waitFor("answer> ")) << t.output();
        EXPECT_EQ(t.sinceMark().find("could not be changed"), std::string::npos) << t.sinceMark();
    }
    std::string grants() const {
        ProcessResult r = runProgram({"/usr/bin/sqlite3", db,
                                      "SELECT count(*) FROM GWConnectorMap WHERE foreignEntityType = "
                                      "'FeaturePermission'"});
        return r.out.empty() ? r.err : r.out.substr(0, r.out.find('\n'));
    }

    TempDir dir;
    std::string db;
};

// A connection of another program holding the database's write lock (readers go on).
class WriteLock {
public:
    explicit WriteLock(const std::string& file) {
        EXPECT_EQ(sqlite3_open(file.c_str(), &m_db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~WriteLock() { release(); }
    void release() {
        if (!m_db) return;
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
};

TEST_F(HostTerminalTest, ArrowsAndCtrlKeysEditTheLineAndNeverReachTheName) {
    auto t = startAtTerminal();
    t->send("menu Plug-ins > Zandrel > Duplicate\r");
    ASSERT_TRUE(t->waitForPrompt(kDialog)) << t->output();
    // Ctrl-A to the start, Ctrl-E to the end.
    t->mark();
    t->send("ype name Q\x01t\x05R\r");
    EXPECT_TRUE(t->waitFor("(editing: \"QR\")")) << t->sinceMark();
    // Two left arrows, then X: inserted before "bc", as in any shell.
    t->mark();
    t->send(std::string("type name abc") + kLeft + kLeft + "X\r");
    ASSERT_TRUE(t->waitFor("(editing: \"aXbc\")")) << t->sinceMark();
    t->send("select template 1\r");
    t->mark();
    t->send("press duplicate\r");
    ASSERT_TRUE(t->waitFor("answer> ")) << t->output();
    t->send("\r");  // Enter: the default button
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
    auto names = templateNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "aXbc"), names.end());
    for (const auto& name : names) EXPECT_EQ(name.find('\x1b'), std::string::npos) << name;
}

// Another host stores a copy while this one is open: `show` lists it (the list is read afresh).
TEST_F(HostTerminalTest, ShowListsWhatAnotherHostStoredMeanwhile) {
    auto t = startAtTerminal();
    ASSERT_TRUE(t->waitForPrompt(kMainWindow)) << t->output();
    ProcessResult other =
        runProgram({builtProgram("zandrel-host"), "--db", db, "--update-url", "", "duplicate", "--template",
                    "Quick Notes", "--name", "From another host"});
    ASSERT_EQ(other.exitCode, 0) << other.err;
    t->mark();
    t->send("show\r");
    EXPECT_TRUE(t->waitForPrompt("From another host")) << t->sinceMark();
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
}

TEST_F(HostTerminalTest, CtrlDWithAFailedSavePendingQuitsLikeQuitAndIsRefused) {
    auto t = startAtTerminal();
    WriteLock lock(db);
    grantWhileTheFileIsLocked(*t);
    t->send("\r");
    ASSERT_TRUE(t->waitFor("\n> ")) << t->sinceMark();

    t->mark();
    t->send("\x04");  // Ctrl-D at an empty prompt
    ASSERT_TRUE(t->waitFor("so the host did not quit", std::chrono::seconds(30))) << t->sinceMark();
    EXPECT_TRUE(t->waitFor("Quitting was stopped")) << t->sinceMark();
    ASSERT_TRUE(t->waitFor("answer> ")) << t->sinceMark();
    t->send("\r");
    ASSERT_TRUE(t->waitFor("(not quitting")) << t->sinceMark();
    EXPECT_FALSE(t->waitForExit(std::chrono::milliseconds(300)).has_value()) << "quit although unsaved";

    lock.release();
    t->send("\x04");
    EXPECT_EQ(t->waitForExit(std::chrono::seconds(30)), 0) << t->output();
    EXPECT_EQ(grants(), "1") << "the kept grant is stored at quit";
}

struct FailingScript {
    const char* what;
    const char* script;
    int line;
};

class PipedScriptTest : public HostTerminalTest, public ::testing::WithParamInterface<FailingScript> {};

TEST_P(PipedScriptTest, StopsAtTheFirstFailedCommandNamingItsLine) {
    auto before = templateNames();
    ProcessResult r = piped(GetParam().script);
    EXPECT_EQ(r.exitCode, 4) << r.out << r.err;
    EXPECT_NE(r.err.find("line " + std::to_string(GetParam().line) + ": "), std::string::npos) << r.err;
    // Nothing after the failed line ran: no copy, and no later line was echoed.
    EXPECT_EQ(templateNames(), before);
    EXPECT_EQ(r.out.find("> press duplicate"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "raw escape bytes echoed";
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "raw escape bytes echoed";
}

INSTANTIATE_TEST_SUITE_P(
    Failures, PipedScriptTest,
    ::testing::Values(
        FailingScript{"unknown command", "bogus\n", 1},
        FailingScript{"mistyped template",
                      "menu Plug-ins > Zandrel > Duplicate\nselect template Projct Intkae\ntype name "
                      "X\npress duplicate\n",
                      2},
        FailingScript{"unknown view",
                      "menu Plug-ins > Zandrel > Duplicate\nselect templte 1\npress duplicate\n", 2},
        FailingScript{"unknown menu item", "menu Plug-ins > Zandrel > Duplikate\npress duplicate\n", 1},
        FailingScript{"usage", "menu Plug-ins > Zandrel > Duplicate\nselect template\npress duplicate\n", 2},
        FailingScript{
            "unclosed quote",
            "menu Plug-ins > Zandrel > Duplicate\nselect template 1\ntype name \"Open\npress duplicate\n", 3},
        FailingScript{
            "escape bytes typed",
            "menu Plug-ins > Zandrel > Duplicate\nselect template 1\ntype name abc\x1b[DX\npress duplicate\n",
            3},
        FailingScript{"answer without an alert",
                      "answer OK\nmenu Plug-ins > Zandrel > Duplicate\nselect template 1\ntype name Y\npress "
                      "duplicate\n",
                      1},
        FailingScript{"not a button",
                      "menu Plug-ins > Zandrel > Duplicate\nselect template 1\ntype name Z\npress "
                      "template\npress duplicate\n",
                      4}),
    [](const auto& test) {
        std::string name = test.param.what;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST_F(HostTerminalTest, APipedScriptWithoutMistakesStillExitsZeroAndSaves) {
    ProcessResult r = piped(
        "menu Plug-ins > Zandrel > Duplicate\nselect template 1\ntype name \"Scripted\"\npress "
        "duplicate\nanswer Thanks!\nquit\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    auto names = templateNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Scripted"), names.end());
}

TEST_F(HostTerminalTest, AnEscapedErrorShowsTheEscapeInsteadOfSendingIt) {
    ProcessResult r = piped("menu Plug-ins > Zandrel > Duplicate\ntype name abc\x1b[DX\n");
    EXPECT_EQ(r.exitCode, 4);
    EXPECT_NE(r.out.find("abc\\x1b[DX"), std::string::npos) << r.out;
}

class SignalWhileSuccessShows : public HostTerminalTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalWhileSuccessShows, SavesTheCopyAndQuitsNormally) {
    auto t = startAtTerminal();
    duplicateUpToSuccess(*t, "Signalled copy");
    t->signal(GetParam());
    EXPECT_TRUE(t->waitFor("(terminated by signal: saving and quitting)")) << t->output();
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
    auto names = templateNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Signalled copy"), names.end());
}

INSTANTIATE_TEST_SUITE_P(TermAndHup, SignalWhileSuccessShows, ::testing::Values(SIGTERM, SIGHUP));

TEST_F(HostTerminalTest, ASecondSigtermWhileTheSaveWaitsEndsAtOnceSayingWhatIsLost) {
    auto t = startAtTerminal();
    WriteLock lock(db);  // the save at quit waits for it too
    grantWhileTheFileIsLocked(*t);
    t->signal(SIGTERM);
    ASSERT_TRUE(t->waitFor("(terminated by signal: saving and quitting)")) << t->output();
    t->signal(SIGTERM);
    EXPECT_EQ(t->waitForExit(std::chrono::seconds(3)), 1) << t->output();
    EXPECT_NE(t->output().find("stopped at once by a second signal"), std::string::npos) << t->output();
    lock.release();
    EXPECT_EQ(grants(), "0");
}

TEST_F(HostTerminalTest, CtrlCDropsTheLineThenCancelsTheDialogThenQuitsOnTheSecondAtAnEmptyPrompt) {
    auto t = startAtTerminal();
    t->send("menu Plug-ins > Zandrel > Duplicate\r");
    ASSERT_TRUE(t->waitForPrompt(kDialog)) << t->output();
    t->mark();
    t->send("type name dropped");
    ASSERT_TRUE(t->waitFor("dropped")) << t->sinceMark();  // on the screen: the editor has it
    t->mark();
    t->send("\x03");
    ASSERT_TRUE(t->waitFor("> ")) << t->sinceMark();  // a fresh prompt: what is typed now is kept
    t->send("show\r");
    ASSERT_TRUE(t->waitFor("#4 name")) << t->sinceMark();
    EXPECT_EQ(t->sinceMark().find("dropped\""), std::string::npos) << t->sinceMark();

    t->mark();
    t->send("\x03");  // the open dialog, as its Cancel button would
    EXPECT_TRUE(t->waitFor("(Ctrl-C: pressing \"Cancel\")")) << t->sinceMark();
    EXPECT_TRUE(t->waitFor(kMainWindow)) << t->sinceMark();

    t->mark();
    t->send("\x03");
    EXPECT_TRUE(t->waitFor("Ctrl-C again at an empty prompt quits")) << t->sinceMark();
    EXPECT_FALSE(t->waitForExit(std::chrono::milliseconds(200)).has_value());
    t->send("\x03");
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
}

TEST_F(HostTerminalTest, CtrlCAnswersAnAlertWithItsOnlyButton) {
    auto t = startAtTerminal();
    duplicateUpToSuccess(*t, "Interrupted copy");
    t->mark();
    t->send("\x03");
    EXPECT_TRUE(t->waitFor("(Ctrl-C: answering \"Thanks!\")")) << t->sinceMark();
    EXPECT_TRUE(t->waitFor(kMainWindow)) << t->sinceMark();
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
}

TEST_F(HostTerminalTest, HistoryIsKeptAcrossRunsAndRecalledWithUp) {
    {
        auto first = startAtTerminal();
        first->send("windows\r");
        ASSERT_TRUE(first->waitFor("Windows, front to back")) << first->output();
        first->send("help\r");
        ASSERT_TRUE(first->waitFor("Commands (a <view>")) << first->output();
        first->send("\x04");
        ASSERT_EQ(first->waitForExit(), 0) << first->output();
    }
    ASSERT_TRUE(std::filesystem::exists(dir / "data" / "zandrel" / "history"));
    auto second = startAtTerminal();
    second->mark();
    second->send(std::string(kUp) + kUp + "\r");  // the one before the last: windows
    EXPECT_TRUE(second->waitFor("Windows, front to back")) << second->sinceMark();
    EXPECT_EQ(second->sinceMark().find("Commands (a <view>"), std::string::npos);
    second->send("quit\r");
    EXPECT_EQ(second->waitForExit(), 0);
}

TEST_F(HostTerminalTest, TabCompletesCommandsAndMenuTitles) {
    auto t = startAtTerminal();
    t->mark();
    t->send("wind\t\r");
    EXPECT_TRUE(t->waitFor("Windows, front to back")) << t->sinceMark();
    t->mark();
    t->send("menu Plu\tZan\tDup\t\r");
    EXPECT_TRUE(t->waitForPrompt(kDialog)) << t->sinceMark();
    t->mark();
    t->send("select te\t1\r");
    t->send("show\r");
    EXPECT_TRUE(t->waitFor("*1. Customer Profile")) << t->sinceMark();
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
}

TEST_F(HostTerminalTest, CtrlLRedrawsAndAfterASuspendThePromptComesBackWithTheLine) {
    auto t = startAtTerminal();
    t->mark();
    t->send("\x0c");
    EXPECT_TRUE(t->waitFor("\x1b[2J")) << t->sinceMark();
    EXPECT_TRUE(t->waitForPrompt(kMainWindow)) << t->sinceMark();

    t->send("wind");
    ASSERT_TRUE(t->waitFor("wind")) << t->sinceMark();
    t->mark();
    t->send("\x1a");  // Ctrl-Z: the line steps aside, the terminal is put back, the host stops
    ASSERT_TRUE(t->waitFor("\x1b[K")) << t->sinceMark();
    t->mark();
    t->signal(SIGCONT);  // fg
    EXPECT_TRUE(t->waitFor("wind")) << t->sinceMark();
    t->mark();
    t->send("ows\r");
    EXPECT_TRUE(t->waitFor("Windows, front to back")) << t->sinceMark();
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
}

TEST_F(HostTerminalTest, AResizedTerminalIsDrawnToItsNewWidth) {
    auto t = startAtTerminal(120);
    t->mark();
    t->resize(40, 30);
    ASSERT_TRUE(t->waitFor(kMainWindow)) << t->sinceMark();
    ASSERT_TRUE(t->waitFor("Quick Notes")) << t->sinceMark();
    std::string drawn = t->sinceMark();
    size_t start = drawn.find(kMainWindow);
    std::string window = drawn.substr(start, drawn.find("\n> ", start) - start);
    size_t from = 0;
    while (from < window.size()) {
        size_t end = window.find('\n', from);
        std::string line = window.substr(from, end == std::string::npos ? std::string::npos : end - from);
        size_t columns = 0;
        for (unsigned char c : line) columns += (c & 0xc0) != 0x80;
        EXPECT_LE(columns, 40u) << line;
        if (end == std::string::npos) break;
        from = end + 1;
    }
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0);
}

TEST_F(HostTerminalTest, AMistypedCommandAtTheTerminalIsReportedAndTheSessionGoesOn) {
    auto t = startAtTerminal();
    t->mark();
    t->send("windoes\r");
    EXPECT_TRUE(t->waitFor("Unknown command \"windoes\"")) << t->sinceMark();
    t->send("windows\r");
    EXPECT_TRUE(t->waitFor("Windows, front to back")) << t->sinceMark();
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0);
}

}  // namespace

// Keys typed while a command still runs are kept as typed: an end of input typed ahead quits,
// arrows typed ahead edit the next line instead of being echoed or stored.
TEST_F(HostTerminalTest, KeysTypedAheadOfThePromptAreKeptAsTyped) {
    {
        auto t = startAtTerminal();
        t->send("help\r\x04");
        EXPECT_EQ(t->waitForExit(), 0) << t->output();
    }
    auto t = startAtTerminal();
    t->send(std::string("help\rwindws") + kLeft + kLeft + "o\r");
    EXPECT_TRUE(t->waitFor("Windows, front to back")) << t->output();
    t->send("quit\r");
    EXPECT_EQ(t->waitForExit(), 0) << t->output();
}
