// The command interpreter hands every act to its front end (the desktop clicks its widgets there)
// after checking it against the model, and says a front end's refusal in the front end's words
// or, without any, in its own.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/CommandInterpreter.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

class Ticks : public TableViewDataSource {
public:
    size_t numberOfRowsInTableView(const TableView&) override { return 2; }
    Value objectValueForTableColumnRow(const TableView&, const TableColumn&, size_t row) override {
        return Value(row == 1);
    }
};

// A front end that only records the acts it is asked for, and refuses them when told to.
class RecordingHost : public CommandInterpreter::Host {
public:
    void say(std::string_view text) override { said += text; }
    void show() override {}
    const AlertRequest* waitingAlert() override { return nullptr; }
    void answerAlert(int) override {}
    void quit() override { acts.push_back("quit"); }
    Act click(Button& b) override { return record("click " + b.identifier()); }
    Act choosePopUpItem(PopUpButton& p, size_t i) override {
        return record(p.identifier() + " item " + std::to_string(i));
    }
    Act selectRow(TableView& t, int64_t row) override {
        return record(t.identifier() + " row " + std::to_string(row));
    }
    Act typeText(TextField& f, const std::string& text) override {
        return record("type " + f.identifier() + " " + text);
    }
    Act toggleCell(TableView& t, size_t column, size_t row) override {
        return record(fmt::format("tick {} {},{}", t.identifier(), column, row));
    }
    Act close(Window&) override { return record("close"); }

    Act record(std::string act) {
        acts.push_back(std::move(act));
        return refusal ? *refusal : Act::ok();
    }
    std::vector<std::string> acts;
    std::string said;
    std::optional<Act> refusal;
};

class CommandInterpreterTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        window = std::make_shared<Window>("Acts");
        window->setClosable(true);
        auto& content = *window->contentView();
        auto popUp = std::make_shared<PopUpButton>();
        popUp->setIdentifier("templates");
        for (auto t : {"Contacts", "Projects"}) popUp->addItemWithTitle(t);
        content.addSubview(popUp);
        auto field = std::make_shared<TextField>();
        field->setIdentifier("name");
        content.addSubview(field);
        auto ok = std::make_shared<Button>("Duplicate");
        ok->setIdentifier("ok");
        content.addSubview(ok);
        auto table = std::make_shared<TableView>();
        table->setIdentifier("users");
        table->addTableColumn({"active", "Active", true});
        table->setDataSource(ticks);
        content.addSubview(table);
        window->makeKeyAndOrderFront();
    }

    std::shared_ptr<Ticks> ticks = std::make_shared<Ticks>();
    std::shared_ptr<Window> window;
    RecordingHost host;
    CommandInterpreter interpreter{host};
};

TEST_F(CommandInterpreterTest, EveryActGoesThroughTheFrontEnd) {
    struct Case {
        const char* line;
        const char* act;
    };
    for (const Case& c :
         {Case{"press Duplicate", "click ok"}, Case{"select templates projects", "templates item 1"},
          Case{"select templates 1", "templates item 0"}, Case{"select users 2", "users row 1"},
          Case{"select users none", "users row -1"}, Case{"type name Copy of it", "type name Copy of it"},
          Case{"tick users 2", "tick users 0,1"}, Case{"close", "close"}, Case{"quit", "quit"}}) {
        host.acts.clear();
        EXPECT_TRUE(interpreter.execute(c.line)) << c.line << ": " << host.said;
        EXPECT_EQ(host.acts, std::vector<std::string>{c.act}) << c.line;
    }
}

TEST_F(CommandInterpreterTest, ARefusalIsSaidInTheFrontEndsWordsOrTheInterpreters) {
    host.refusal = CommandInterpreter::Act::refused("\"ok\" is not shown on the desktop yet.");
    EXPECT_FALSE(interpreter.execute("press ok"));
    EXPECT_EQ(interpreter.lastError(), "\"ok\" is not shown on the desktop yet.");
    host.refusal = CommandInterpreter::Act::refused();
    EXPECT_FALSE(interpreter.execute("press ok"));
    EXPECT_EQ(interpreter.lastError(), "The button \"Duplicate\" is disabled.");
    // What the model refuses never reaches the front end.
    host.acts.clear();
    EXPECT_FALSE(interpreter.execute("select templates 3"));
    EXPECT_FALSE(interpreter.execute("type ok text"));
    EXPECT_TRUE(host.acts.empty());
    EXPECT_NE(host.said.find("\"ok\" is a button, not a text field."), std::string::npos) << host.said;
}

}  // namespace
