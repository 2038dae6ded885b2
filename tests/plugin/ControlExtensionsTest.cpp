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
#include "framework/Categories/NSView+VEXAAutoLayout.h"
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
#include "platform/ui/layout/LayoutError.h"
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

using platform::LayoutAttribute;
using platform::Rect;
using platform::View;

// A root with three translating-off subviews whose heights are fixed and tops free but for
// `tops` preferences, so alignment decides where they land.
struct AlignFixture {
    std::shared_ptr<View> root = std::make_shared<View>(Rect{0, 0, 400, 300});
    std::vector<std::shared_ptr<View>> views;
    AlignFixture() {
        for (double top : {10.0, 50.0, 90.0}) {
            auto v = std::make_shared<View>();
            v->setTranslatesAutoresizingMaskIntoConstraints(false);
            root->addSubview(v);
            auto left = platform::ViewConstraint::make(v, LayoutAttribute::Left,
                                                       platform::LayoutRelation::Equal, top);
            auto width = platform::ViewConstraint::make(v, LayoutAttribute::Width,
                                                        platform::LayoutRelation::Equal, 20);
            auto height = platform::ViewConstraint::make(v, LayoutAttribute::Height,
                                                         platform::LayoutRelation::Equal, 10);
            auto where =
                platform::ViewConstraint::make(v, LayoutAttribute::Top, platform::LayoutRelation::Equal, top);
            where->setPriority(250);
            root->addConstraints({left, width, height, where});
            views.push_back(v);
        }
    }
};

TEST(AlignExtensions, AlignViewsTiesEveryViewToTheSecondOne) {
    AlignFixture f;
    size_t before = f.root->constraints().size();
    auto added = alignViews(*f.root, f.views, LayoutAttribute::Top);
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(f.root->constraints().size(), before + 3);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(added[i]->firstItem(), f.views[i]);
        EXPECT_EQ(added[i]->secondItem(), f.views[1]);
        EXPECT_EQ(added[i]->firstAttribute(), LayoutAttribute::Top);
        EXPECT_EQ(added[i]->secondAttribute(), LayoutAttribute::Top);
        EXPECT_EQ(added[i]->multiplier(), 1.0);
        EXPECT_EQ(added[i]->constant(), 0.0);
        EXPECT_EQ(added[i]->priority(), 1000.0);
    }
    f.root->layoutSubtreeIfNeeded();
    EXPECT_EQ(f.views[0]->frame().y, f.views[1]->frame().y);
    EXPECT_EQ(f.views[2]->frame().y, f.views[1]->frame().y);
}

TEST(AlignExtensions, FewerThanTwoViewsAddNothing) {
    AlignFixture f;
    size_t before = f.root->constraints().size();
    EXPECT_TRUE(alignViews(*f.root, {}, LayoutAttribute::Top).empty());
    EXPECT_TRUE(alignViews(*f.root, {f.views[0]}, LayoutAttribute::Top).empty());
    EXPECT_EQ(f.root->constraints().size(), before);
}

TEST(AlignExtensions, AlignViewAndARefusedAlignmentInstallsNothing) {
    AlignFixture f;
    auto c = alignView(*f.root, f.views[0], f.views[2], LayoutAttribute::CenterY);
    EXPECT_EQ(c->installedView(), f.root.get());
    f.root->layoutSubtreeIfNeeded();
    EXPECT_EQ(f.views[0]->frame().y + 5, f.views[2]->frame().y + 5);

    // A view outside the root cannot be aligned: the two constraints installed before it are
    // taken back.
    size_t before = f.root->constraints().size();
    auto outsider = std::make_shared<View>();
    EXPECT_THROW(alignViews(*f.root, {f.views[0], f.views[1], outsider}, LayoutAttribute::Left),
                 platform::LayoutError);
    EXPECT_EQ(f.root->constraints().size(), before);
}

TEST(WindowExtensions, ATitleBarViewSitsTwoBelowTheTopAndEightInFromTheRight) {
    platform::Window window("Title", Rect{0, 0, 500, 300});
    auto frameView = std::make_shared<View>(Rect{0, 0, 500, 322});
    frameView->addSubview(window.contentView());
    auto button = std::make_shared<View>();
    auto w =
        platform::ViewConstraint::make(button, LayoutAttribute::Width, platform::LayoutRelation::Equal, 60);
    auto h =
        platform::ViewConstraint::make(button, LayoutAttribute::Height, platform::LayoutRelation::Equal, 16);
    ASSERT_TRUE(kopaAddViewToRightEdgeOfTitleBar(window, button));
    EXPECT_FALSE(button->translatesAutoresizingMaskIntoConstraints());
    EXPECT_EQ(button->superview(), frameView.get());
    ASSERT_EQ(frameView->constraints().size(), 2u);
    frameView->addConstraints({w, h});
    frameView->layoutSubtreeIfNeeded();
    EXPECT_EQ(button->frame(), (Rect{500 - 8 - 60, 2, 60, 16}));
}

TEST(WindowExtensions, AWindowMakesItsFrameViewForTheTitleBarAndKeepsItsContent) {
    platform::Window window("Title", Rect{0, 0, 500, 300});
    auto content = window.contentView();
    auto field = std::make_shared<View>(Rect{20, 30, 100, 22});
    content->addSubview(field);
    auto button = std::make_shared<View>();
    button->addConstraints(
        {platform::ViewConstraint::make(button, LayoutAttribute::Width, platform::LayoutRelation::Equal, 60),
         platform::ViewConstraint::make(button, LayoutAttribute::Height, platform::LayoutRelation::Equal,
                                        16)});
    ASSERT_TRUE(kopaAddViewToRightEdgeOfTitleBar(window, button));
    ASSERT_NE(content->superview(), nullptr);
    EXPECT_EQ(button->superview(), content->superview());
    EXPECT_EQ(window.contentView(), content);
    EXPECT_EQ(button->window(), &window);
    EXPECT_EQ(field->window(), &window);
    window.layoutIfNeeded();
    EXPECT_EQ(button->frame(), (Rect{500 - 8 - 60, 2, 60, 16}));
    EXPECT_EQ(content->frame(), (Rect{0, 0, 500, 300}));
    EXPECT_EQ(field->frame(), (Rect{20, 30, 100, 22}));

    // A new content view takes the old one's place in the frame view.
    auto replacement = std::make_shared<View>(Rect{0, 0, 500, 300});
    window.setContentView(replacement);
    EXPECT_EQ(content->superview(), nullptr);
    EXPECT_EQ(content->window(), nullptr);
    EXPECT_EQ(replacement->superview(), button->superview());
    EXPECT_EQ(replacement->window(), &window);
}

TEST(WindowExtensions, NoViewOrNoContentChangesNothing) {
    platform::Window window;
    EXPECT_FALSE(kopaAddViewToRightEdgeOfTitleBar(window, nullptr));
    window.setContentView(nullptr);
    auto button = std::make_shared<View>();
    EXPECT_FALSE(kopaAddViewToRightEdgeOfTitleBar(window, button));
    EXPECT_EQ(button->superview(), nullptr);
    EXPECT_TRUE(button->translatesAutoresizingMaskIntoConstraints());
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
