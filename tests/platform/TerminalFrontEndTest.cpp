#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/terminal/TerminalFrontEnd.h"
#include "tests/support/CaseName.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;
using testsupport::contains;
using testsupport::RecordingTarget;

namespace {

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

class TerminalFrontEndTest : public testsupport::TerminalTest {
protected:
    void SetUp() override {
        TerminalTest::SetUp();
        makeTerminal(options(false));
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
    TerminalFrontEnd::Options options(bool interactive) { return terminalOptions(interactive, 80); }
    // A person at a terminal: failed commands are only reported, the session goes on.
    void makeInteractive() {
        makeTerminal(options(true));
        terminal->setAfterCommandHandler([this] { ++afterCommands; });
    }
    // Feeds `commands`, ends the input and runs the loop until the terminal has quit.
    void runSession(const std::string& commands) {
        feed(commands);
        endInput();
        terminal->start();
        loop.runUntil(RunLoopMode::Default, [this] { return quits > 0; });
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
    testsupport::CaseName());

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
        {"press Launch", "no button \"Launch\""},
        {"select templates Invoices", "no item \"Invoices\". Give a title or a number from 1 to 3"},
        {"select templates 4", "no item \"4\""},
        {"select templates Or", ""},  // a unique beginning is enough (no failure, checked below)
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
        bool ok = terminal->execute(c.command);
        std::string said = output().substr(static_cast<size_t>(before));
        EXPECT_EQ(ok, std::string(c.message).empty()) << said;
        EXPECT_TRUE(contains(said, c.message)) << said;
        if (!ok) {
            EXPECT_EQ(said, terminal->lastError() + "\n") << "the reason kept is the reason said";
        }
    }
    EXPECT_EQ(popUp->indexOfSelectedItem(), 2);
    EXPECT_EQ(target->calls, (std::vector<std::string>{"choose:"}));
    EXPECT_EQ(field->stringValue(), "");

    ok->setEnabled(false);
    terminal->execute("press ok");
    EXPECT_TRUE(contains(output(), "The button \"Duplicate\" is disabled."));
    window->close();
    terminal->execute("press ok");
    EXPECT_TRUE(contains(output(), "No window is open"));
}

TEST_F(TerminalFrontEndTest, MenuCommandsByTitlesOrNumbers) {
    makeInteractive();
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
    makeInteractive();
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

TEST_F(TerminalFrontEndTest, EndOfInputDuringAnAlertDeclinesItAndSaysSo) {
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        answers.push_back(
            app.runAlertPanel({"Zandrel", "Update available", "Download", "Not Now", "", false}));
        answers.push_back(app.runAlertPanel({"Zandrel", "A second one", "Download", "Not Now", "", true}));
        answers.push_back(app.runAlertPanel({"Zandrel", "A third one", "OK", "", "", true}));
    };
    runSession("press ok\n");
    // Nobody accepted the offer, so nothing is downloaded on their behalf.
    EXPECT_EQ(answers, (std::vector<int>{kAlertAlternateReturn, kAlertAlternateReturn, kAlertDefaultReturn}));
    EXPECT_EQ(quits, 1);
    std::string out = output();
    EXPECT_TRUE(contains(out, "(no more input: alert \"Zandrel\" answered \"Not Now\")")) << out;
    EXPECT_TRUE(contains(out, "+-- Information: Zandrel\n| A second one\n")) << out;
    EXPECT_TRUE(contains(out, "(no more input: answering \"Not Now\")")) << out;
    EXPECT_TRUE(contains(out, "(no more input: answering \"OK\")")) << out;
    EXPECT_FALSE(contains(out, "default button")) << out;
}

TEST_F(TerminalFrontEndTest, ASignalDuringAnOfferDeclinesItAndNamesTheSignal) {
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        loop.dispatchAsync([&] { terminal->terminate(); });
        answers.push_back(
            app.runAlertPanel({"Zandrel", "Update available", "Download", "Not Now", "", false}));
        answers.push_back(app.runAlertPanel({"Zandrel", "Shown after", "Replace", "Keep", "Cancel", false}));
    };
    feed("press ok\n");
    terminal->start();
    loop.runUntil(RunLoopMode::Default, [this] { return !terminal->isRunning(); });
    EXPECT_EQ(answers, (std::vector<int>{kAlertAlternateReturn, kAlertOtherReturn}));
    std::string out = output();
    EXPECT_TRUE(contains(out, "(terminated by a signal: alert \"Zandrel\" answered \"Not Now\")")) << out;
    EXPECT_TRUE(contains(out, "(terminated by a signal: answering \"Cancel\")")) << out;
    EXPECT_FALSE(contains(out, "no more input")) << out;
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
    makeInteractive();
    runSession("tick all\n");
    std::string out = output();
    EXPECT_TRUE(contains(out, "> ")) << out;
    EXPECT_FALSE(contains(out, "> tick all")) << out;
    EXPECT_EQ(box->state(), Button::On);
}

}  // namespace

TEST_F(TerminalFrontEndTest, AtTheAnswerPromptANumberOrTitleAloneAnswers) {
    makeInteractive();
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

// ------------------------------------------------------------------ scripts, signals, keys

namespace {

class ManyRows : public TableViewDataSource {
public:
    size_t numberOfRowsInTableView(const TableView&) override { return 50; }
    Value objectValueForTableColumnRow(const TableView&, const TableColumn&, size_t row) override {
        return Value("Row " + std::to_string(row + 1));
    }
};

TEST_F(TerminalFrontEndTest, APipedScriptStopsAtItsFirstFailedCommandAndQuitsNormally) {
    runSession("tick all\nfly\ntick all\n");
    EXPECT_EQ(terminal->failedLine(), std::optional<size_t>(2));
    EXPECT_EQ(box->state(), Button::On) << "the line after the failure did not run";
    EXPECT_EQ(quits, 1);
    EXPECT_TRUE(contains(errors(), "line 2: fly: Unknown command \"fly\"")) << errors();
    EXPECT_TRUE(contains(output(), "(stopped at line 2")) << output();
    std::string out = output();
    size_t echoed = 0;
    for (size_t at = 0; (at = out.find("> tick all\n", at)) != std::string::npos; ++at) ++echoed;
    EXPECT_EQ(echoed, 1u) << out;
}

TEST_F(TerminalFrontEndTest, AtATerminalAFailedCommandIsOnlyReported) {
    makeInteractive();
    runSession("tick all\nfly\ntick all\n");
    EXPECT_EQ(terminal->failedLine(), std::nullopt);
    EXPECT_EQ(box->state(), Button::Off) << "both ticks ran";
    EXPECT_TRUE(contains(output(), "Unknown command \"fly\"")) << output();
    EXPECT_EQ(errors(), "");
}

TEST_F(TerminalFrontEndTest, AFailureAtAnAlertStopsTheScriptAndTheAlertIsDeclined) {
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        answers.push_back(app.runAlertPanel({"Zandrel", "Replace it?", "Replace", "Cancel", "", false}));
    };
    runSession("press ok\nanswer Keep both\ntick all\n");
    EXPECT_EQ(terminal->failedLine(), std::optional<size_t>(2));
    EXPECT_EQ(answers, (std::vector<int>{kAlertAlternateReturn}));
    EXPECT_EQ(box->state(), Button::Off);
    EXPECT_TRUE(contains(errors(), "line 2: answer Keep both: The alert has no button")) << errors();
    EXPECT_TRUE(contains(output(), "(the script stopped at line 2: alert \"Zandrel\" answered \"Cancel\")"))
        << output();
}

TEST_F(TerminalFrontEndTest, ALineTooLongToKeepIsRefusedAsALineOfItsOwn) {
    ASSERT_GE(::fcntl(input[1], F_SETPIPE_SZ, 1 << 20), 1 << 20);  // all of it fits before the loop runs
    feed(std::string(100 * 1024, 'x'));
    feed("\ntick all\n");
    endInput();
    terminal->start();
    loop.runUntil(RunLoopMode::Default, [this] { return quits > 0; });
    EXPECT_EQ(terminal->failedLine(), std::optional<size_t>(1));
    EXPECT_TRUE(contains(errors(), "longer than 64 KiB")) << errors().substr(0, 200);
    EXPECT_EQ(box->state(), Button::Off);
    EXPECT_LT(output().size(), 10000u) << "the long line is not echoed";
}

TEST_F(TerminalFrontEndTest, ControlCharactersAreNeverTypedAndShownEscaped) {
    for (std::string text :
         std::vector<std::string>{"abc\x1b[D\x1b[DX", "tab\there", std::string("nul\0byte", 8), "del\x7f",
                                  "c1\xc2\x9b", "bad\xff utf8"}) {
        SCOPED_TRACE(text);
        size_t before = output().size();
        EXPECT_FALSE(terminal->execute("type name \"" + text + "\"")) << output().substr(before);
        std::string said = output().substr(before);
        EXPECT_TRUE(contains(said, "Not typed")) << said;
        for (unsigned char c : said) EXPECT_TRUE(c >= 0x20 || c == '\n') << "raw control byte " << int(c);
        EXPECT_FALSE(field->isEditing());
    }
    EXPECT_TRUE(contains(output(), "abc\\x1b[D\\x1b[DX")) << output();
    EXPECT_TRUE(terminal->execute("type name \"Caf\xc3\xa9 \xe2\x80\xa6\""));
    EXPECT_EQ(field->editingText(), std::optional<std::string>("Caf\xc3\xa9 \xe2\x80\xa6"));
}

TEST_F(TerminalFrontEndTest, TerminateAnswersTheAlertClosesAndQuitsEvenWhenTheHostRefuses) {
    std::vector<int> answers;
    int refusals = 0;
    terminal->setQuitHandler([&] {
        ++refusals;
        return false;  // a save that fails: the signal's quit goes ahead anyway
    });
    target->handlers["run:"] = [&] {
        loop.dispatchAsync([&] { terminal->terminate(); });
        answers.push_back(app.runAlertPanel({"Success!", "Copied.", "Thanks!", "", "", false}));
    };
    feed("press ok\ntick all\n");
    terminal->start();
    loop.runUntil(RunLoopMode::Default, [this] { return !terminal->isRunning(); });
    EXPECT_EQ(answers, (std::vector<int>{kAlertDefaultReturn}));
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(box->state(), Button::Off) << "no command is read after the signal";
    EXPECT_TRUE(contains(output(), "(terminated by signal: saving and quitting)")) << output();
    EXPECT_TRUE(terminal->isTerminating());
}

struct InterruptCase {
    const char* name;
    AlertRequest alert;
    int expected;
};

class InterruptAlertTest : public TerminalFrontEndTest,
                           public ::testing::WithParamInterface<InterruptCase> {};

TEST_P(InterruptAlertTest, CtrlCAnswersWithTheButtonThatCancels) {
    makeInteractive();
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        loop.dispatchAsync([&] { terminal->interrupt(); });
        answers.push_back(app.runAlertPanel(GetParam().alert));
    };
    runSession("press ok\n");
    EXPECT_EQ(answers, (std::vector<int>{GetParam().expected}));
}

INSTANTIATE_TEST_SUITE_P(
    Alerts, InterruptAlertTest,
    ::testing::Values(
        InterruptCase{
            "CancelAsOther", {"Q", "?", "Replace", "Keep both", "Cancel", false}, kAlertOtherReturn},
        InterruptCase{"CancelAsAlternate", {"Q", "?", "Replace", "cancel", "", false}, kAlertAlternateReturn},
        InterruptCase{"Alternate", {"Q", "?", "Download", "Later", "", false}, kAlertAlternateReturn},
        InterruptCase{"OnlyOne", {"Q", "?", "Thanks!", "", "", false}, kAlertDefaultReturn}),
    testsupport::CaseName());

TEST_F(TerminalFrontEndTest, CtrlCPressesTheDialogsCancelThenTwiceAtAnEmptyPromptQuits) {
    makeInteractive();
    auto sheet = std::make_shared<Window>("Sheet");
    auto escape = std::make_shared<Button>("Stop");
    escape->setKeyEquivalent("\x1b");
    escape->setAction("tick:");
    escape->setTarget(target);
    sheet->contentView()->addSubview(escape);
    auto cancel = std::make_shared<Button>("Cancel");
    cancel->setAction("run:");
    cancel->setTarget(target);
    sheet->contentView()->addSubview(cancel);
    app.beginSheet(sheet, window);
    terminal->start();
    terminal->interrupt();  // the key-equivalent Escape button comes first
    EXPECT_EQ(target->calls, (std::vector<std::string>{"tick:"}));
    escape->setKeyEquivalent("");
    terminal->interrupt();
    EXPECT_EQ(target->calls, (std::vector<std::string>{"tick:", "run:"}));
    app.endSheet(sheet.get());
    sheet->close();

    terminal->interrupt();  // no dialog: a hint first
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(contains(output(), "Ctrl-C again at an empty prompt quits")) << output();
    terminal->interrupt();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(terminal->isRunning());
}

TEST_F(TerminalFrontEndTest, EnterAtTheAnswerPromptTakesTheDefaultButtonAtATerminalOnly) {
    std::vector<int> answers;
    target->handlers["run:"] = [&] {
        answers.push_back(app.runAlertPanel({"Zandrel", "Replace it?", "Replace", "Cancel", "", false}));
    };
    makeInteractive();
    runSession("press ok\n\npress ok\n2\n");
    EXPECT_EQ(answers, (std::vector<int>{kAlertDefaultReturn, kAlertAlternateReturn}));
}

TEST_F(TerminalFrontEndTest, AnAlertIsDrawnOnceWithThePromptLast) {
    makeInteractive();
    target->handlers["run:"] = [&] {
        popUp->selectItemAtIndex(2);  // the window changes before the alert shows
        app.runAlertPanel({"Zandrel", "Replace it?", "Replace", "Cancel", "", false});
    };
    runSession("press ok\nbogus\n1\n");
    std::string out = output();
    size_t alerts = 0;
    for (size_t at = 0; (at = out.find("Alert: Zandrel", at)) != std::string::npos; ++at) ++alerts;
    EXPECT_EQ(alerts, 1u) << out;
    size_t alert = out.find("Alert: Zandrel");
    EXPECT_LT(out.find("*3. Orders"), alert) << "the changed window first, then the alert";
    const std::string last = "+-- answer <number|button title>\n";
    size_t end = out.find(last, alert);
    ASSERT_NE(end, std::string::npos) << out;
    EXPECT_EQ(out.substr(end + last.size(), 8), "answer> ") << "the prompt right after the alert: " << out;
}

TEST_F(TerminalFrontEndTest, TablesPageWithShowRangesAndNextPrev) {
    makeInteractive();
    auto rows = std::make_shared<ManyRows>();
    auto table = std::make_shared<TableView>();
    table->setIdentifier("list");
    table->addTableColumn({"name", "Name"});
    table->setDataSource(rows);
    window->contentView()->addSubview(table);
    auto shows = [&](const std::string& command) {
        size_t before = output().size();
        bool ok = terminal->execute(command);
        std::string said = output().substr(before);
        return std::make_pair(ok, said);
    };
    auto [ok1, page] = shows("show list 21-40");
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(contains(page, "Row 21")) << page;
    EXPECT_TRUE(contains(page, "Row 40")) << page;
    EXPECT_FALSE(contains(page, "Row 20\n")) << page;
    EXPECT_FALSE(contains(page, "Row 41")) << page;
    auto [ok2, next] = shows("next");
    EXPECT_TRUE(ok2);
    EXPECT_TRUE(contains(next, "Row 41")) << next;
    EXPECT_TRUE(contains(next, "Row 50")) << next;
    auto [ok3, past] = shows("next");
    EXPECT_FALSE(ok3);
    EXPECT_TRUE(contains(past, "last page")) << past;
    auto [ok4, back] = shows("prev");
    EXPECT_TRUE(ok4);
    EXPECT_TRUE(contains(back, "Row 21")) << back;
    for (const char* bad : {"show list 40-21", "show list 0-5", "show list 61-70", "show list a-b",
                            "show list 1-5000", "show templates 1-5"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(terminal->execute(bad));
    }
    EXPECT_TRUE(contains(TerminalFrontEnd::helpText(), "show <table> <from>-<to>"));
}

TEST_F(TerminalFrontEndTest, NextWithoutATableSaysHowToShowOne) {
    EXPECT_FALSE(terminal->execute("next"));
    EXPECT_TRUE(contains(output(), "No table is shown")) << output();
}

struct CompletionCase {
    const char* name;
    std::string before;
    std::vector<std::string> candidates;
    size_t replaceBytes;
};

class FrontEndCompletionTest : public TerminalFrontEndTest,
                               public ::testing::WithParamInterface<CompletionCase> {};

TEST_P(FrontEndCompletionTest, OffersWhatTheWordCanBe) {
    installMenuBar();
    auto found = terminal->completions(GetParam().before);
    std::vector<std::string> texts;
    for (const auto& c : found.candidates) texts.push_back(c.text + "|" + c.suffix);
    EXPECT_EQ(texts, GetParam().candidates);
    if (!found.candidates.empty()) {
        EXPECT_EQ(found.replaceBytes, GetParam().replaceBytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Words, FrontEndCompletionTest,
    ::testing::Values(CompletionCase{"Command", "sel", {"select| "}, 3},
                      CompletionCase{"CommandIgnoringCase", "WIN", {"windows| "}, 3},
                      CompletionCase{"TwoCommands", "t", {"tick| ", "type| "}, 1},
                      CompletionCase{"PopUpAsView", "select ", {"templates| "}, 0},
                      CompletionCase{"Item", "select templates pr", {"Projects| "}, 2},
                      CompletionCase{"QuotedItem", "select templates \"Or", {"Orders| "}, 3},
                      CompletionCase{"TextField", "type n", {"name| "}, 1},
                      CompletionCase{"CheckBox", "tick ", {"all| "}, 0},
                      CompletionCase{
                          "ButtonTitleAndIdentifier", "press All", {"\"All users\"| ", "all| "}, 3},
                      CompletionCase{"MenuTitle", "menu Plu", {"Plug-ins| > "}, 3},
                      CompletionCase{"MenuSubmenu", "menu Plug-ins > zan", {"Zandrel| > "}, 3},
                      CompletionCase{"MenuCommands",
                                     "menu Plug-ins > Zandrel > ",
                                     {"Duplicate form definition|", "Check for updates|"},
                                     0},
                      CompletionCase{"MenuNowhere", "menu Nowhere > ", {}, 0},
                      CompletionCase{"NothingAfterType", "type name ", {}, 0}),
    testsupport::CaseName());

TEST_F(TerminalFrontEndTest, CompletionAtAnAlertOffersItsButtons) {
    std::vector<LineEditor::Completion> seen;
    target->handlers["run:"] = [&] {
        loop.dispatchAsync([&] {
            seen.push_back(terminal->completions("answer K"));
            seen.push_back(terminal->completions("Re"));
            terminal->execute("answer 1");
        });
        app.runAlertPanel({"Q", "?", "Replace", "Cancel", "Keep both", false});
    };
    runSession("press ok\n");
    ASSERT_EQ(seen.size(), 2u);
    ASSERT_EQ(seen[0].candidates.size(), 1u);
    EXPECT_EQ(seen[0].candidates[0].text, "\"Keep both\"");
    ASSERT_EQ(seen[1].candidates.size(), 1u);
    EXPECT_EQ(seen[1].candidates[0].text, "Replace");
}

// ------------------------------------------------------------------ what a field takes

struct TypableCase {
    const char* name;
    std::string text;
    std::optional<size_t> firstBad;
};

class TypableTest : public ::testing::TestWithParam<TypableCase> {};

TEST_P(TypableTest, FindsTheFirstByteNoKeyCouldType) {
    EXPECT_EQ(TextField::findUntypable(GetParam().text), GetParam().firstBad);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TypableTest,
    ::testing::Values(
        TypableCase{"Plain", "Project Intake 2026", std::nullopt}, TypableCase{"Empty", "", std::nullopt},
        TypableCase{"Accents", "Caf\xc3\xa9 \xe2\x80\xa6 \xf0\x9f\x98\x80", std::nullopt},
        TypableCase{"Escape", "abc\x1b[D", 3}, TypableCase{"Tab", "a\tb", 1},
        TypableCase{"NewLine", "a\n", 1}, TypableCase{"Nul", std::string("a\0", 2), 1},
        TypableCase{"Delete", "x\x7f", 1}, TypableCase{"C1Control", "ok\xc2\x9b", 2},
        TypableCase{"NextLineC1", "\xc2\x85", 0}, TypableCase{"NoBreakSpaceIsFine", "\xc2\xa0", std::nullopt},
        TypableCase{"Overlong", "\xc0\xaf", 0}, TypableCase{"OverlongThree", "a\xe0\x80\xaf", 1},
        TypableCase{"Surrogate", "\xed\xa0\x80", 0}, TypableCase{"TooHigh", "\xf4\x90\x80\x80", 0},
        TypableCase{"CutShort", "ab\xe2\x80", 2}, TypableCase{"StrayContinuation", "\x80", 0},
        TypableCase{"Latin1", "caf\xe9", 3}),
    testsupport::CaseName());

TEST(TypableAgreement, FindUntypableAgreesWithDecodingCharacterByCharacter) {
    // Two ways to the same answer: the field's check, and decoding with the front ends' decoder
    // and refusing control characters.
    std::mt19937 random(20261207);
    const std::vector<std::string> pieces{"a",
                                          " ",
                                          "\x1b",
                                          "\t",
                                          "\x7f",
                                          "\xc2\x9b",
                                          "\xc2\xa0",
                                          "\xc3\xa9",
                                          "\xe2\x80\xa6",
                                          "\xf0\x9f\x98\x80",
                                          "\xc0",
                                          "\x80",
                                          "\xed\xa0\x80",
                                          "\xf4\x90\x80\x80",
                                          "\xe2\x80",
                                          "\xff",
                                          "Z"};
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        size_t length = random() % 8;
        for (size_t i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
        std::optional<size_t> expected;
        for (size_t pos = 0; pos < text.size() && !expected;) {
            size_t start = pos;
            auto point = nextCodePoint(text, pos);
            if (!point || *point < 0x20 || (*point >= 0x7f && *point <= 0x9f)) expected = start;
        }
        ASSERT_EQ(TextField::findUntypable(text), expected) << DisplayText::printable(text);
        EXPECT_EQ(expected.has_value(), TextField().typeText(text) == false) << DisplayText::printable(text);
    }
}

}  // namespace
