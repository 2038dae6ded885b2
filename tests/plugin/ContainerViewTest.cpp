// The container view: both sizing modes, replacement, and the three phases of the animated swap
// on the virtual clock.

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "platform/runtime/RunLoop.h"
#include "platform/ui/DrawingContext.h"
#include "platform/ui/ViewConstraint.h"
#include "plugin/framework/Classes/VEXAContainerView.h"

namespace {

using namespace std::chrono_literals;
using platform::Rect;
using platform::View;
using ViewPtr = std::shared_ptr<View>;

void expectFrame(const View& v, Rect expected) {
    EXPECT_NEAR(v.frame().x, expected.x, 1e-6);
    EXPECT_NEAR(v.frame().y, expected.y, 1e-6);
    EXPECT_NEAR(v.frame().width, expected.width, 1e-6);
    EXPECT_NEAR(v.frame().height, expected.height, 1e-6);
}

class ContainerViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.resetForTesting();
        loop.setClock(clock);
        container->setIdentifier("container");
    }
    void TearDown() override {
        loop.resetForTesting();
        loop.setClock(std::make_shared<platform::RealClock>());
    }
    // The constraints on the container that involve the view.
    size_t constraintsInvolving(const View* v) const {
        size_t n = 0;
        for (const auto& c : container->constraints()) n += c->involves(v);
        return n;
    }

    platform::RunLoop& loop = platform::RunLoop::main();
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    std::shared_ptr<KOPAContainerView> container = std::make_shared<KOPAContainerView>(Rect{0, 0, 300, 200});
};

TEST_F(ContainerViewTest, ANewContainerIsEmptyInAutoresizingMode) {
    KOPAContainerView fresh;
    EXPECT_FALSE(fresh.useAutoLayout());
    EXPECT_EQ(fresh.contentView(), nullptr);
    EXPECT_EQ(fresh.contentViewController(), nullptr);
    EXPECT_TRUE(fresh.subviews().empty());
    EXPECT_FALSE(fresh.backgroundColor().has_value());
}

TEST_F(ContainerViewTest, DrawingFillsExactlyTheDirtyRectangleOnlyWithABackgroundColour) {
    KOPAContainerView container(Rect{0, 0, 200, 100});
    const Rect dirty{10, 20, 30, 40};
    platform::DrawingContext none;
    container.drawRect(none, dirty);
    EXPECT_TRUE(none.operations().empty());

    const platform::Color teal{0, 0.5, 0.5, 1};
    container.setBackgroundColor(teal);
    platform::DrawingContext filled;
    container.drawRect(filled, dirty);
    platform::DrawOperation expected;
    expected.rect = dirty;
    expected.color = teal;
    EXPECT_EQ(filled.operations(), std::vector<platform::DrawOperation>{expected});
}

TEST_F(ContainerViewTest, AutoresizingContentFillsTheContainerAndFollowsItsSize) {
    auto v = std::make_shared<View>(Rect{5, 5, 10, 10});
    container->setContentView(v);
    expectFrame(*v, {0, 0, 300, 200});
    EXPECT_EQ(v->autoresizingMask(), 18u);
    EXPECT_EQ(container->subviews(), std::vector<ViewPtr>{v});
    container->setFrame({0, 0, 350, 120});
    expectFrame(*v, {0, 0, 350, 120});
    EXPECT_TRUE(container->constraints().empty());
}

TEST_F(ContainerViewTest, ConstraintContentIsPinnedToTheFourEdges) {
    container->setUseAutoLayout(true);
    auto v = std::make_shared<View>(Rect{5, 5, 10, 10});
    container->setContentView(v);
    EXPECT_FALSE(v->translatesAutoresizingMaskIntoConstraints());
    EXPECT_EQ(constraintsInvolving(v.get()), 4u);
    container->layoutSubtreeIfNeeded();
    expectFrame(*v, {0, 0, 300, 200});
    container->setFrame({0, 0, 120, 80});
    container->layoutSubtreeIfNeeded();
    expectFrame(*v, {0, 0, 120, 80});
}

TEST_F(ContainerViewTest, ReplacingTheContentTakesTheFormerViewAndItsConstraints) {
    for (bool autoLayout : {false, true}) {
        SCOPED_TRACE(autoLayout);
        auto c = std::make_shared<KOPAContainerView>(Rect{0, 0, 300, 200});
        c->setUseAutoLayout(autoLayout);
        auto first = std::make_shared<View>(), second = std::make_shared<View>();
        c->setContentView(first);
        bool ranAfterReplacement = false;
        c->setContentView(second, false, [&] { ranAfterReplacement = c->contentView() == second; });
        EXPECT_TRUE(ranAfterReplacement);
        EXPECT_EQ(first->superview(), nullptr);
        EXPECT_EQ(c->subviews(), std::vector<ViewPtr>{second});
        for (const auto& constraint : c->constraints()) EXPECT_FALSE(constraint->involves(first.get()));
        c->setContentView(nullptr);
        EXPECT_TRUE(c->subviews().empty());
        EXPECT_TRUE(c->constraints().empty());
        EXPECT_EQ(c->contentView(), nullptr);
    }
}

TEST_F(ContainerViewTest, AControllersViewIsShownAndTheControllerKept) {
    container->setUseAutoLayout(true);
    auto controller = std::make_shared<platform::ViewController>(std::make_shared<View>());
    container->setContentViewController(controller);
    EXPECT_EQ(container->contentViewController(), controller);
    EXPECT_EQ(container->contentView(), controller->view());
    auto other = std::make_shared<View>();
    container->setContentView(other);
    EXPECT_EQ(container->contentViewController(), controller);
    EXPECT_EQ(container->contentView(), other);
}

TEST_F(ContainerViewTest, TheAnimatedSwapRunsItsThreePhasesOnTheRunLoop) {
    container->setUseAutoLayout(true);
    auto oldView = std::make_shared<View>();
    auto newView = std::make_shared<View>(Rect{0, 0, 100, 400});
    container->setContentView(oldView);
    container->layoutSubtreeIfNeeded();
    int completions = 0;
    container->setContentView(newView, true, [&] { ++completions; });
    EXPECT_FALSE(newView->translatesAutoresizingMaskIntoConstraints());

    // Phase 1: the whole container fades out; the old view is still shown.
    loop.advanceBy(100ms);
    EXPECT_NEAR(container->alphaValue(), 0.5, 1e-9);
    EXPECT_EQ(container->contentView(), oldView);
    EXPECT_EQ(oldView->superview(), container.get());

    // Phase 2: no subview, the old view still named, the size held at 750 and moving.
    loop.advanceBy(200ms);
    EXPECT_NEAR(container->alphaValue(), 0.0, 1e-9);
    EXPECT_TRUE(container->subviews().empty());
    EXPECT_EQ(container->contentView(), oldView);
    ASSERT_EQ(container->constraints().size(), 2u);
    for (const auto& hold : container->constraints()) EXPECT_EQ(hold->priority(), 750.0);
    expectFrame(*container, {0, 0, 200, 300});  // half way from 300 x 200 to 100 x 400

    // Phase 3: the new view pinned and shown, the container at its size, fading in.
    loop.advanceBy(200ms);
    EXPECT_EQ(container->contentView(), newView);
    EXPECT_EQ(container->subviews(), std::vector<ViewPtr>{newView});
    EXPECT_NEAR(container->alphaValue(), 0.5, 1e-9);
    EXPECT_EQ(completions, 0);

    loop.advanceBy(100ms);
    EXPECT_EQ(completions, 1);
    EXPECT_NEAR(container->alphaValue(), 1.0, 1e-9);
    EXPECT_EQ(container->constraints().size(), 4u);
    EXPECT_EQ(constraintsInvolving(newView.get()), 4u);
    container->layoutSubtreeIfNeeded();
    expectFrame(*container, {0, 0, 100, 400});
    expectFrame(*newView, {0, 0, 100, 400});
    loop.advanceBy(1s);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST_F(ContainerViewTest, AnAnimatedSwapToNoViewEmptiesTheContainer) {
    container->setUseAutoLayout(true);
    container->setContentView(std::make_shared<View>());
    bool done = false;
    container->setContentView(nullptr, true, [&] { done = true; });
    loop.advanceBy(400ms);
    EXPECT_TRUE(done);
    EXPECT_EQ(container->contentView(), nullptr);
    EXPECT_TRUE(container->subviews().empty());
    EXPECT_TRUE(container->constraints().empty());
    EXPECT_NEAR(container->alphaValue(), 1.0, 1e-9);
    expectFrame(*container, {0, 0, 300, 200});
}

TEST_F(ContainerViewTest, AnAnimatedSwapInAutoresizingModeIsAProgrammingError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(container->setContentView(std::make_shared<View>(), true, nullptr), "self.useAutoLayout");
}

}  // namespace
