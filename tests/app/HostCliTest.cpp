// zandrel-host as a person or a script uses it: the real program, the real plug-in bundle and a
// real database file.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "tests/support/HostLauncher.h"
#include "tests/support/HostProgramSupport.h"

using testsupport::HostLauncher;
using testsupport::namedTemplate;
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

    ProcessResult host(const std::vector<std::string>& args, const std::string& input = "") {
        return testsupport::hostOn(dir.path(), db).run(args, input);
    }

    nlohmann::json templates() {
        return testsupport::jsonListing(testsupport::hostOn(dir.path(), db), {"templates", "--json"});
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
    const nlohmann::json* source = namedTemplate(after, "Project Intake");
    const nlohmann::json* copy = namedTemplate(after, "Project Intake 2026");
    ASSERT_TRUE(source && copy);
    EXPECT_EQ(*source, *namedTemplate(before, "Project Intake")) << "the source must be unchanged";
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
        EXPECT_EQ(all.back()["details"], (*namedTemplate(all, "Quick Notes"))["details"]);
    }
}

TEST_F(HostCliTest, PipedTerminalSessionDuplicatesAndSavesBeforeQuitting) {
    ProcessResult r = host({},
                           "menu Plug-ins > Zandrel > Duplicate\n"
                           "select template \"Event Registration\"\n"
                           "type name \"Gala 2027\"\n"
                           "press duplicate\n"
                           "answer Thanks!\n"
                           "quit\n");
    ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("Alert: Success!"), std::string::npos) << r.out;
    nlohmann::json all = templates();
    const nlohmann::json* copy = namedTemplate(all, "Gala 2027");
    ASSERT_TRUE(copy);
    EXPECT_EQ((*copy)["fields"], (*namedTemplate(all, "Event Registration"))["fields"]);
}

TEST_F(HostCliTest, EndOfInputWhileTheDialogIsOpenLosesNothingAlreadyDone) {
    // The first copy is made, then the input ends with a second dialog still open.
    ProcessResult r = host({},
                           "menu Plug-ins > Zandrel > Duplicate\nselect template 1\ntype name \"First "
                           "copy\"\npress duplicate\nanswer 1\n"
                           "menu Plug-ins > Zandrel > Duplicate\ntype name \"Never pressed\"\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto all = templates();
    EXPECT_TRUE(namedTemplate(all, "First copy"));
    EXPECT_FALSE(namedTemplate(all, "Never pressed"));
}

TEST(HostCliFiles, ForeignAndExistingFilesAreRefusedWithAClearMessage) {
    TempDir dir;
    const HostLauncher host(dir.path());
    dir.write("notes.txt", "just some text, not a database\n");
    ProcessResult foreign = host.run({"--db", (dir / "notes.txt").string(), "users"});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_NE(foreign.err.find("notes.txt"), std::string::npos) << foreign.err;
    EXPECT_EQ(dir.read("notes.txt"), "just some text, not a database\n");

    std::string db = (dir / "demo.sqlite").string();
    ASSERT_EQ(host.run({"--db", db, "--init-demo"}).exitCode, 0);
    ProcessResult again = host.run({"--db", db, "--init-demo"});
    EXPECT_NE(again.exitCode, 0);
    EXPECT_FALSE(again.err.empty());
}

TEST_F(HostCliTest, CommandLineMistakesExitSixtyFourNamingTheMistakeAndTheNearestWord) {
    struct Case {
        std::vector<std::string> args;
        std::string message;  // the whole of standard error
    };
    const Case cases[] = {
        {{"templtes"},
         "zandrel-host: unknown subcommand 'templtes'; did you mean `templates`? (subcommands: "
         "duplicate, templates, connector-maps, users, init, check-updates); see zandrel-host --help\n"},
        {{"Users"},
         "zandrel-host: unknown subcommand 'Users'; did you mean `users`? (subcommands: duplicate, "
         "templates, connector-maps, users, init, check-updates); see zandrel-host --help\n"},
        {{"frobnicate"},
         "zandrel-host: unknown subcommand 'frobnicate' (subcommands: duplicate, templates, "
         "connector-maps, users, init, check-updates); see zandrel-host --help\n"},
        {{"--bogus"}, "zandrel-host: unknown option --bogus; see zandrel-host --help\n"},
        {{"--usr", "ada"},
         "zandrel-host: unknown option --usr (did you mean `--user`?); see zandrel-host --help\n"},
        {{"--json"},
         "zandrel-host: option --json belongs to templates: put it after it, zandrel-host templates "
         "--json\n"},
        {{"users", "extra"},
         "zandrel-host users: unexpected argument 'extra'; see zandrel-host users --help\n"},
        {{"templates", "--jsn"},
         "zandrel-host templates: unknown option --jsn (did you mean `--json`?); see zandrel-host templates "
         "--help\n"},
        {{"duplicate", "--template", "Quick Notes"},
         "zandrel-host duplicate: --name is required; see zandrel-host duplicate --help\n"},
        {{"duplicate", "--tempalte", "Quick Notes", "--name", "x"},
         "zandrel-host duplicate: unknown option --tempalte (did you mean `--template`?); see zandrel-host "
         "duplicate --help\n"},
        {{"duplicate", "--name"},
         "zandrel-host duplicate: option --name needs a value; see zandrel-host duplicate --help\n"},
        {{"--db"}, "zandrel-host: option --db needs a value; see zandrel-host --help\n"},
    };
    nlohmann::json before = templates();
    for (const auto& c : cases) {
        ProcessResult r = host(c.args);
        EXPECT_EQ(r.exitCode, 64) << c.args.front() << ": " << r.err;
        EXPECT_EQ(r.err, c.message) << c.args.front();
        EXPECT_EQ(r.out, "") << c.args.front();
    }
    EXPECT_EQ(templates(), before);
}

TEST_F(HostCliTest, HostileCommandLinesAreEchoedEscapedAndCut) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{std::string(100000, 't')},
                                                 {"--" + std::string(100000, 'u')},
                                                 {"temp\x1b[2J\x1b]0;title\x07lates"},
                                                 {"users", "\r\x1b[Kforged"},
                                                 {"\xC3\x28\xFF"}}) {
        ProcessResult r = host(args);
        EXPECT_EQ(r.exitCode, 64);
        EXPECT_LT(r.err.size(), 400u) << r.err.substr(0, 100);
        for (size_t i = 0; i + 1 < r.err.size(); ++i) {
            const auto byte = static_cast<unsigned char>(r.err[i]);
            EXPECT_FALSE(byte < 0x20 || byte == 0x7F || byte == 0xFF) << r.err;
        }
    }
    EXPECT_NE(host({"temp\x1b[2Jlates"}).err.find("'temp\\x1b[2Jlates'"), std::string::npos);
}

TEST_F(HostCliTest, TemplatesWithoutJsonIsATableThatAgreesWithTheJson) {
    ProcessResult r = host({"templates"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(r.out.substr(at, end - at));
    ASSERT_FALSE(lines.empty());
    const size_t column = lines[0].find("ACTIVE");
    ASSERT_TRUE(lines[0].starts_with("NAME") && column != std::string::npos) << r.out;

    const char* kinds[] = {"text", "number", "date", "pop-up", "checkbox", "multi-line text"};
    size_t line = 1;
    for (const auto& form : templates()) {
        ASSERT_LT(line, lines.size());
        const std::string name = form["name"];
        EXPECT_TRUE(lines[line].starts_with(name + "  ")) << lines[line];
        EXPECT_EQ(lines[line].substr(column),
                  fmt::format("{:<6}  {}", form["active"].get<bool>() ? "yes" : "no", form["fields"].size()));
        ++line;
        for (const auto& field : form["fields"]) {
            ASSERT_LT(line, lines.size());
            EXPECT_TRUE(lines[line].starts_with("    " + field["name"].get<std::string>() + "  "))
                << lines[line];
            std::string kind = kinds[field["typeCode"].get<int>()];
            if (!field["active"].get<bool>()) kind += " (inactive)";
            EXPECT_EQ(lines[line].substr(column), kind);
            ++line;
        }
    }
    EXPECT_EQ(line, lines.size()) << r.out;
}

TEST_F(HostCliTest, PipedTableKeepsLongNamesWholeAndShowsControlCharactersEscaped) {
    const std::string longName =
        "A form template with a name far longer than any terminal is wide " + std::string(200, 'z');
    ASSERT_EQ(host({"duplicate", "--template", "Quick Notes", "--name", longName}).exitCode, 0);
    // Nobody can type control characters into a name any more; an older file may hold them.
    EXPECT_EQ(host({"duplicate", "--template", "Quick Notes", "--name", "Bell\x07 and \x1b[31mred"}).exitCode,
              2);
    ASSERT_EQ(host({"duplicate", "--template", "Quick Notes", "--name", "Bell placeholder"}).exitCode, 0);
    ProcessResult renamed = runProgram(
        {"/usr/bin/sqlite3", db,
         "UPDATE \"CustomRecordSetDefinition\" SET name = 'Bell' || char(7) || ' and ' || char(27) || "
         "'[31mred' WHERE name = 'Bell placeholder'"});
    ASSERT_EQ(renamed.exitCode, 0) << renamed.err;
    for (const char* columns : {"", "40"}) {
        setenv("COLUMNS", columns, 1);  // a pipe is no terminal, whatever COLUMNS says
        ProcessResult r = host({"templates"});
        unsetenv("COLUMNS");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(longName + "  yes"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Bell\\x07 and \\x1b[31mred"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
        EXPECT_EQ(r.out.find("…"), std::string::npos);
    }
    // The JSON keeps the name exactly as stored.
    EXPECT_TRUE(namedTemplate(templates(), "Bell\x07 and \x1b[31mred"));
}

TEST(HostCliHelp, TheExitStatusOfMistakesIsDocumented) {
    const HostLauncher host;
    ProcessResult r = host.run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("64 the command line is wrong"), std::string::npos) << r.out;
    ProcessResult t = host.run({"templates", "--help"});
    EXPECT_NE(t.out.find("piped or redirected, nothing is cut"), std::string::npos) << t.out;
}

TEST(HostCliHelp, EveryCommandExplainsItself) {
    const HostLauncher host;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"duplicate", "--help"},
                                                 {"templates", "--help"},
                                                 {"users", "--help"}}) {
        ProcessResult r = host.run(args);
        EXPECT_EQ(r.exitCode, 0) << args[0];
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

TEST_F(HostCliTest, ADuplicateWhoseSaveFailsSaysSoAndKeepsNothing) {
    freezeTemplates(db);
    nlohmann::json before = templates();
    ProcessResult r = host({},
                           "menu Plug-ins > Zandrel > Duplicate\nselect template 1\ntype name "
                           "\"Frozen\"\npress duplicate\nanswer OK\nclose\nquit\n");
    EXPECT_EQ(r.exitCode, 0) << r.err << r.out;
    EXPECT_NE(r.out.find("could not be duplicated: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frozen"), std::string::npos) << "the database's reason: " << r.out;
    EXPECT_EQ(r.out.find("Success!"), std::string::npos) << "never claimed: " << r.out;
    EXPECT_EQ(templates(), before);
}

TEST_F(HostCliTest, PipedSessionWithAFailingSaveExitsOneWithoutAnAlertPerCommand) {
    // A feature grant stays pending for the host's save after the command, which fails.
    ProcessResult frozen = runProgram({"/usr/bin/sqlite3", db,
                                       "CREATE TRIGGER frozen BEFORE INSERT ON \"GWConnectorMap\" "
                                       "BEGIN SELECT RAISE(ABORT, 'grants are frozen'); END;"});
    ASSERT_EQ(frozen.exitCode, 0) << frozen.err;
    ProcessResult r = host({},
                           "menu Plug-ins > Showcase > Feature Permissions\nselect features 1\ntick users 2\n"
                           "answer OK\nshow\nshow\nquit\nanswer OK\n");
    EXPECT_EQ(r.out.find("could not be changed"), std::string::npos)
        << "the grant is kept, as the host's alert says: " << r.out;
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
    const HostLauncher host(dir.path(), {"--db", (dir / "tyop.sqlite").string()});
    std::string typo = (dir / "tyop.sqlite").string();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"users"}, {"templates", "--json"}, {}}) {
        ProcessResult r = host.run(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("no database file"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(typo));
    }
}

}  // namespace

namespace {

TEST(ToolCommandLine, MistakesExitWithTheOneUsageStatusAndNameTheCommands) {
    const HostLauncher tool = HostLauncher::tool();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"bogus"}, {"json2xml", "a", "b"}, {"xml2json", "--no-such"}}) {
        ProcessResult r = tool.run(args);
        EXPECT_EQ(r.exitCode, 64) << args[0] << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    ProcessResult unknown = tool.run({"bogus"});
    EXPECT_NE(
        unknown.err.find(
            "unknown command 'bogus' (commands: ftp-put, json2xml, layout-solve, new-plugin, urlencode, "
            "version-compare, xml2json)"),
        std::string::npos)
        << unknown.err;
}

}  // namespace
