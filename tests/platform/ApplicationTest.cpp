#include <gtest/gtest.h>

#include "platform/foundation/Log.h"
#include "platform/ui/Application.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

class ApplicationTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        previousSink = Log::setSink([this](std::string_view line) { logLines.emplace_back(line); });
    }
    void TearDown() override {
        Log::setSink(previousSink);
        UiTest::TearDown();
    }
    Log::Sink previousSink;
    std::vector<std::string> logLines;
};

TEST_F(ApplicationTest, SheetAttachesToItsParentAndEndingItGivesFocusBack) {
    auto parent = std::make_shared<Window>("Main");
    parent->makeKeyAndOrderFront();
    auto sheet = std::make_shared<Window>("Sheet");
    app.beginSheet(sheet, parent);
    EXPECT_EQ(sheet->sheetParent(), parent.get());
    EXPECT_EQ(parent->attachedSheet(), sheet);
    EXPECT_EQ(app.keyWindow(), sheet);
    EXPECT_EQ(app.mainWindow(), parent);  // a sheet never becomes main
    EXPECT_TRUE(logLines.empty());

    app.endSheet(sheet.get());
    EXPECT_FALSE(sheet->isSheet());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(parent->attachedSheet(), nullptr);
    EXPECT_EQ(app.keyWindow(), parent);
}

TEST_F(ApplicationTest, SecondSheetStacksOnTheFirst) {
    auto parent = std::make_shared<Window>("Main");
    parent->makeKeyAndOrderFront();
    auto first = std::make_shared<Window>("First");
    auto second = std::make_shared<Window>("Second");
    app.beginSheet(first, parent);
    app.beginSheet(second, parent);
    EXPECT_EQ(second->sheetParent(), first.get());
    EXPECT_EQ(app.keyWindow(), second);
}

TEST_F(ApplicationTest, SheetWithoutParentIsAFreeWindowAndSaysSo) {
    // No parent and no key window at all: nothing to attach to.
    ASSERT_EQ(app.keyWindow(), nullptr);
    auto sheet = std::make_shared<Window>("Orphan");
    app.beginSheet(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_FALSE(sheet->isSheet());
    EXPECT_EQ(app.keyWindow(), sheet);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find("\"Orphan\" has no window to attach to"), std::string::npos) << logLines[0];

    // Ending a sheet that never attached changes nothing; closing it works as for any window.
    app.endSheet(sheet.get());
    EXPECT_TRUE(sheet->isVisible());
    sheet->close();
    EXPECT_EQ(app.keyWindow(), nullptr);
}

TEST_F(ApplicationTest, BlockingModalLoopReturnsTheStopCodeAfterADispatchedClose) {
    auto modal = std::make_shared<Window>("Modal");
    std::vector<std::string> log;
    loop.dispatchAsync([&] {
        log.push_back("inside");
        EXPECT_EQ(app.modalWindow(), modal);
        EXPECT_EQ(loop.currentMode(), RunLoopMode::Modal);
        app.stopModalWithCode(42);
        modal->close();
    });
    EXPECT_EQ(app.runModalForWindow(modal), 42);
    log.push_back("returned");
    EXPECT_EQ(log, (std::vector<std::string>{"inside", "returned"}));
    EXPECT_FALSE(modal->isVisible());
    EXPECT_EQ(app.modalDepth(), 0);
    EXPECT_EQ(app.modalWindow(), nullptr);
    EXPECT_GE(modal->level(), Window::ModalPanelLevel);
}

TEST_F(ApplicationTest, ModalLoopWithNothingToDoFailsInsteadOfHanging) {
    auto modal = std::make_shared<Window>("Forgotten");
    EXPECT_THROW(app.runModalForWindow(modal), RunLoopStalled);
    EXPECT_EQ(app.modalDepth(), 0);  // the loop's state is undone on the way out
}

TEST_F(ApplicationTest, NestedModalLoopsStopInnermostFirst) {
    auto outer = std::make_shared<Window>("Outer");
    auto inner = std::make_shared<Window>("Inner");
    int64_t innerCode = 0;
    std::vector<int> depths;
    loop.dispatchAsync([&] {
        depths.push_back(app.modalDepth());
        loop.dispatchAsync([&] {
            depths.push_back(app.modalDepth());
            app.stopModalWithCode(2);  // ends the inner loop only
        });
        innerCode = app.runModalForWindow(inner);
        depths.push_back(app.modalDepth());
        EXPECT_EQ(app.modalWindow(), outer);
        app.stopModalWithCode(1);
    });
    EXPECT_EQ(app.runModalForWindow(outer), 1);
    EXPECT_EQ(innerCode, 2);
    EXPECT_EQ(depths, (std::vector<int>{1, 2, 1}));
}

TEST_F(ApplicationTest, ModalSessionDoesNotBlockAndEndsCleanly) {
    auto panel = std::make_shared<Window>("Panel");
    auto session = app.beginModalSessionForWindow(panel);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->window.lock(), panel);
    EXPECT_EQ(app.modalWindow(), panel);
    EXPECT_EQ(app.keyWindow(), panel);
    EXPECT_EQ(app.modalDepth(), 1);
    app.stopModalWithCode(9);  // a session is not a blocking loop: nothing to stop
    EXPECT_EQ(app.modalDepth(), 1);
    app.endModalSession(session);
    EXPECT_EQ(app.modalDepth(), 0);
    EXPECT_EQ(app.modalWindow(), nullptr);
}

TEST_F(ApplicationTest, BecomingMainPostsTheNotificationOnce) {
    std::vector<ObjectPtr> posted;
    auto token = NotificationCenter::defaultCenter().addObserver(
        kWindowDidBecomeMainNotification, nullptr,
        [&](const Notification& n) { posted.push_back(n.object); });
    auto first = std::make_shared<Window>("First");
    auto panel = std::make_shared<Window>("Panel");
    panel->setCanBecomeMainWindow(false);
    first->makeKeyAndOrderFront();
    first->makeKeyAndOrderFront();  // already main: no second post
    panel->makeKeyAndOrderFront();  // panels take focus but not main
    EXPECT_EQ(app.mainWindow(), first);
    EXPECT_EQ(app.keyWindow(), panel);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0], first);
    NotificationCenter::defaultCenter().removeObserver(token);
}

TEST_F(ApplicationTest, ClosingTheKeyWindowGivesFocusToTheNextOne) {
    auto back = std::make_shared<Window>("Back");
    auto front = std::make_shared<Window>("Front");
    back->makeKeyAndOrderFront();
    front->makeKeyAndOrderFront();
    ASSERT_EQ(app.windows().front(), front);
    front->close();
    EXPECT_EQ(app.keyWindow(), back);
    EXPECT_EQ(app.mainWindow(), back);
    EXPECT_EQ(app.windows().size(), 1u);
    back->close();
    EXPECT_EQ(app.keyWindow(), nullptr);
    EXPECT_EQ(app.mainWindow(), nullptr);
}

TEST_F(ApplicationTest, ClosingAParentClosesItsSheet) {
    auto parent = std::make_shared<Window>("Main");
    parent->makeKeyAndOrderFront();
    auto sheet = std::make_shared<Window>("Sheet");
    app.beginSheet(sheet, parent);
    parent->close();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(app.windows().empty());
}

TEST_F(ApplicationTest, AlertsWithoutAFrontEndAreLoggedAndTakeTheDefault) {
    EXPECT_EQ(app.runAlertPanel({"Zandrel", "Saved.", "OK", "Cancel", "", false}), kAlertDefaultReturn);
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_NE(logLines[0].find("Saved."), std::string::npos);
    EXPECT_FALSE(app.presentError("Disk full"));
    EXPECT_FALSE(app.openURL("https://example.org"));
}

}  // namespace
