// One script, two front ends: zandrel-host reading it at its terminal (piped) and playing it on
// the desktop (--gui --script) says the same messages, stops at the same line for the same
// reason and leaves the same rows in the database. Only the drawings differ: the terminal draws
// its text screen, the desktop reads its widgets back.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::builtProgram;
using testsupport::ProcessResult;
using testsupport::runProgram;

bool startsWith(const std::string& line, const char* prefix) {
    return line.rfind(prefix, 0) == 0;
}

// The output without its drawings: a drawing runs from its first line (a window, an alert, no
// window) to the next echoed command or note in parentheses.
std::vector<std::string> messages(const std::string& out) {
    std::vector<std::string> said;
    std::istringstream in(out);
    bool drawing = false;
    for (std::string line; std::getline(in, line);) {
        if (startsWith(line, "> ") || startsWith(line, "(")) drawing = false;
        for (const char* header :
             {"=== ", "+-- Alert: ", "+-- Information: ", "window \"", "alert \"", "(no window"})
            drawing |= startsWith(line, header);
        if (!drawing) said.push_back(line);
    }
    return said;
}

// What went to the error output, without what GTK itself says there.
std::vector<std::string> errors(const std::string& err) {
    std::vector<std::string> said;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (startsWith(line, "line ")) said.push_back(line);
    return said;
}

class CrossFrontEndScriptTest : public ::testing::Test {
protected:
    // The same file name in its own folder: the main window's title names it.
    fs::path newDatabase(const std::string& folder) {
        fs::create_directories(dir / folder);
        fs::path db = dir / folder / "demo.sqlite";
        ProcessResult r = runProgram({builtProgram("zandrel-host"), "--db", db.string(), "--init-demo"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return db;
    }
    ProcessResult atTerminal(const fs::path& db, const std::string& script) {
        return runProgram({builtProgram("zandrel-host"), "--db", db.string(), "--update-url", ""}, script);
    }
    ProcessResult onDesktop(const fs::path& db, const std::string& script) {
        dir.write("script.txt", script);
        return runProgram({builtProgram("zandrel-host"), "--db", db.string(), "--update-url", "", "--gui",
                           "--script", (dir / "script.txt").string()});
    }
    // Every row of every table, as SQL text.
    static std::string rows(const fs::path& db) {
        ProcessResult r = runProgram({"/usr/bin/sqlite3", db.string(), ".dump"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }

    testsupport::TempDir dir;
};

TEST_F(CrossFrontEndScriptTest, EveryCommandSaysTheSameAndSavesTheSameOnBoth) {
    struct Case {
        std::string script;
        int exitCode;
        std::vector<std::string> said;  // among the messages, in this order
    };
    const std::string everything =
        "show templates 1-2\n"
        "next\n"
        "prev\n"
        "select templates 2\n"
        "menu context\n"
        "menu context > Template Note...\n"
        "type note \"Checked twice\"\n"
        "press save\n"
        "menu 3.1.1\n"
        "select features 2\n"
        "tick users 2\n"
        "show\n"
        "close\n"
        "menu Plug-ins > Zandrel > Duplicate Form Template...\n"
        "select template \"Project Intake\"\n"
        "select template 4\n"
        "type name \"Quick Notes 2\"\n"
        "press Duplicate\n"
        "show\n"
        "answer Thanks!\n"
        "windows\n"
        "help\n"
        "menu\n"
        "quit\n";
    const std::vector<Case> cases{
        {everything,
         0,
         {"Contextual menu of row 2 of \"templates\" (Event Registration):", "Windows, front to back:",
          "Commands (a <view> is its identifier", "Menu bar:", "(quitting)"}},
        // The messages of failures: each stops the script at its line, on both.
        {"show templates 1-2\nnext\nnext\nnext\n", 4, {"That is the last page of the table."}},
        {"menu context\n", 4, {"No contextual menu in"}},
        {"frobnicate\n", 4, {"Unknown command \"frobnicate\""}},
        {"menu Plug-ins > Zandrel > Duplicate Form Template...\nselect template 9\n",
         4,
         {"Give a title or a number"}},
        {"menu Plug-ins > Zandrel > Duplicate Form Template...\nanswer 1\n", 4, {"No alert is waiting"}},
        {"menu Plug-ins > Zandrel > Duplicate Form Template...\ntype name \"Unsaved\"\n",
         0,
         {"(end of input)"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        ++n;
        fs::path terminalDb = newDatabase("terminal" + std::to_string(n));
        fs::path desktopDb = newDatabase("desktop" + std::to_string(n));
        const std::string fresh = rows(terminalDb);
        ProcessResult terminal = atTerminal(terminalDb, c.script);
        ProcessResult desktop = onDesktop(desktopDb, c.script);
        EXPECT_EQ(terminal.exitCode, c.exitCode) << terminal.out << terminal.err;
        EXPECT_EQ(desktop.exitCode, c.exitCode) << desktop.out << desktop.err;

        std::vector<std::string> saidAtTerminal = messages(terminal.out);
        EXPECT_EQ(saidAtTerminal, messages(desktop.out)) << "terminal:\n"
                                                         << terminal.out << "desktop:\n"
                                                         << desktop.out;
        EXPECT_EQ(errors(terminal.err), errors(desktop.err)) << terminal.err << desktop.err;
        EXPECT_EQ(errors(terminal.err).empty(), c.exitCode == 0) << terminal.err;
        // The comparison is of something: every line was run and answered in words.
        size_t at = 0;
        for (const std::string& expected : c.said) {
            auto found = std::find_if(
                saidAtTerminal.begin() + static_cast<std::ptrdiff_t>(at), saidAtTerminal.end(),
                [&](const std::string& line) { return line.find(expected) != std::string::npos; });
            ASSERT_NE(found, saidAtTerminal.end()) << expected << " in:\n" << terminal.out << terminal.err;
            at = static_cast<size_t>(found - saidAtTerminal.begin());
        }

        std::string saved = rows(desktopDb);
        EXPECT_TRUE(rows(terminalDb) == saved) << "the databases differ";
        if (c.script == everything) {
            EXPECT_NE(saved, fresh) << "the script saved nothing";
            EXPECT_NE(saved.find("Quick Notes 2"), std::string::npos);
            EXPECT_NE(saved.find("Checked twice"), std::string::npos);
        }
    }
}

}  // namespace
