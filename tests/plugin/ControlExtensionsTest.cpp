// The framework's extensions of pop-up buttons, menu items, text fields, progress indicators,
// popovers, timers and windows.

#include <gtest/gtest.h>

#include <chrono>

#include "framework/Categories/NSMenuItem+VEXA.h"
#include "framework/Categories/NSPopUpButton+VEXA.h"
#include "framework/Categories/NSPopover+VEXA.h"
#include "framework/Categories/NSProgressIndicator+VEXA.h"
#include "framework/Categories/NSTextField+VEXA.h"
#include "framework/Categories/NSTimer+VEXA.h"
#include "framework/Categories/NSWindow+VEXA.h"
#include "framework/Classes/VEXAPlugin.h"
#include "framework/Classes/VEXAPluginSession.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/Popover.h"
#include "platform/ui/ProgressIndicator.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "tests/support/UiTestSupport.h"

namespace {

using namespace std::chrono_literals;

class Thing : public platform::Object {};

TEST(PopUpExtension, SelectsTheFirstItemStandingForTheObject) {
    auto a = std::make_shared<Thing>();
    auto b = std::make_shared<Thing>();
    auto stranger = std::make_shared<Thing>();
    struct Case {
        const char* name;
        std::vector<platform::ObjectPtr> represented;  // one per item
        platform::ObjectPtr wanted;
        int64_t selectedBefore;
        int64_t selectedAfter;
    };
    const Case cases[] = {
        {"match", {nullptr, a, b}, b, 0, 2},
        {"equal objects: the first wins", {nullptr, b, a, b}, b, 0, 1},
        {"no match keeps the selection", {a, b}, stranger, 1, 1},
        {"no object matches no item", {nullptr, a}, nullptr, 1, 1},
        {"no items", {}, a, -1, -1},
        {"nothing selected and no match", {a}, b, -1, -1},
    };
    for (const auto& c : cases) {
        platform::PopUpButton button;
        for (size_t i = 0; i < c.represented.size(); ++i)
            button.addItemWithTitle("item " + std::to_string(i))->setRepresentedObject(c.represented[i]);
        button.selectItemAtIndex(c.selectedBefore);
        kopaSelectItemWithRepresentedObject(button, c.wanted);
        EXPECT_EQ(button.indexOfSelectedItem(), c.selectedAfter) << c.name;
    }
}

TEST(PopUpExtension, SelectingSendsNoAction) {
    auto target = std::make_shared<testsupport::RecordingTarget>(std::set<std::string>{"chosen:"});
    auto thing = std::make_shared<Thing>();
    platform::PopUpButton button;
    button.addItemWithTitle("first");
    button.addItemWithTitle("second")->setRepresentedObject(thing);
    button.setTarget(target);
    button.setAction("chosen:");
    kopaSelectItemWithRepresentedObject(button, thing);
    EXPECT_EQ(button.indexOfSelectedItem(), 1);
    EXPECT_TRUE(target->calls.empty());
}

TEST(TextExtensions, NoTextLeavesAnEmptyTitleOrValueNeverThePreviousOne) {
    for (std::optional<std::string> text :
         {std::optional<std::string>("New"), std::optional<std::string>(""), std::optional<std::string>()}) {
        platform::MenuItem item("Old", "", "");
        kopaSetTitle(item, text);
        EXPECT_EQ(item.title(), text.value_or(""));

        platform::TextField field("Old");
        ASSERT_TRUE(field.typeText("being typed"));
        kopaSetStringValue(field, text);
        EXPECT_EQ(field.stringValue(), text.value_or(""));
        EXPECT_FALSE(field.isEditing());
    }
}

TEST(TextExtensions, EllipsizingWrapsByCharactersAndTruncatesTheLastLine) {
    platform::TextField field;
    ASSERT_NE(field.lineBreakMode(), platform::TextField::LineBreakMode::CharWrapping);
    ASSERT_FALSE(field.truncatesLastVisibleLine());
    kopaEllipsizeControl(field);
    EXPECT_EQ(static_cast<int>(field.lineBreakMode()), 1);
    EXPECT_TRUE(field.truncatesLastVisibleLine());
}

// Notes what the indicator looked like at each call, to check the order of the steps.
class WatchedIndicator : public platform::ProgressIndicator {
public:
    void setDoubleValue(double value) override {
        calls.push_back("value");
        ProgressIndicator::setDoubleValue(value);
    }
    void setIndeterminate(bool indeterminate) override {
        calls.push_back("indeterminate");
        ProgressIndicator::setIndeterminate(indeterminate);
    }
    void startAnimation() override {
        calls.push_back(isHidden() ? "start while hidden" : "start while shown");
        ProgressIndicator::startAnimation();
    }
    void stopAnimation() override {
        calls.push_back(isHidden() ? "stop while hidden" : "stop while shown");
        ProgressIndicator::stopAnimation();
    }
    std::vector<std::string> calls;
};

TEST(ProgressExtensions, StartResetsStylesShowsAndAnimatesInOrderAndStopHides) {
    for (bool indeterminate : {false, true}) {
        WatchedIndicator indicator;
        indicator.setHidden(true);
        indicator.setIndeterminate(!indeterminate);
        indicator.setDoubleValue(42);
        indicator.calls.clear();

        kopaStartAnimationIndeterminate(indicator, indeterminate);
        EXPECT_EQ(indicator.calls, (std::vector<std::string>{"value", "indeterminate", "start while shown"}));
        EXPECT_EQ(indicator.doubleValue(), 0.0);
        EXPECT_EQ(indicator.isIndeterminate(), indeterminate);
        EXPECT_FALSE(indicator.isHidden());
        EXPECT_TRUE(indicator.isAnimating());

        indicator.calls.clear();
        kopaStopAnimationAndHide(indicator);
        EXPECT_EQ(indicator.calls, (std::vector<std::string>{"stop while shown"}));
        EXPECT_FALSE(indicator.isAnimating());
        EXPECT_TRUE(indicator.isHidden());
    }
}

TEST(PopoverExtensions, EachSideShowsAtTheWholeViewWithItsEdge) {
    struct Case {
        void (*show)(platform::Popover&, const std::shared_ptr<platform::View>&);
        int edge;
    };
    auto view = std::make_shared<platform::View>(platform::Rect{40, 50, 120, 30});
    for (auto [show, edge] : {Case{kopaShowBeneathView, 1}, Case{kopaShowAboveView, 3},
                              Case{kopaShowLeftToView, 0}, Case{kopaShowRightToView, 2}}) {
        platform::Popover popover;
        show(popover, view);
        EXPECT_TRUE(popover.isShown());
        EXPECT_EQ(popover.positioningView(), view);
        EXPECT_EQ(popover.positioningRect(), (platform::Rect{0, 0, 120, 30}));
        EXPECT_EQ(static_cast<int>(popover.preferredEdge()), edge);
    }
    platform::Popover popover;
    kopaShowAboveView(popover, nullptr);
    EXPECT_FALSE(popover.isShown());
}

TEST(PopoverExtensions, APopoverWhoseViewWentAwayIsNoLongerShown) {
    platform::Popover popover;
    {
        auto view = std::make_shared<platform::View>(platform::Rect{0, 0, 10, 10});
        kopaShowBeneathView(popover, view);
        EXPECT_TRUE(popover.isShown());
    }
    EXPECT_FALSE(popover.isShown());
}

TEST(WindowExtensions, StayOnTopFollowsTheFloatingLevel) {
    platform::Window window;
    EXPECT_FALSE(kopaStayOnTop(window));
    setKopaStayOnTop(window, true);
    EXPECT_TRUE(kopaStayOnTop(window));
    EXPECT_EQ(window.level(), platform::Window::FloatingLevel);
    setKopaStayOnTop(window, false);
    EXPECT_FALSE(kopaStayOnTop(window));
    EXPECT_EQ(window.level(), platform::Window::NormalLevel);
    window.setLevel(platform::Window::ModalPanelLevel);
    EXPECT_FALSE(kopaStayOnTop(window));
}

class SessionTimerTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        KOPAPluginSession::sharedPluginSession()->clear();
    }
    void TearDown() override {
        KOPAPluginSession::sharedPluginSession()->clear();
        UiTest::TearDown();
    }
};

TEST_F(SessionTimerTest, ARegisteredTimerStopsAtSignOff) {
    int fired = 0;
    std::weak_ptr<KOPATimer> weak;
    {
        auto timer = KOPATimer::scheduledTimer(1min, true, [&](platform::Timer&) { ++fired; });
        weak = timer;
        KOPAPluginSession::sharedPluginSession()->registerSessionObject(timer);
    }
    loop.advanceBy(3min);
    EXPECT_EQ(fired, 3);
    platform::NotificationCenter::defaultCenter().post(KOPAUserSignedOffNotification);
    loop.advanceBy(10min);
    EXPECT_EQ(fired, 3);
    // Neither the registry nor the run loop holds it any more.
    EXPECT_TRUE(weak.expired());
}

TEST_F(SessionTimerTest, DisposeInvalidatesOnceAndAOneShotNeedsNone) {
    int fired = 0;
    auto oneShot = KOPATimer::scheduledTimer(5s, false, [&](platform::Timer& t) {
        ++fired;
        EXPECT_FALSE(t.isValid());
    });
    EXPECT_TRUE(oneShot->isValid());
    loop.advanceBy(10s);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(oneShot->isValid());
    oneShot->dispose();  // already done: nothing happens
    auto repeating = KOPATimer::scheduledTimer(5s, true, [&](platform::Timer&) { ++fired; });
    repeating->dispose();
    repeating->dispose();
    loop.advanceBy(1min);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(loop.timerCount(), 0u);
}

}  // namespace
