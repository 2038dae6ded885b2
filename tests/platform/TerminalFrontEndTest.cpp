#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalFrontEnd.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/TextField.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;
using testsupport::RecordingTarget;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Rows : public TableViewDataSource {
public:
    size_t numberOfRowsInTableView(const TableView&) override { return names.size(); }
    Value objectValueForTableColumnRow(const TableView&, const TableColumn& column, size_t row) override {
        return column.identifier == "name" ? Value(names[row]) : Value(static_cast<int64_t>(row * 10));
    }
    std::vector<std::string> names{"Alice", "Bob"};
};

class StopModalOnClose : public WindowDelegate {
public:
    void windowWillClose(const Notification&) override { Application::shared().stopModalWithCode(code); }
    int64_t code = 5;
};

class TerminalFrontEndTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_EQ(::pipe(input), 0);
        outputFile = std::tmpfile();
        ASSERT_NE(outputFile, nullptr);
        terminal = std::make_unique<TerminalFrontEnd>(
            TerminalFrontEnd::Options{input[0], fileno(outputFile), false});
        terminal->setQuitHandler([this] {
            ++quits;
            return true;
        });
        terminal->setAfterCommandHandler([this] { ++afterCommands; });

        target = std::make_shared<RecordingTarget>(
            std::set<std::string>{"run:", "choose:", "tick:", "duplicate:", "alert:"});
        window = std::make_shared<Window>("Duplicate");
        auto& content = *window->contentView();
        auto label = std::make_shared<TextField>("Form template:");
        label->setEditable(false);
        content.addSubview(label);
        popUp = std::make_shared<PopUpButton>();
        popUp->setIdentifier("templates");
        for (auto t : {"Contacts", "Projects", "Orders"}) popUp->addItemWithTitle(t);
        popUp->setAction("choose:");
        popUp->setTarget(target);
        content.addSubview(popUp);
        field = std::make_shared<TextField>();
        field->setIdentifier("name");
        field->setPlaceholder("New name");
        content.addSubview(field);
        box = std::make_shared<Button>("All users", Button::Kind::CheckBox);
        box->setIdentifier("all");
        box->setAction("tick:");
        box->setTarget(target);
        content.addSubview(box);
        ok = std::make_shared<Button>("Duplicate");
        ok->setIdentifier("ok");
        ok->setKeyEquivalent("\r");
        ok->setAction("run:");
        ok->setTarget(target);
        content.addSubview(ok);
        window->makeKeyAndOrderFront();
    }
    void TearDown() override {
        terminal.reset();
        if (input[1] >= 0) ::close(input[1]);
        ::close(input[0]);
        std::fclose(outputFile);
        UiTest::TearDown();
    }
    void feed(const std::string& text) {
        ASSERT_EQ(::write(input[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void endInput() {
        ::close(input[1]);
        input[1] = -1;
    }
    // Feeds `commands`, ends the input and runs the loop until the terminal has quit.
    void runSession(const std::string& commands) {
        feed(commands);
        endInput();
        terminal->start();
        loop.runUntil(RunLoopMode::Default, [this] { return quits > 0; });
    }
    std::string output() {
        std::fflush(outputFile);
        std::string text;
        char buffer[4096];
        ::lseek(fileno(outputFile), 0, SEEK_SET);
        for (ssize_t n; (n = ::read(fileno(outputFile), buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    void installMenuBar() {
        auto bar = std::make_shared<Menu>("Main");
        auto plugins = std::make_shared<Menu>("Plug-ins");
        auto zandrel = std::make_shared<Menu>("Zandrel");
        zandrel->addItemWithTitle("Duplicate form definition", "duplicate:", "")->setTarget(target);
        zandrel->addItemWithTitle("Check for updates", "run:", "")->setTarget(target);
        auto file = std::make_shared<Menu>("File");
        file->addItem(MenuItem::separatorItem());
        file->addItemWithTitle("Close", "alert:", "w")->setTarget(target);
        bar->addItemWithTitle("File", "", "")->setSubmenu(file);
        plugins->addItemWithTitle("Zandrel", "", "")->setSubmenu(zandrel);
        bar->addItemWithTitle("Plug-ins", "", "")->setSubmenu(plugins);
        app.setMainMenu(bar);
        target->disabled.insert("run:");
    }

public:
    int input[2] = {-1, -1};
    FILE* outputFile = nullptr;
    std::unique_ptr<TerminalFrontEnd> terminal;
    int quits = 0;
    int afterCommands = 0;
    std::shared_ptr<RecordingTarget> target;
    std::shared_ptr<Window> window;
    std::shared_ptr<PopUpButton> popUp;
    std::shared_ptr<TextField> field;
    std::shared_ptr<Button> box;
    std::shared_ptr<Button> ok;
};

// ------------------------------------------------------------------ rendering

struct RenderCase {
    const char* name;
    std::function<void(TerminalFrontEndTest&)> change;
    std::string expected;
};

class RenderTest : public TerminalFrontEndTest, public ::testing::WithParamInterface<RenderCase> {};

TEST_P(RenderTest, DrawsTheStateOfEachView) {
    GetParam().change(*this);
    std::string drawn = TerminalRenderer::renderWindow(*window);
    EXPECT_TRUE(contains(drawn, GetParam().expected)) << "expected \"" << GetParam().expected << "\" in:\n"
                                                      << drawn;
}

INSTANTIATE_TEST_SUITE_P(
    Views, RenderTest,
    ::testing::Values(
        RenderCase{"Title", [](auto&) {}, "=== \"Duplicate\" ==="},
        RenderCase{"Label", [](auto&) {}, "#1 -                  label      Form template:"},
        RenderCase{"PopUpMarksSelection", [](auto& t) { t.popUp->selectItemAtIndex(1); },
                   "#2 templates          pop-up     1. Contacts  *2. Projects  3. Orders"},
        RenderCase{"EmptyFieldShowsPlaceholder", [](auto&) {}, "\"\"  (placeholder: New name)"},
        RenderCase{"FieldBeingEdited",
                   [](auto& t) {
                       t.field->setStringValue("Old");
                       t.field->typeText("New");
                   },
                   "\"Old\"  (editing: \"New\")"},
        RenderCase{"CheckBoxOff", [](auto&) {}, "check box  [ ] All users"},
        RenderCase{"CheckBoxOn", [](auto& t) { t.box->setState(Button::On); }, "[x] All users"},
        RenderCase{"CheckBoxMixed", [](auto& t) { t.box->setState(Button::Mixed); }, "[-] All users"},
        RenderCase{"DefaultButton", [](auto&) {}, "#5 ok                 button     < Duplicate > (Return)"},
        RenderCase{"DisabledButton", [](auto& t) { t.ok->setEnabled(false); },
                   "< Duplicate > (Return)  (disabled)"},
        RenderCase{"HiddenViewsAreLeftOut", [](auto& t) { t.popUp->setHidden(true); }, "#2 name"},
        RenderCase{"Image",
                   [](auto& t) {
                       auto image = std::make_shared<ImageView>();
                       image->setImageName("DLAppIcon");
                       t.window->contentView()->addSubview(image);
                   },
                   "#6 -                  image      DLAppIcon"},
        RenderCase{"NestedViewsAreIndented",
                   [](auto& t) {
                       auto group = std::make_shared<View>();
                       group->setIdentifier("box");
                       auto inner = std::make_shared<Button>("Inner");
                       inner->setIdentifier("inner");
                       group->addSubview(inner);
                       t.window->contentView()->addSubview(group);
                   },
                   "#7   inner            button     < Inner >"},
        RenderCase{"SheetAndModalMarkers",
                   [](auto& t) {
                       auto parent = std::make_shared<Window>("Main");
                       parent->makeKeyAndOrderFront();
                       t.app.beginSheet(t.window, parent);
                   },
                   "(sheet on \"Main\")"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TerminalFrontEndTest, DrawsTableRowsWithTheSelection) {
    auto rows = std::make_shared<Rows>();
    auto table = std::make_shared<TableView>();
    table->setIdentifier("users");
    table->addTableColumn({"name", "Name"});
    table->addTableColumn({"count", "Count"});
    table->setDataSource(rows);
    window->contentView()->addSubview(table);
    table->selectRow(1);
    std::string drawn = TerminalRenderer::renderWindow(*window);
    EXPECT_TRUE(contains(drawn, "table      Name | Count (2 rows)")) << drawn;
    EXPECT_TRUE(contains(drawn, " 1. Alice | 0\n")) << drawn;
    EXPECT_TRUE(contains(drawn, "*2. Bob | 10\n")) << drawn;
}

TEST_F(TerminalFrontEndTest, DrawsMenusAndAlerts) {
    installMenuBar();
    std::string menu = TerminalRenderer::renderMenuBar(*app.mainMenu());
    EXPECT_TRUE(contains(menu, "  1 File\n      ----\n      1.1 Close  [key w]\n")) << menu;
    EXPECT_TRUE(contains(menu, "          2.1.1 Duplicate form definition\n")) << menu;
    EXPECT_TRUE(contains(menu, "          2.1.2 Check for updates  (disabled)\n")) << menu;

    std::string alert =
        TerminalRenderer::renderAlert({"Zandrel", "Line one\nLine two", "OK", "Cancel", "", false});
    EXPECT_EQ(alert,
              "+-- Alert: Zandrel\n| Line one\n| Line two\n| 1) OK (default)   2) Cancel\n"
              "+-- answer <number|button title>\n");
}

struct SplitCase {
    const char* line;
    std::vector<std::string> words;
};

TEST(TerminalFrontEndWords, SplitsWithSimpleQuoting) {
    const SplitCase cases[] = {
        {"press ok", {"press", "ok"}},
        {"  type   name  New form ", {"type", "name", "New", "form"}},
        {"type name \"New  form\"", {"type", "name", "New  form"}},
        {"type name \"\"", {"type", "name", ""}},
        {"press Don't save", {"press", "Don't", "save"}},
        {"type name \"say \\\"hi\\\" \\\\ now\"", {"type", "name", "say \"hi\" \\ now"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        std::string error;
        auto words = TerminalFrontEnd::splitWords(c.line, error);
        ASSERT_TRUE(words) << c.line;
        EXPECT_EQ(*words, c.words) << c.line;
    }
    std::string error;
    EXPECT_FALSE(TerminalFrontEnd::splitWords("type name \"open", error));
    EXPECT_TRUE(contains(error, "not closed"));
}

// ------------------------------------------------------------------ commands through a pipe

TEST_F(TerminalFrontEndTest, PipedCommandsActOnTheKeyWindowAndAreEchoed) {
    runSession("select templates Orders\nselect 2 1\ntype name \"Projects  2\"\ntick all\npress Duplicate\n");
    EXPECT_EQ(popUp->indexOfSelectedItem(), 0);
    EXPECT_EQ(*field->editingText(), "Projects  2");
    EXPECT_EQ(box->state(), Button::On);
    EXPECT_EQ(target->calls, (std::vector<std::string>{"choose:", "choose:", "tick:", "run:"}));
    EXPECT_EQ(afterCommands, 5);
    EXPECT_EQ(quits, 1);
    std::string out = output();
    EXPECT_TRUE(contains(out, "> select templates Orders\n")) << out;
    EXPECT_TRUE(contains(out, "*3. Orders")) << out;  // redrawn after the command
    EXPECT_TRUE(contains(out, "(editing: \"Projects  2\")")) << out;
    EXPECT_TRUE(contains(out, "(end of input)\n")) << out;
    EXPECT_FALSE(contains(out, "\n> \n")) << "no prompt when the input is not a terminal";
    EXPECT_EQ(app.frontEnd(), terminal.get());
}

TEST_F(TerminalFrontEndTest, BadCommandsSayWhatWentWrongAndDoNoHarm) {
    struct Case {
        const char* command;
        const char* message;
    };
    const Case cases[] = {
        {"fly", "Unknown command \"fly\": type \"help\""},
        {"press Launch", "has no view \"Launch\": use an identifier or a number (1 to 5)"},
        {"select templates Invoices", "has no item \"Invoices\": give a title or a number from 1 to 3"},
        {"select templates 4", "has no item \"4\""},
        {"select ok 1", "\"ok\" is a button: select works on pop-ups and tables"},
        {"select templates", "Usage: select <view>"},
        {"type 1 text", "cannot be typed into (it is a label)"},
        {"type all text", "\"all\" is a check box, not a text field"},
        {"tick ok", "not a check box: use press"},
        {"answer 1", "No alert is waiting"},
        {"menu Plug-ins > Zandrel", "The application has no menu bar"},
        {"type name \"open", "a double quote is not closed"},
        {"press #9", "has no view \"#9\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        long before = static_cast<long>(output().size());
        terminal->execute(c.command);
        std::string said = output().substr(static_cast<size_t>(before));
        EXPECT_TRUE(contains(said, c.message)) << said;
    }
    EXPECT_TRUE(target->calls.empty());
    EXPECT_EQ(field->stringValue(), "");

    ok->setEnabled(false);
    terminal->execute("press ok");
    EXPECT_TRUE(contains(output(), "The button \"Duplicate\" is disabled."));
    window->close();
    terminal->execute("press ok");
    EXPECT_TRUE(contains(output(), "No window is open"));
}

TEST_F(TerminalFrontEndTest, MenuCommandsByTitlesOrNumbers) {
    installMenuBar();
    runSession(
        "menu\nmenu Plug-ins > Zandrel > Duplicate form definition\nmenu 2.1.1\nmenu 2.1.2\nmenu 2.1\n"
        "menu plug-ins > zandrel > duplicate form definition\nmenu 3.1\nmenu Plug-ins > Nothing\nmenu 1.x\n");
    EXPECT_EQ(target->calls, (std::vector<std::string>{"duplicate:", "duplicate:", "duplicate:"}));
    std::string out = output();
    EXPECT_TRUE(contains(out, "      2.1 Zandrel\n")) << out;
    EXPECT_TRUE(contains(out, "The menu command \"Check for updates\" is disabled right now.")) << out;
    EXPECT_TRUE(contains(out,
                         "\"Zandrel\" is a submenu; choose one of its commands: Duplicate form definition, "
                         "Check for updates."))
        << out;
    EXPECT_TRUE(contains(
        out, "No menu command \"3.1\": the menu bar has no item \"3\" (it has \"File\", \"Plug-ins\")"))
        << out;
    EXPECT_TRUE(contains(out, "the menu \"Plug-ins\" has no item \"Nothing\" (it has \"Zandrel\")")) << out;
    EXPECT_TRUE(contains(out, "No menu command \"1.x\"")) << out;
}

TEST_F(TerminalFrontEndTest, AlertsWaitForAnAnswerInAModalRun) {
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        answers.push_back(
            app.runAlertPanel({"Zandrel", "Replace it?", "Replace", "Cancel", "Keep both", false}));
    };
    runSession(
        "press ok\npress ok\nanswer 5\nanswer Keep both\npress ok\nanswer 2\npress ok\nanswer cancel\n");
    EXPECT_EQ(answers, (std::vector<int>{kAlertOtherReturn, kAlertAlternateReturn, kAlertAlternateReturn}));
    std::string out = output();
    EXPECT_TRUE(contains(out, "| 1) Replace (default)   2) Cancel   3) Keep both\n")) << out;
    EXPECT_TRUE(contains(out, "An alert is waiting: answer it first")) << out;
    EXPECT_TRUE(contains(
        out,
        "The alert has no button \"5\": answer with a button number or title: 1) Replace  2) Cancel  "
        "3) Keep both."))
        << out;
    // Commands typed while an alert waits complete with the press that showed it.
    EXPECT_EQ(afterCommands, 3);
}

TEST_F(TerminalFrontEndTest, EndOfInputDuringAnAlertTakesTheDefaultAndSaysSo) {
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        answers.push_back(app.runAlertPanel({"Zandrel", "Update available", "Download", "Later", "", false}));
        answers.push_back(app.runAlertPanel({"Zandrel", "A second one", "OK", "", "", true}));
    };
    runSession("press ok\n");
    EXPECT_EQ(answers, (std::vector<int>{kAlertDefaultReturn, kAlertDefaultReturn}));
    EXPECT_EQ(quits, 1);
    std::string out = output();
    EXPECT_TRUE(contains(out, "(no more input: alert \"Zandrel\" takes its default button \"Download\")"))
        << out;
    EXPECT_TRUE(contains(out, "+-- Information: Zandrel\n| A second one\n")) << out;
    EXPECT_TRUE(contains(out, "(no more input: taking the default button \"OK\")")) << out;
}

TEST_F(TerminalFrontEndTest, CommandsReachABlockingModalWindowAndCompleteWithIt) {
    auto modal = std::make_shared<Window>("Modal");
    auto stopper = std::make_shared<StopModalOnClose>();
    modal->setDelegate(stopper);
    auto choice = std::make_shared<TextField>();
    choice->setIdentifier("choice");
    modal->contentView()->addSubview(choice);
    int64_t code = -1;
    std::vector<int> hooksSeen;
    target->handlers["run:"] = [&] { code = app.runModalForWindow(modal); };
    terminal->setAfterCommandHandler([&] { hooksSeen.push_back(static_cast<int>(target->calls.size())); });

    runSession("press ok\ntype choice Yes\nshow\nclose\ntick all\n");
    EXPECT_EQ(code, 5);
    EXPECT_EQ(choice->stringValue(), "Yes");  // committed when the window closed
    EXPECT_EQ(box->state(), Button::On);
    // "press ok" completed once the dialog closed; the commands typed inside it completed with it.
    EXPECT_EQ(hooksSeen, (std::vector<int>{1, 2}));
    std::string out = output();
    EXPECT_TRUE(contains(out, "=== \"Modal\" ===  (modal)")) << out;
}

TEST_F(TerminalFrontEndTest, EndOfInputClosesModalWindowsThenQuits) {
    auto outer = std::make_shared<Window>("Outer");
    auto inner = std::make_shared<Window>("Inner");
    auto stopper = std::make_shared<StopModalOnClose>();
    outer->setDelegate(stopper);
    inner->setDelegate(stopper);
    std::vector<std::string> order;
    target->handlers["run:"] = [&] {
        app.runModalForWindow(outer);
        order.push_back("outer returned");
    };
    target->handlers["tick:"] = [&] {
        app.runModalForWindow(inner);
        order.push_back("inner returned");
    };
    auto innerOpener = std::make_shared<Button>("Open", Button::Kind::CheckBox);
    innerOpener->setIdentifier("open");
    innerOpener->setAction("tick:");
    innerOpener->setTarget(target);
    outer->contentView()->addSubview(innerOpener);

    runSession("press ok\ntick open\n");
    EXPECT_EQ(order, (std::vector<std::string>{"inner returned", "outer returned"}));
    EXPECT_EQ(quits, 1);
    std::string out = output();
    auto innerAt = out.find("(closing the modal window \"Inner\")");
    auto outerAt = out.find("(closing the modal window \"Outer\")");
    ASSERT_NE(innerAt, std::string::npos) << out;
    ASSERT_NE(outerAt, std::string::npos) << out;
    EXPECT_LT(innerAt, outerAt);
}

TEST_F(TerminalFrontEndTest, QuitRunsTheHandlerOnceAndStopsReading) {
    feed("quit\npress ok\n");
    terminal->start();
    loop.runUntil(RunLoopMode::Default, [this] { return quits > 0; });
    loop.runPending();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(terminal->isRunning());
    EXPECT_TRUE(target->calls.empty());
    EXPECT_EQ(loop.pendingBlockCount(), 0u);
}

TEST_F(TerminalFrontEndTest, ShowWindowsHelpAndURLs) {
    auto sheet = std::make_shared<Window>("Sheet");
    app.beginSheet(sheet, window);
    runSession("windows\nhelp\n");
    EXPECT_TRUE(app.openURL("https://example.org/get"));
    std::string out = output();
    EXPECT_TRUE(contains(out, "  1. \"Sheet\"  (key, sheet on \"Duplicate\")\n  2. \"Duplicate\"  (main)\n"))
        << out;
    EXPECT_TRUE(contains(out, "answer <number|button title>")) << out;
    EXPECT_TRUE(contains(out, "https://example.org/get")) << out;
}

TEST_F(TerminalFrontEndTest, InteractiveModePromptsWithoutEcho) {
    terminal =
        std::make_unique<TerminalFrontEnd>(TerminalFrontEnd::Options{input[0], fileno(outputFile), true});
    terminal->setQuitHandler([this] {
        ++quits;
        return true;
    });
    runSession("tick all\n");
    std::string out = output();
    EXPECT_TRUE(contains(out, "> ")) << out;
    EXPECT_FALSE(contains(out, "> tick all")) << out;
    EXPECT_EQ(box->state(), Button::On);
}

}  // namespace

TEST_F(TerminalFrontEndTest, AtTheAnswerPromptANumberOrTitleAloneAnswers) {
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        answers.push_back(app.runAlertPanel({"Zandrel", "Replace it?", "Replace", "Cancel", "", false}));
    };
    runSession("press ok\n2\npress ok\nReplace\npress ok\nbogus\n1\n");
    EXPECT_EQ(answers, (std::vector<int>{kAlertAlternateReturn, kAlertDefaultReturn, kAlertDefaultReturn}));
    EXPECT_TRUE(contains(output(), "The alert has no button \"bogus\"")) << output();
}

TEST_F(TerminalFrontEndTest, ARefusedQuitKeepsReadingAndTheHookIsNotReenteredByItsOwnAlert) {
    int hookAlerts = 0;
    bool refuseOnce = true;
    terminal->setQuitHandler([&] {
        ++quits;
        if (!refuseOnce) return true;
        refuseOnce = false;
        app.runAlertPanel({"Not saved", "The save failed.", "OK", "", "", false});
        return false;
    });
    // A hook that shows an alert, like a failing save: answering it must not run the hook again.
    terminal->setAfterCommandHandler([&] {
        ++afterCommands;
        if (afterCommands == 1) {
            ++hookAlerts;
            app.runAlertPanel({"Hook", "Shown by the hook.", "OK", "", "", false});
        }
    });
    feed("show\nanswer OK\nquit\nanswer OK\nshow\nquit\n");
    terminal->start();
    loop.runUntil(RunLoopMode::Default, [this] { return !terminal->isRunning(); });
    EXPECT_EQ(hookAlerts, 1);
    EXPECT_EQ(quits, 2);
    std::string out = output();
    EXPECT_TRUE(contains(out, "(not quitting: the host refused; see above)")) << out;
    EXPECT_TRUE(contains(out, "> show\n")) << out;
}
