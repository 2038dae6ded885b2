#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "tests/support/CaseName.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

class CountingDelegate : public WindowDelegate {
public:
    void windowWillClose(const Notification& n) override {
        ++calls;
        if (onClose) onClose(n);
    }
    int calls = 0;
    std::function<void(const Notification&)> onClose;
};

class WindowTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        window = std::make_shared<Window>("Dialog");
        delegate = std::make_shared<CountingDelegate>();
        window->setDelegate(delegate);
        window->makeKeyAndOrderFront();
    }
    std::shared_ptr<Window> window;
    std::shared_ptr<CountingDelegate> delegate;
};

struct CloseCase {
    const char* name;
    std::function<void(Window&)> close;
};

class WindowCloseTest : public WindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(WindowCloseTest, WindowWillCloseRunsHoweverTheWindowCloses) {
    int notes = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(
        kWindowWillCloseNotification, window.get(), [&](const Notification&) {
            EXPECT_EQ(delegate->calls, 1);  // delegate first
            ++notes;
        });
    GetParam().close(*window);
    EXPECT_EQ(delegate->calls, 1);
    EXPECT_EQ(notes, 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(app.keyWindow(), nullptr);
    NotificationCenter::defaultCenter().removeObserver(token);
}

INSTANTIATE_TEST_SUITE_P(Ways, WindowCloseTest,
                         ::testing::Values(CloseCase{"Close", [](Window& w) { w.close(); }},
                                           CloseCase{"OwnCloseControl", [](Window& w) { w.performClose(); }},
                                           CloseCase{"ParentClosing",
                                                     [](Window& w) {
                                                         auto parent = std::make_shared<Window>("Parent");
                                                         parent->makeKeyAndOrderFront();
                                                         Application::shared().beginSheet(
                                                             w.sharedAs<Window>(), parent);
                                                         parent->close();
                                                     }}),
                         testsupport::CaseName());

TEST_F(WindowTest, WindowWithoutCloseControlIgnoresPerformClose) {
    window->setClosable(false);
    window->performClose();
    EXPECT_EQ(delegate->calls, 0);
    EXPECT_TRUE(window->isVisible());
    window->close();  // a program can still close it
    EXPECT_EQ(delegate->calls, 1);
}

TEST_F(WindowTest, ClosingAgainFromInsideWindowWillCloseIsIgnored) {
    delegate->onClose = [this](const Notification& n) {
        EXPECT_EQ(n.object, window);
        window->close();
        window->performClose();
    };
    window->close();
    EXPECT_EQ(delegate->calls, 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, ClosingKeepsTheWindowAliveUntilItIsDone) {
    std::weak_ptr<Window> weak = window;
    delegate->onClose = [this](const Notification&) { window.reset(); };  // drops the caller's reference
    weak.lock()->close();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(delegate->calls, 1);
}

TEST_F(WindowTest, SettingTheFirstResponderToNoneCommitsTheEdit) {
    auto field = std::make_shared<TextField>("old");
    window->contentView()->addSubview(field);
    ASSERT_TRUE(field->typeText("new"));
    EXPECT_EQ(window->firstResponder(), field.get());
    EXPECT_EQ(field->stringValue(), "old");
    EXPECT_TRUE(window->makeFirstResponder(nullptr));
    EXPECT_EQ(field->stringValue(), "new");
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(window->firstResponder(), nullptr);
}

TEST_F(WindowTest, MovingFocusCommitsAndOnlyEditableViewsInTheWindowTakeIt) {
    auto first = std::make_shared<TextField>();
    auto second = std::make_shared<TextField>();
    auto label = std::make_shared<TextField>("Label");
    label->setEditable(false);
    auto button = std::make_shared<Button>("OK");
    for (auto& v : std::vector<std::shared_ptr<View>>{first, second, label, button})
        window->contentView()->addSubview(v);
    first->typeText("one");
    second->typeText("two");
    EXPECT_EQ(first->stringValue(), "one");
    EXPECT_TRUE(second->isEditing());
    EXPECT_FALSE(window->makeFirstResponder(label.get()));
    EXPECT_FALSE(window->makeFirstResponder(button.get()));
    auto elsewhere = std::make_shared<TextField>();
    EXPECT_FALSE(window->makeFirstResponder(elsewhere.get()));  // not in this window
    EXPECT_EQ(window->firstResponder(), second.get());
    EXPECT_FALSE(label->typeText("x"));
}

TEST_F(WindowTest, ClosingCommitsTheEditAndDropsFocus) {
    auto field = std::make_shared<TextField>();
    window->contentView()->addSubview(field);
    field->typeText("typed");
    window->close();
    EXPECT_EQ(field->stringValue(), "typed");
    EXPECT_EQ(window->firstResponder(), nullptr);
}

TEST_F(WindowTest, RemovingTheFocusedViewDropsFocus) {
    auto field = std::make_shared<TextField>();
    window->contentView()->addSubview(field);
    field->typeText("x");
    field->removeFromSuperview();
    EXPECT_EQ(window->firstResponder(), nullptr);
    EXPECT_EQ(field->window(), nullptr);
    EXPECT_EQ(field->stringValue(), "x");
}

TEST_F(WindowTest, DisplayCountsAndTellsTheFrontEnd) {
    struct Counter : FrontEnd {
        int runAlert(const AlertRequest&) override { return kAlertDefaultReturn; }
        void windowChanged(Window&) override { ++changes; }
        int changes = 0;
    } counter;
    app.setFrontEnd(&counter);
    window->display();
    window->display();
    EXPECT_EQ(window->displayCount(), 2);
    EXPECT_EQ(counter.changes, 2);
    app.setFrontEnd(nullptr);
}

}  // namespace
