// Line editing on a real pseudo-terminal inside the test: the keys a person presses go in at
// the terminal's far end, the editor reads them from its own end.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <fstream>

#include "platform/ui/LineEditor.h"
#include "tests/support/CaseName.h"
#include "tests/support/TempDir.h"

using platform::LineEditor;

// The terminfo library keeps a trimmed copy of the terminal's reset sequence for each description
// libedit loads and frees none of them when the next is loaded: a few bytes per editor, and only
// a test makes more than one editor in a process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_nc_trim_sgr0\n";
}

namespace {

class LineEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        winsize size{};
        size.ws_col = 80;
        size.ws_row = 24;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
    }
    void TearDown() override {
        editor.reset();
        ::close(slave);
        ::close(master);
    }
    LineEditor& make(std::filesystem::path history = {}) {
        LineEditor::Options options;
        options.inputFd = slave;
        options.outputFd = slave;
        options.historyFile = std::move(history);
        editor = std::make_unique<LineEditor>(options);
        return *editor;
    }
    // The screen's bytes so far (the terminal would show them).
    std::string drain() {
        std::string text;
        char buffer[4096];
        for (pollfd fd{master, POLLIN, 0}; ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);) {
            ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
        screen += text;
        return text;
    }
    // Types `keys` and takes them, as the run loop would when the terminal is readable.
    LineEditor::Event type(const std::string& keys) {
        EXPECT_EQ(::write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
        LineEditor::Event last = LineEditor::Event::None;
        bool readSome = false;
        // The terminal passes the keys on when it gets to them: wait for them (bounded), then
        // take them until none are left.
        for (int i = 0; i < 200 && last == LineEditor::Event::None; ++i) {
            pollfd fd{slave, POLLIN, 0};
            if (::poll(&fd, 1, 10) <= 0) {
                if (readSome) break;
                continue;
            }
            readSome = true;
            last = editor->readKeys();
            drain();
        }
        drain();
        return last;
    }

    int master = -1, slave = -1;
    std::unique_ptr<LineEditor> editor;
    std::string screen;
};

struct KeysCase {
    const char* name;
    const char* keys;
    const char* line;
};

class EditingKeysTest : public LineEditorTest, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(EditingKeysTest, GiveTheLineAPersonSees) {
    auto& e = make();
    e.begin("> ");
    ASSERT_EQ(type(GetParam().keys), LineEditor::Event::Line) << screen;
    EXPECT_EQ(e.line(), GetParam().line);
    EXPECT_FALSE(e.isActive());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, EditingKeysTest,
    ::testing::Values(KeysCase{"Plain", "type name abc\r", "type name abc"},
                      KeysCase{"LeftArrows", "type name abc\x1b[D\x1b[DX\r", "type name aXbc"},
                      KeysCase{"LeftThenRight", "abc\x1b[D\x1b[D\x1b[CX\r", "abXc"},
                      KeysCase{"CtrlAAndCtrlE", "world\x01hello \x05!\r", "hello world!"},
                      KeysCase{"Backspace",
                               "abcd\x7f\x7f"
                               "X\r",
                               "abX"},
                      KeysCase{"CtrlUKillsTheLine", "wrong\x15right\r", "right"},
                      KeysCase{"HomeAndEndKeys", "bc\x1b[Ha\x1b[Fd\r", "abcd"},
                      KeysCase{"Utf8AndEllipsis", "menu Duplicate\xe2\x80\xa6\x1b[DX\r",
                               "menu DuplicateX\xe2\x80\xa6"},
                      KeysCase{"LineFeedEndsToo", "done\n", "done"}),
    testsupport::CaseName());

TEST_F(LineEditorTest, CtrlDAtAnEmptyLineIsTheEndButNotInTheMiddleOfOne) {
    auto& e = make();
    e.begin("> ");
    EXPECT_EQ(type("\x04"), LineEditor::Event::EndOfInput);
    e.begin("> ");
    EXPECT_EQ(type("ab\x01\x04\r"), LineEditor::Event::Line);  // deletes the character under the cursor
    EXPECT_EQ(e.line(), "b");
}

TEST_F(LineEditorTest, CtrlLAsksForARedrawAndKeepsTheLine) {
    auto& e = make();
    e.begin("> ");
    EXPECT_EQ(type("sho\x0c"), LineEditor::Event::RedrawWanted);
    EXPECT_TRUE(e.isActive());
    EXPECT_EQ(e.currentText(), "sho");
    EXPECT_EQ(type("w\r"), LineEditor::Event::Line);
    EXPECT_EQ(e.line(), "show");
}

TEST_F(LineEditorTest, HidingForOutputKeepsTheTextAndTheCursor) {
    auto& e = make();
    e.begin("> ");
    type("helo\x1b[D");
    e.hide();
    EXPECT_TRUE(e.isHidden());
    EXPECT_EQ(e.currentText(), "helo");
    EXPECT_EQ(e.readKeys(), LineEditor::Event::None) << "a hidden line takes no keys";
    e.show();
    EXPECT_FALSE(e.isHidden());
    EXPECT_EQ(type("l\r"), LineEditor::Event::Line);
    EXPECT_EQ(e.line(), "hello");
}

TEST_F(LineEditorTest, ClearLineDropsWhatWasTyped) {
    auto& e = make();
    e.begin("> ");
    type("dropped");
    e.clearLine();
    EXPECT_EQ(e.currentText(), "");
    EXPECT_EQ(type("kept\r"), LineEditor::Event::Line);
    EXPECT_EQ(e.line(), "kept");
}

TEST_F(LineEditorTest, TheOtherEndClosingIsAHangup) {
    auto& e = make();
    e.begin("> ");
    type("partial");
    ::close(master);
    master = ::open("/dev/null", O_RDONLY);  // TearDown closes something
    LineEditor::Event event = LineEditor::Event::None;
    for (int i = 0; i < 100 && event == LineEditor::Event::None; ++i) {
        pollfd fd{slave, POLLIN, 0};
        ::poll(&fd, 1, 10);
        event = e.readKeys();
    }
    EXPECT_EQ(event, LineEditor::Event::Hangup);
}

struct CompletionCase {
    const char* name;
    const char* keys;
    const char* line;
};

class CompletionTest : public LineEditorTest, public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(CompletionTest, TabUsesTheCompleter) {
    auto& e = make();
    // Completes the last word from a fixed list; "menu ..." paths end in " > ".
    e.setCompleter([](const std::string& before) {
        LineEditor::Completion out;
        size_t space = before.rfind(' ');
        std::string word = space == std::string::npos ? before : before.substr(space + 1);
        out.replaceBytes = word.size();
        for (std::string c : {"windows", "wipe", "select", "\"Project Intake\"", "Plug-ins"})
            if (c.compare(0, word.size(), word) == 0)
                out.candidates.push_back({c, c == "Plug-ins" ? " > " : " "});
        return out;
    });
    e.begin("> ");
    ASSERT_EQ(type(GetParam().keys), LineEditor::Event::Line) << screen;
    EXPECT_EQ(e.line(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Tab, CompletionTest,
    ::testing::Values(CompletionCase{"Unique", "wind\t\r", "windows "},
                      CompletionCase{"CommonBeginningOnly", "w\tn\t\r", "windows "},
                      CompletionCase{"NothingToAdd", "wi\tx\r", "wix"},
                      CompletionCase{"NoCandidate", "zz\t\r", "zz"},
                      CompletionCase{"QuotedTitle", "select \"Pro\t\r", "select \"Project Intake\" "},
                      CompletionCase{"SubmenuSuffix", "menu Plu\t\r", "menu Plug-ins > "},
                      CompletionCase{"InTheMiddle", "sel\x01\x1b[C\x1b[C\x1b[C\t\r", "select "}),
    testsupport::CaseName());

TEST_F(LineEditorTest, SeveralCandidatesAreListed) {
    auto& e = make();
    e.setCompleter([](const std::string&) {
        return LineEditor::Completion{0, {{"alpha", " "}, {"beta", " "}}};
    });
    e.begin("> ");
    type("\t");
    EXPECT_NE(screen.find("alpha  beta"), std::string::npos) << screen;
    EXPECT_EQ(type("\r"), LineEditor::Event::Line);
}

TEST_F(LineEditorTest, HistoryIsRecalledWithUpAndKeptInTheFileAcrossEditors) {
    testsupport::TempDir dir;
    auto file = dir / "data" / "zandrel" / "history";
    {
        auto& e = make(file);
        for (const char* line : {"help", "windows", "", " secret", "windows", "show"}) e.addToHistory(line);
        EXPECT_EQ(e.historyEntries(), (std::vector<std::string>{"help", "windows", "show"}));
        EXPECT_TRUE(e.historyProblem().empty()) << e.historyProblem();
    }
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::none);
    auto& e = make(file);
    EXPECT_EQ(e.historyEntries(), (std::vector<std::string>{"help", "windows", "show"}));
    e.begin("> ");
    EXPECT_EQ(type("\x1b[A\x1b[A\r"), LineEditor::Event::Line);
    EXPECT_EQ(e.line(), "windows");
}

TEST_F(LineEditorTest, HistoryIsBoundedAndKeepsTheNewest) {
    testsupport::TempDir dir;
    LineEditor::Options options;
    options.inputFd = options.outputFd = slave;
    options.historyFile = dir / "history";
    options.historySize = 5;
    editor = std::make_unique<LineEditor>(options);
    for (int i = 0; i < 50; ++i) editor->addToHistory("line " + std::to_string(i));
    auto entries = editor->historyEntries();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries.front(), "line 45");
    EXPECT_EQ(entries.back(), "line 49");
}

TEST_F(LineEditorTest, AHistoryThatCannotBeWrittenIsSaidNotFatal) {
    testsupport::TempDir dir;
    dir.write("file", "a plain file where a folder should be");
    auto& e = make(dir / "file" / "history");
    e.addToHistory("help");
    e.addToHistory("show");
    EXPECT_NE(e.historyProblem().find("cannot be kept"), std::string::npos) << e.historyProblem();
    EXPECT_EQ(e.historyEntries(), (std::vector<std::string>{"help", "show"}));
}

TEST_F(LineEditorTest, AHugeOrForeignHistoryFileIsNeitherReadNorOverwritten) {
    testsupport::TempDir dir;
    {
        std::ofstream out(dir / "history", std::ios::binary);
        std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 5; ++i) out << chunk;
    }
    auto& e = make(dir / "history");
    EXPECT_TRUE(e.historyEntries().empty());
    EXPECT_NE(e.historyProblem().find("larger than"), std::string::npos);
    e.addToHistory("help");
    EXPECT_EQ(std::filesystem::file_size(dir / "history"), 5u << 20);
}

TEST_F(LineEditorTest, DefaultHistoryFileFollowsXdgDataHome) {
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedData = oldData ? oldData : "", savedHome = oldHome ? oldHome : "";
    ::setenv("XDG_DATA_HOME", "/data/here", 1);
    EXPECT_EQ(LineEditor::defaultHistoryFile(), "/data/here/zandrel/history");
    ::setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    ::setenv("HOME", "/home/ada", 1);
    EXPECT_EQ(LineEditor::defaultHistoryFile(), "/home/ada/.local/share/zandrel/history");
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(LineEditor::defaultHistoryFile(), "");
    if (oldData) ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
