#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/TextField.h"
#include "tests/support/CaseName.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;
using testsupport::RecordingTarget;

namespace {

class ScriptedFrontEndTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ui = std::make_unique<ScriptedFrontEnd>();
        target = std::make_shared<RecordingTarget>(
            std::set<std::string>{"run:", "choose:", "tick:", "duplicate:"});
        window = std::make_shared<Window>("Dialog");
        auto& content = *window->contentView();
        auto ok = std::make_shared<Button>("Duplicate");
        ok->setIdentifier("ok");
        ok->setAction("run:");
        ok->setTarget(target);
        content.addSubview(ok);
        auto box = std::make_shared<Button>("All users", Button::Kind::CheckBox);
        box->setIdentifier("all");
        box->setState(Button::Mixed);
        box->setAction("tick:");
        box->setTarget(target);
        content.addSubview(box);
        popUp = std::make_shared<PopUpButton>();
        popUp->setIdentifier("templates");
        for (auto title : {"Contacts", "Projects", "Orders"}) popUp->addItemWithTitle(title);
        popUp->setAction("choose:");
        popUp->setTarget(target);
        content.addSubview(popUp);
        field = std::make_shared<TextField>("old");
        field->setIdentifier("name");
        content.addSubview(field);
        auto hidden = std::make_shared<Button>("Secret");
        hidden->setIdentifier("secret");
        hidden->setHidden(true);
        content.addSubview(hidden);
        window->makeKeyAndOrderFront();
    }
    void TearDown() override {
        ui.reset();
        UiTest::TearDown();
    }
    AlertRequest threeButtons() const {
        return {"Zandrel", "Replace it?", "Replace", "Cancel", "Keep both", false};
    }

    std::unique_ptr<ScriptedFrontEnd> ui;
    std::shared_ptr<RecordingTarget> target;
    std::shared_ptr<Window> window;
    std::shared_ptr<PopUpButton> popUp;
    std::shared_ptr<TextField> field;
};

TEST_F(ScriptedFrontEndTest, InstallsItselfAndUninstallsOnDestruction) {
    EXPECT_EQ(app.frontEnd(), ui.get());
    ui.reset();
    EXPECT_EQ(app.frontEnd(), nullptr);
}

struct AnswerCase {
    const char* name;
    std::optional<std::string> title;
    int value;
    int expected;
    const char* expectedTitle;
};

class AlertAnswerTest : public ScriptedFrontEndTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AlertAnswerTest, ScriptedAnswerPicksTheButton) {
    const auto& c = GetParam();
    if (c.title)
        ui->answerAlert(*c.title);
    else
        ui->answerAlertWithReturn(c.value);
    EXPECT_EQ(app.runAlertPanel(threeButtons()), c.expected);
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().answer, c.expected);
    EXPECT_EQ(ui->lastAlert().answerTitle, c.expectedTitle);
    EXPECT_EQ(ui->lastAlert().buttons, (std::vector<std::string>{"Replace", "Cancel", "Keep both"}));
    EXPECT_EQ(ui->pendingAnswers(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AlertAnswerTest,
    ::testing::Values(AnswerCase{"DefaultByTitle", "Replace", 0, kAlertDefaultReturn, "Replace"},
                      AnswerCase{"AlternateByTitle", "Cancel", 0, kAlertAlternateReturn, "Cancel"},
                      AnswerCase{"OtherByTitle", "Keep both", 0, kAlertOtherReturn, "Keep both"},
                      AnswerCase{"TitleIgnoringCase", "cancel", 0, kAlertAlternateReturn, "Cancel"},
                      AnswerCase{"DefaultByValue", std::nullopt, 1, kAlertDefaultReturn, "Replace"},
                      AnswerCase{"OtherByValue", std::nullopt, -1, kAlertOtherReturn, "Keep both"}),
    testsupport::CaseName());

TEST_F(ScriptedFrontEndTest, AnswersAreUsedInOrder) {
    ui->answerAlert("Cancel");
    ui->answerAlert("Replace");
    EXPECT_EQ(app.runAlertPanel(threeButtons()), kAlertAlternateReturn);
    EXPECT_EQ(app.runAlertPanel(threeButtons()), kAlertDefaultReturn);
}

TEST_F(ScriptedFrontEndTest, AlertWithoutAnswerFailsNamingIt) {
    try {
        app.runAlertPanel({"Zandrel", "The form was duplicated.", "OK", "", "", true});
        FAIL() << "an unanswered alert must throw";
    } catch (const ScriptedFrontEndError& e) {
        EXPECT_NE(std::string(e.what()).find("Zandrel"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("The form was duplicated."), std::string::npos) << e.what();
    }
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_TRUE(ui->lastAlert().informational);
}

TEST_F(ScriptedFrontEndTest, AnswerNamingAMissingButtonFailsListingTheButtons) {
    ui->answerAlert("Delete");
    ui->answerAlertWithReturn(kAlertOtherReturn);
    AlertRequest oneButton{"Zandrel", "Done.", "OK", "", "", false};
    EXPECT_THROW(
        {
            try {
                app.runAlertPanel(oneButton);
            } catch (const ScriptedFrontEndError& e) {
                EXPECT_NE(std::string(e.what()).find("\"Delete\""), std::string::npos) << e.what();
                EXPECT_NE(std::string(e.what()).find("OK"), std::string::npos) << e.what();
                throw;
            }
        },
        ScriptedFrontEndError);
    EXPECT_THROW(app.runAlertPanel(oneButton), ScriptedFrontEndError);  // no "other" button
}

TEST_F(ScriptedFrontEndTest, AlertRecordsKeyWindowAndOpenSheet) {
    auto sheet = std::make_shared<Window>("Sheet");
    app.beginSheet(sheet, window);
    ui->answerAlert("OK");
    app.runAlertPanel({"During", "", "OK", "", "", false});
    app.endSheet(sheet.get());
    ui->answerAlert("OK");
    app.runAlertPanel({"After", "", "OK", "", "", false});
    window->close();
    ui->answerAlert("OK");
    app.runAlertPanel({"Nothing open", "", "", "", "", false});

    ASSERT_EQ(ui->alerts().size(), 3u);
    EXPECT_TRUE(ui->alerts()[0].sheetOpen);
    EXPECT_EQ(ui->alerts()[0].keyWindowTitle, "Sheet");
    EXPECT_FALSE(ui->alerts()[1].sheetOpen);
    EXPECT_EQ(ui->alerts()[1].keyWindowTitle, "Dialog");
    EXPECT_FALSE(ui->alerts()[2].hadKeyWindow);
    EXPECT_EQ(ui->alerts()[2].buttons, std::vector<std::string>{"OK"});  // untitled default is "OK"
}

TEST_F(ScriptedFrontEndTest, FindsVisibleViewsAndExplainsMisses) {
    EXPECT_EQ(ui->findView("name"), field);
    EXPECT_EQ(ui->find<PopUpButton>("templates"), popUp);
    EXPECT_EQ(ui->findButton("Duplicate")->identifier(), "ok");
    EXPECT_EQ(ui->findButton("all users")->identifier(), "all");  // a title ignoring case

    auto message = [&](auto&& f) {
        try {
            f();
        } catch (const ScriptedFrontEndError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(message([&] { ui->findView("missing"); }).find("no view \"missing\""), std::string::npos);
    EXPECT_NE(message([&] { ui->findView("secret"); }).find("no view"), std::string::npos);
    EXPECT_NE(message([&] { ui->find<TextField>("ok"); }).find("Button"), std::string::npos);
    EXPECT_NE(message([&] { ui->findButton("name"); }).find("TextField"), std::string::npos);
    window->close();
    EXPECT_EQ(message([&] { ui->findView("name"); }), "no window is key");
}

TEST_F(ScriptedFrontEndTest, ActsOnControlsLikeAPerson) {
    EXPECT_TRUE(ui->selectPopUpItem("templates", "Orders"));
    EXPECT_EQ(popUp->indexOfSelectedItem(), 2);
    EXPECT_TRUE(ui->selectPopUpItem("templates", int64_t{1}));
    EXPECT_EQ(popUp->titleOfSelectedItem(), "Projects");
    EXPECT_THROW(ui->selectPopUpItem("templates", "Invoices"), ScriptedFrontEndError);
    EXPECT_THROW(ui->selectPopUpItem("templates", int64_t{3}), ScriptedFrontEndError);

    EXPECT_TRUE(ui->typeText("name", "Projects 2"));
    EXPECT_EQ(field->stringValue(), "old");  // still being edited
    EXPECT_EQ(window->firstResponder(), field.get());
    window->makeFirstResponder(nullptr);
    EXPECT_EQ(field->stringValue(), "Projects 2");

    auto box = ui->find<Button>("all");
    EXPECT_TRUE(ui->tickCheckBox("all"));
    EXPECT_EQ(box->state(), Button::On);  // mixed -> on
    EXPECT_TRUE(ui->tickCheckBox("all"));
    EXPECT_EQ(box->state(), Button::Off);
    EXPECT_THROW(ui->tickCheckBox("ok"), ScriptedFrontEndError);

    EXPECT_TRUE(ui->pressButton("ok"));
    EXPECT_EQ(target->calls, (std::vector<std::string>{"choose:", "choose:", "tick:", "tick:", "run:"}));

    ui->findButton("ok")->setEnabled(false);
    EXPECT_FALSE(ui->pressButton("Duplicate"));
    EXPECT_EQ(target->calls.size(), 5u);
}

TEST_F(ScriptedFrontEndTest, ChoosesMenuCommandsByPath) {
    auto bar = std::make_shared<Menu>("Main");
    auto plugins = std::make_shared<Menu>("Plug-ins");
    auto zandrel = std::make_shared<Menu>("Zandrel");
    zandrel->addItemWithTitle("Duplicate form definition", "duplicate:", "")->setTarget(target);
    zandrel->addItem(MenuItem::separatorItem());
    zandrel->addItemWithTitle("Disabled", "run:", "")->setTarget(target);
    plugins->addItemWithTitle("Zandrel", "", "")->setSubmenu(zandrel);
    bar->addItemWithTitle("Plug-ins", "", "")->setSubmenu(plugins);
    app.setMainMenu(bar);
    target->disabled.insert("run:");

    EXPECT_TRUE(ui->chooseMenu("Plug-ins > Zandrel > Duplicate form definition"));
    EXPECT_FALSE(ui->chooseMenu({"Plug-ins", "Zandrel", "Disabled"}));
    EXPECT_EQ(target->calls, std::vector<std::string>{"duplicate:"});
    try {
        ui->chooseMenu("Plug-ins > Zandrel > Delete");
        FAIL();
    } catch (const ScriptedFrontEndError& e) {
        EXPECT_NE(std::string(e.what()).find("\"Duplicate form definition\", \"Disabled\""),
                  std::string::npos)
            << e.what();
    }
    EXPECT_THROW(ui->chooseMenu("Plug-ins > Zandrel"), ScriptedFrontEndError);  // a submenu, not a command
    EXPECT_THROW(ui->chooseMenu(""), ScriptedFrontEndError);
}

TEST_F(ScriptedFrontEndTest, LaterActionsEndABlockingModalLoop) {
    auto modal = std::make_shared<Window>("Modal");
    auto cancel = std::make_shared<Button>("Cancel");
    cancel->setAction("run:");
    cancel->setTarget(target);
    modal->contentView()->addSubview(cancel);
    target->handlers["run:"] = [&] {
        app.stopModalWithCode(2);
        modal->close();
    };
    ui->later([&] { EXPECT_TRUE(ui->pressButton("Cancel")); });
    EXPECT_EQ(app.runModalForWindow(modal), 2);
    EXPECT_FALSE(modal->isVisible());
}

TEST_F(ScriptedFrontEndTest, ClosesByTheWindowsOwnControlAndRecordsURLs) {
    window->setClosable(false);
    EXPECT_FALSE(ui->closeWindow());
    EXPECT_TRUE(window->isVisible());
    window->setClosable(true);
    EXPECT_TRUE(ui->closeWindow(window.get()));
    EXPECT_FALSE(window->isVisible());

    EXPECT_TRUE(app.openURL("https://example.org/download"));
    ui->setOpenURLSucceeds(false);
    EXPECT_FALSE(app.openURL("https://example.org/other"));
    EXPECT_EQ(ui->openedURLs(),
              (std::vector<std::string>{"https://example.org/download", "https://example.org/other"}));
    EXPECT_GT(ui->windowChangeCount(), 0);
}

}  // namespace
