// zandrel-host as a person or a script uses it: the real program, the real plug-in bundle and a
// real database file.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

using testsupport::builtProgram;
using testsupport::ProcessResult;
using testsupport::runProgram;
using testsupport::TempDir;

namespace {

class HostCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = (dir / "demo.sqlite").string();
        ProcessResult created = host({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
    }

    ProcessResult host(std::vector<std::string> args, const std::string& input = "") {
        std::vector<std::string> argv{builtProgram("zandrel-host"), "--db", db};
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv, input);
    }

    nlohmann::json templates() {
        ProcessResult r = host({"templates", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return nlohmann::json::parse(r.out);
    }

    static const nlohmann::json* named(const nlohmann::json& all, const std::string& name) {
        for (const auto& t : all)
            if (t["name"] == name) return &t;
        return nullptr;
    }

    TempDir dir;
    std::string db;
};

TEST_F(HostCliTest, UsersListsSignInNameFirstOneALine) {
    ProcessResult r = host({"users"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "ada\tAda Lovelace");
    EXPECT_NE(r.out.find("alan\tAlan Turing\t(inactive)\n"), std::string::npos) << r.out;
}

TEST_F(HostCliTest, DuplicateCopiesTheTemplateWithEveryFieldAndSavesIt) {
    nlohmann::json before = templates();
    ProcessResult r = host({"duplicate", "--template", "Project Intake", "--name", "Project Intake 2026"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    nlohmann::json after = templates();  // a new process: read back from the file
    ASSERT_EQ(after.size(), before.size() + 1);
    const nlohmann::json* source = named(after, "Project Intake");
    const nlohmann::json* copy = named(after, "Project Intake 2026");
    ASSERT_TRUE(source && copy);
    EXPECT_EQ(*source, *named(before, "Project Intake")) << "the source must be unchanged";
    for (const char* key : {"active", "details", "forContact", "forGroup", "forOpportunity",
                            "forOrganization", "forProject", "fields"})
        EXPECT_EQ((*copy)[key], (*source)[key]) << key;
    EXPECT_FALSE((*copy)["fields"].empty());
}

TEST_F(HostCliTest, RefusedDuplicatesCreateNothing) {
    struct Case {
        std::string templateName, newName;
        int exitCode;
        std::string expectedOutput;  // on stdout (3) or stderr (2)
    };
    const Case cases[] = {
        {"Customer Profile", "Project Intake", 3,
         "Name already in use\nAn existing form template has been detected with the same name.\n"},
        {"Customer Profile", "", 2, "--name is empty"},
        {"No Such Template", "Copy", 2, "no active form template is named \"No Such Template\""},
        {"Legacy Survey 2019", "Copy", 2, "no active form template is named \"Legacy Survey 2019\""},
    };
    nlohmann::json before = templates();
    for (const auto& c : cases) {
        ProcessResult r = host({"duplicate", "--template", c.templateName, "--name", c.newName});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.templateName << " -> " << c.newName << ": " << r.err;
        const std::string& text = c.exitCode == 3 ? r.out : r.err;
        EXPECT_NE(text.find(c.expectedOutput), std::string::npos) << text;
    }
    EXPECT_EQ(templates(), before);
}

TEST_F(HostCliTest, NamesDifferingOnlyInCaseOrOfInactiveTemplatesAreAccepted) {
    for (const char* name : {"project intake", "Legacy Survey 2019", " Project Intake"}) {
        ProcessResult r = host({"duplicate", "--template", "Quick Notes", "--name", name});
        EXPECT_EQ(r.exitCode, 0) << name << ": " << r.err;
        nlohmann::json all = templates();  // in key order: the copy is the newest
        EXPECT_EQ(all.back()["name"], name);
        EXPECT_TRUE(all.back()["fields"].empty());
        EXPECT_EQ(all.back()["details"], (*named(all, "Quick Notes"))["details"]);
    }
}

TEST_F(HostCliTest, PipedTerminalSessionDuplicatesAndSavesBeforeQuitting) {
    ProcessResult r = host({},
                           "menu 3.1.1\n"
                           "select template \"Event Registration\"\n"
                           "type name \"Gala 2027\"\n"
                           "press duplicate\n"
                           "answer Thanks!\n"
                           "quit\n");
    ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("Alert: Success!"), std::string::npos) << r.out;
    nlohmann::json all = templates();
    const nlohmann::json* copy = named(all, "Gala 2027");
    ASSERT_TRUE(copy);
    EXPECT_EQ((*copy)["fields"], (*named(all, "Event Registration"))["fields"]);
}

TEST_F(HostCliTest, EndOfInputWhileTheDialogIsOpenLosesNothingAlreadyDone) {
    // The first copy is made, then the input ends with a second dialog still open.
    ProcessResult r =
        host({},
             "menu 3.1.1\nselect template 1\ntype name \"First copy\"\npress duplicate\nanswer 1\n"
             "menu 3.1.1\ntype name \"Never pressed\"\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto all = templates();
    EXPECT_TRUE(named(all, "First copy"));
    EXPECT_FALSE(named(all, "Never pressed"));
}

TEST(HostCliFiles, ForeignAndExistingFilesAreRefusedWithAClearMessage) {
    TempDir dir;
    dir.write("notes.txt", "just some text, not a database\n");
    ProcessResult foreign =
        runProgram({builtProgram("zandrel-host"), "--db", (dir / "notes.txt").string(), "users"});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_NE(foreign.err.find("notes.txt"), std::string::npos) << foreign.err;
    EXPECT_EQ(dir.read("notes.txt"), "just some text, not a database\n");

    std::string db = (dir / "demo.sqlite").string();
    ASSERT_EQ(runProgram({builtProgram("zandrel-host"), "--db", db, "--init-demo"}).exitCode, 0);
    ProcessResult again = runProgram({builtProgram("zandrel-host"), "--db", db, "--init-demo"});
    EXPECT_NE(again.exitCode, 0);
    EXPECT_FALSE(again.err.empty());
}

TEST(HostCliHelp, EveryCommandExplainsItself) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                          {"duplicate", "--help"},
                                          {"templates", "--help"},
                                          {"users", "--help"}}) {
        args.insert(args.begin(), builtProgram("zandrel-host"));
        ProcessResult r = runProgram(args);
        EXPECT_EQ(r.exitCode, 0) << args[1];
        EXPECT_NE(r.out.find("Usage"), std::string::npos) << r.out;
    }
}

}  // namespace

namespace {

// Makes every save of a new template fail, the way a locked-down or damaged file would.
void freezeTemplates(const std::string& db) {
    ProcessResult r = runProgram({"/usr/bin/sqlite3", db,
                                  "CREATE TRIGGER frozen BEFORE INSERT ON \"CustomRecordSetDefinition\" "
                                  "BEGIN SELECT RAISE(ABORT, 'form templates are frozen'); END;"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(HostCliTest, AFailedSaveIsReportedNotCrashedAndNothingIsHalfWritten) {
    freezeTemplates(db);
    nlohmann::json before = templates();
    ProcessResult r = host({"duplicate", "--template", "Project Intake", "--name", "Frozen copy"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("form templates are frozen"), std::string::npos) << r.err;
    EXPECT_EQ(templates(), before);
}

TEST_F(HostCliTest, PipedSessionWithAFailingSaveExitsOneWithoutAnAlertPerCommand) {
    freezeTemplates(db);
    ProcessResult r =
        host({},
             "menu 3.1.1\nselect template 1\ntype name \"Frozen\"\npress duplicate\nanswer Thanks!\n"
             "answer OK\nshow\nshow\nquit\nanswer OK\n");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("quit with unsaved changes: the last save failed"), std::string::npos) << r.err;
    // One alert for the failed save after the command and one for the save at quit; the
    // commands in between, which changed nothing, do not try (and alert) again.
    size_t alerts = 0;
    for (size_t at = 0; (at = r.out.find("Alert: The changes could not be saved", at)) != std::string::npos;
         ++at)
        ++alerts;
    EXPECT_EQ(alerts, 2u) << r.out;
}

TEST(HostCliFiles, AMissingDatabaseFileIsNotCreatedByAccident) {
    TempDir dir;
    std::string typo = (dir / "tyop.sqlite").string();
    for (std::vector<std::string> args : {std::vector<std::string>{"users"}, {"templates", "--json"}, {}}) {
        std::vector<std::string> argv{builtProgram("zandrel-host"), "--db", typo};
        argv.insert(argv.end(), args.begin(), args.end());
        ProcessResult r = runProgram(argv);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("no database file"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(typo));
    }
}

}  // namespace

namespace {

TEST(ToolCommandLine, MistakesExitWithTheOneUsageStatusAndNameTheCommands) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"bogus"}, {"urlencode"}, {"xml2json", "--no-such"}}) {
        args.insert(args.begin(), builtProgram("zandrel-tool"));
        ProcessResult r = runProgram(args);
        EXPECT_EQ(r.exitCode, 64) << args[1] << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    ProcessResult unknown = runProgram({builtProgram("zandrel-tool"), "bogus"});
    EXPECT_NE(unknown.err.find("unknown command 'bogus' (commands: ftp-put, json2xml, urlencode, xml2json)"),
              std::string::npos)
        << unknown.err;
}

}  // namespace
