// Constraints on views: frames after the layout pass, the toolkit's rule that a view leaving
// its superview takes its constraints, refused required constraints, and animations on the
// virtual clock.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/runtime/RunLoop.h"
#include "platform/ui/AnimationGroup.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewConstraint.h"
#include "platform/ui/Window.h"
#include "platform/ui/layout/LayoutError.h"

namespace {

using platform::LayoutAttribute;
using platform::LayoutError;
using platform::LayoutRelation;
using platform::Rect;
using platform::View;
using platform::ViewConstraint;
using platform::ViewConstraintPtr;
using A = LayoutAttribute;
using R = LayoutRelation;

std::shared_ptr<View> makeView(const std::string& name, Rect frame = {}, bool translates = false) {
    auto v = std::make_shared<View>(frame);
    v->setIdentifier(name);
    v->setTranslatesAutoresizingMaskIntoConstraints(translates);
    return v;
}

ViewConstraintPtr eq(const std::shared_ptr<View>& a, A aa, const std::shared_ptr<View>& b, A ba, double c) {
    return ViewConstraint::make(a, aa, R::Equal, b, ba, 1.0, c);
}
ViewConstraintPtr fixed(const std::shared_ptr<View>& a, A aa, double c) {
    return ViewConstraint::make(a, aa, R::Equal, c);
}

void expectFrame(const View& v, Rect expected) {
    EXPECT_NEAR(v.frame().x, expected.x, 1e-6) << v.identifier();
    EXPECT_NEAR(v.frame().y, expected.y, 1e-6) << v.identifier();
    EXPECT_NEAR(v.frame().width, expected.width, 1e-6) << v.identifier();
    EXPECT_NEAR(v.frame().height, expected.height, 1e-6) << v.identifier();
}

// A root that keeps its frame, a child inset by margins, a grandchild placed in the child.
struct Tree {
    std::shared_ptr<View> root = makeView("root", {10, 5, 300, 200}, true);
    std::shared_ptr<View> child = makeView("child");
    std::shared_ptr<View> grandchild = makeView("grandchild");
    Tree() {
        root->addSubview(child);
        child->addSubview(grandchild);
        root->addConstraints({eq(child, A::Left, root, A::Left, 20), eq(root, A::Right, child, A::Right, 30),
                              eq(child, A::Top, root, A::Top, 15), fixed(child, A::Height, 100)});
        child->addConstraints({eq(grandchild, A::Leading, child, A::Leading, 5),
                               eq(grandchild, A::CenterY, child, A::CenterY, 0),
                               fixed(grandchild, A::Width, 40), fixed(grandchild, A::Height, 10)});
    }
};

TEST(ViewConstraintTest, LayoutWritesFramesRelativeToTheSuperview) {
    Tree t;
    t.root->layoutSubtreeIfNeeded();
    expectFrame(*t.root, {10, 5, 300, 200});
    expectFrame(*t.child, {20, 15, 250, 100});
    expectFrame(*t.grandchild, {5, 45, 40, 10});
}

TEST(ViewConstraintTest, ChangingAConstantMovesTheViewsAtTheNextLayout) {
    Tree t;
    auto top = t.root->constraints()[2];
    top->setConstant(40);
    t.grandchild->layoutSubtreeIfNeeded();  // any view of the tree lays out the whole tree
    expectFrame(*t.child, {20, 40, 250, 100});
    t.root->setFrame({0, 0, 500, 200});  // a translating view keeps the frame it is given
    t.root->layoutSubtreeIfNeeded();
    expectFrame(*t.child, {20, 40, 450, 100});
}

TEST(ViewConstraintTest, PreferencesGiveWayToRequiredConstraintsAndToStrongerPreferences) {
    auto root = makeView("root", {0, 0, 300, 200}, true);
    auto v = makeView("v");
    root->addSubview(v);
    root->addConstraints(
        {eq(v, A::Left, root, A::Left, 0), eq(v, A::Top, root, A::Top, 0), fixed(v, A::Height, 10)});
    auto weak = fixed(v, A::Width, 50);
    weak->setPriority(250);
    auto strong = fixed(v, A::Width, 80);
    strong->setPriority(750);
    auto cap = ViewConstraint::make(v, A::Width, R::LessOrEqual, 70);
    root->addConstraints({weak, strong});
    root->layoutSubtreeIfNeeded();
    EXPECT_NEAR(v->frame().width, 80, 1e-6);
    root->addConstraint(cap);
    root->layoutSubtreeIfNeeded();
    EXPECT_NEAR(v->frame().width, 70, 1e-6);
    root->removeConstraint(strong);
    root->layoutSubtreeIfNeeded();
    EXPECT_NEAR(v->frame().width, 50, 1e-6);
}

TEST(ViewConstraintTest, ARootGrowsToItsContentButAnInnerTranslatingViewKeepsItsFrame) {
    auto root = makeView("root", {0, 0, 100, 50}, true);
    auto v = makeView("v");
    root->addSubview(v);
    root->addConstraints({eq(v, A::Left, root, A::Left, 10), eq(v, A::Top, root, A::Top, 10),
                          eq(root, A::Bottom, v, A::Bottom, 10), fixed(v, A::Height, 80),
                          fixed(v, A::Width, 30)});
    root->layoutSubtreeIfNeeded();
    expectFrame(*root, {0, 0, 100, 100});
    expectFrame(*v, {10, 10, 30, 80});

    auto outer = makeView("outer", {0, 0, 400, 400}, true);
    auto inner = makeView("inner", {7, 8, 100, 50}, true);
    auto w = makeView("w");
    outer->addSubview(inner);
    inner->addSubview(w);
    inner->addConstraints({eq(w, A::Left, inner, A::Left, 10), eq(w, A::Top, inner, A::Top, 10),
                           eq(inner, A::Bottom, w, A::Bottom, 10), fixed(w, A::Width, 30)});
    EXPECT_THROW(inner->addConstraint(fixed(w, A::Height, 80)), LayoutError);
    outer->layoutSubtreeIfNeeded();
    expectFrame(*inner, {7, 8, 100, 50});
    expectFrame(*w, {10, 10, 30, 30});
}

// Each case builds a satisfiable tree, then tries a change its required constraints contradict:
// the change is refused with LayoutError and the next layout gives the frames of before.
struct RefusedCase {
    std::string name;
    std::function<void(Tree&)> change;
};

TEST(ViewConstraintTest, ContradictingRequiredChangesAreRefusedAndChangeNothing) {
    const std::vector<RefusedCase> cases = {
        {"second height", [](Tree& t) { t.root->addConstraint(fixed(t.child, A::Height, 50)); }},
        {"second left margin",
         [](Tree& t) { t.root->addConstraint(eq(t.child, A::Left, t.root, A::Left, 25)); }},
        {"grandchild below the child's bottom",
         [](Tree& t) {
             t.child->addConstraint(
                 ViewConstraint::make(t.grandchild, A::Top, R::GreaterOrEqual, t.child, A::Bottom, 1.0, 1));
         }},
        {"constant of a required constraint",
         [](Tree& t) {
             t.root->addConstraint(ViewConstraint::make(t.child, A::Height, R::LessOrEqual, 120));
             try {
                 t.root->constraints()[3]->setConstant(150);
             } catch (...) {
                 t.root->removeConstraint(t.root->constraints().back());
                 throw;
             }
         }},
        {"priority raised to required",
         [](Tree& t) {
             auto soft = fixed(t.child, A::Height, 60);
             soft->setPriority(999);
             t.root->addConstraint(soft);
             try {
                 soft->setPriority(1000);
             } catch (...) {
                 t.root->removeConstraint(soft);
                 throw;
             }
         }},
        {"translation switched on for a constrained view",
         [](Tree& t) {
             t.child->setFrame({0, 0, 10, 10});
             t.child->setTranslatesAutoresizingMaskIntoConstraints(true);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Tree t;
        auto rootConstraints = t.root->constraints();
        auto childConstraints = t.child->constraints();
        try {
            c.change(t);
            ADD_FAILURE() << "accepted";
        } catch (const LayoutError& e) {
            EXPECT_NE(std::string(e.what()).find("contradict"), std::string::npos) << e.what();
        }
        EXPECT_EQ(t.root->constraints(), rootConstraints);
        EXPECT_EQ(t.child->constraints(), childConstraints);
        EXPECT_EQ(t.root->constraints()[3]->constant(), 100);
        t.root->layoutSubtreeIfNeeded();
        expectFrame(*t.child, {20, 15, 250, 100});
        expectFrame(*t.grandchild, {5, 45, 40, 10});
    }
}

TEST(ViewConstraintTest, AConstraintOutsideTheViewsSubtreeIsRefused) {
    Tree t;
    auto stranger = makeView("stranger");
    EXPECT_THROW(t.root->addConstraint(eq(stranger, A::Left, t.root, A::Left, 0)), LayoutError);
    // Installed on the child, a constraint cannot reach the root above it.
    EXPECT_THROW(t.child->addConstraint(eq(t.grandchild, A::Left, t.root, A::Left, 0)), LayoutError);
    auto installed = t.root->constraints()[0];
    EXPECT_THROW(t.child->addConstraint(installed), LayoutError);
    EXPECT_EQ(installed->installedView(), t.root.get());
    EXPECT_THROW(ViewConstraint::make(t.child, A::Left, R::Equal, 1.0 / 0.0), LayoutError);
    EXPECT_THROW(t.root->constraints()[0]->setPriority(0), LayoutError);
    EXPECT_THROW(t.root->constraints()[0]->setPriority(1001), LayoutError);
}

TEST(ViewConstraintTest, ActivatingInstallsOnTheNearestCommonAncestor) {
    Tree t;
    auto sibling = makeView("sibling");
    t.child->addSubview(sibling);
    auto c = eq(sibling, A::Top, t.grandchild, A::Bottom, 4);
    c->setActive(true);
    EXPECT_EQ(c->installedView(), t.child.get());
    auto up = eq(t.grandchild, A::Width, t.root, A::Width, -200);
    up->setActive(true);
    EXPECT_EQ(up->installedView(), t.root.get());
    up->setActive(false);
    EXPECT_FALSE(up->isActive());
    auto apart = eq(sibling, A::Top, makeView("elsewhere"), A::Top, 0);
    EXPECT_THROW(apart->setActive(true), LayoutError);
}

TEST(ViewConstraintTest, LeavingTheSuperviewTakesEveryConstraintThatTiesTheSubtreeToTheRest) {
    Tree t;
    auto sibling = makeView("sibling");
    t.root->addSubview(sibling);
    auto acrossTrees = eq(sibling, A::Top, t.grandchild, A::Bottom, 0);  // installed on the root
    t.root->addConstraint(acrossTrees);
    auto siblingOwn = fixed(sibling, A::Width, 10);
    t.root->addConstraint(siblingOwn);
    auto inChild = t.child->constraints();

    t.child->removeFromSuperview();
    EXPECT_FALSE(acrossTrees->isActive());
    for (const auto& c : t.root->constraints())
        EXPECT_FALSE(c->involves(t.child.get()) || c->involves(t.grandchild.get())) << c->description();
    EXPECT_EQ(t.root->constraints(), std::vector<ViewConstraintPtr>{siblingOwn});
    // The constraints inside the subtree stay with it and still place its views.
    EXPECT_EQ(t.child->constraints(), inChild);
    t.child->setFrame({0, 0, 100, 60});
    t.child->setTranslatesAutoresizingMaskIntoConstraints(true);
    t.child->layoutSubtreeIfNeeded();
    expectFrame(*t.grandchild, {5, 25, 40, 10});

    // Back in a tree, they come along.
    auto other = makeView("other", {0, 0, 500, 500}, true);
    other->addSubview(t.child);
    t.child->setFrame({50, 60, 100, 200});
    other->layoutSubtreeIfNeeded();
    expectFrame(*t.child, {50, 60, 100, 200});
    expectFrame(*t.grandchild, {5, 95, 40, 10});
}

TEST(ViewConstraintTest, ASubtreeWhoseConstraintsCannotHoldInTheNewTreeIsLeftOut) {
    auto box = makeView("box", {0, 0, 100, 100}, true);
    auto w = makeView("w");
    box->addSubview(w);
    box->addConstraints({eq(w, A::Top, box, A::Top, 0), eq(box, A::Bottom, w, A::Bottom, 0),
                         fixed(w, A::Height, 300), eq(w, A::Left, box, A::Left, 0), fixed(w, A::Width, 50)});
    box->layoutSubtreeIfNeeded();
    expectFrame(*box, {0, 0, 100, 300});  // a root grows to its content
    box->setFrame({0, 0, 100, 100});      // but inside a tree it would keep this height
    auto window = makeView("window", {0, 0, 500, 500}, true);
    EXPECT_THROW(window->addSubview(box), LayoutError);
    EXPECT_EQ(box->superview(), nullptr);
    EXPECT_TRUE(window->subviews().empty());
    EXPECT_EQ(box->constraints().size(), 5u);
    box->layoutSubtreeIfNeeded();
    expectFrame(*w, {0, 0, 50, 300});
    box->setFrame({0, 0, 100, 300});
    window->addSubview(box);
    window->layoutSubtreeIfNeeded();
    expectFrame(*w, {0, 0, 50, 300});
}

TEST(ViewConstraintTest, ADestroyedRootLeavesItsSubviewsTheirOwnConstraints) {
    auto child = makeView("child", {0, 0, 100, 100}, true);
    auto inner = makeView("inner");
    {
        auto root = makeView("root", {0, 0, 300, 300}, true);
        root->addSubview(child);
        child->addSubview(inner);
        root->addConstraint(eq(inner, A::Left, root, A::Left, 3));
        child->addConstraints(
            {eq(inner, A::Top, child, A::Top, 7), fixed(inner, A::Width, 20), fixed(inner, A::Height, 20)});
    }
    EXPECT_EQ(child->superview(), nullptr);
    EXPECT_EQ(child->constraints().size(), 3u);
    child->addConstraint(eq(inner, A::Right, child, A::Right, -9));
    child->layoutSubtreeIfNeeded();
    expectFrame(*inner, {71, 7, 20, 20});
}

TEST(ViewConstraintTest, AViewKeptAliveBelowADestroyedTreeKeepsItsOwnConstraints) {
    auto inner = makeView("inner", {0, 0, 50, 50}, true);
    auto leaf = makeView("leaf");
    std::weak_ptr<View> middleAlive;
    {
        auto root = makeView("root", {0, 0, 300, 300}, true);
        auto middle = makeView("middle");
        middleAlive = middle;
        root->addSubview(middle);
        middle->addSubview(inner);
        inner->addSubview(leaf);
        root->addConstraints({eq(middle, A::Left, root, A::Left, 1), eq(leaf, A::Top, root, A::Top, 2)});
        inner->addConstraints({eq(leaf, A::Left, inner, A::Left, 4), fixed(leaf, A::Width, 6),
                               fixed(leaf, A::Height, 8), eq(leaf, A::Top, inner, A::Top, 3)});
    }
    EXPECT_TRUE(middleAlive.expired());
    EXPECT_EQ(inner->superview(), nullptr);
    EXPECT_EQ(inner->constraints().size(), 4u);
    inner->layoutSubtreeIfNeeded();
    expectFrame(*leaf, {4, 3, 6, 8});
    inner->constraints()[0]->setConstant(9);
    inner->layoutSubtreeIfNeeded();
    expectFrame(*leaf, {9, 3, 6, 8});
}

TEST(ViewConstraintTest, AViewCannotBeAddedToItsOwnSubview) {
    Tree t;
    EXPECT_THROW(t.grandchild->addSubview(t.root), std::invalid_argument);
    EXPECT_EQ(t.child->superview(), t.root.get());
    EXPECT_EQ(t.root->superview(), nullptr);
    t.root->addSubview(t.root);  // itself: nothing
    EXPECT_EQ(t.root->subviews().size(), 1u);
}

TEST(ViewConstraintTest, SubviewsAreAddedInTheOrderAsked) {
    auto root = makeView("root");
    auto a = makeView("a"), b = makeView("b"), c = makeView("c"), d = makeView("d");
    root->addSubview(a);
    root->addSubview(b, View::Ordering::Above, nullptr);
    root->addSubview(c, View::Ordering::Above, a.get());
    root->addSubview(d, View::Ordering::Below, a.get());
    EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{d, a, c, b}));
    root->addSubview(d, View::Ordering::Above, b.get());  // moving within the same superview
    EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{a, c, b, d}));
    root->setSubviews({b, a});
    EXPECT_EQ(root->subviews(), (std::vector<std::shared_ptr<View>>{b, a}));
    EXPECT_EQ(c->superview(), nullptr);
}

TEST(ViewConstraintTest, AutoresizingSubviewsFollowTheirSuperviewsSize) {
    struct Case {
        unsigned mask;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {View::NotSizable, {10, 20, 30, 40}},
        {View::WidthSizable | View::HeightSizable, {10, 20, 130, 90}},
        {View::MinXMargin | View::MaxYMargin, {110, 20, 30, 40}},
        {View::MinXMargin | View::WidthSizable, {60, 20, 80, 40}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        auto parent = std::make_shared<View>(Rect{0, 0, 200, 100});
        auto sub = std::make_shared<View>(Rect{10, 20, 30, 40});
        sub->setAutoresizingMask(c.mask);
        parent->addSubview(sub);
        parent->setFrame({0, 0, 300, 150});
        expectFrame(*sub, c.expected);
    }
}

TEST(ViewConstraintTest, WindowLayoutPlacesTheContentViewsConstrainedSubviews) {
    auto window = std::make_shared<platform::Window>("w", Rect{0, 0, 400, 300});
    auto content = window->contentView();
    auto field = makeView("field");
    content->addSubview(field);
    content->addConstraints({eq(field, A::Left, content, A::Left, 20),
                             eq(content, A::Right, field, A::Right, 20),
                             eq(field, A::Top, content, A::Top, 12), fixed(field, A::Height, 22)});
    window->layoutIfNeeded();
    expectFrame(*field, {20, 12, 360, 22});
    expectFrame(*content, {0, 0, 400, 300});
}

class AnimationGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.resetForTesting();
        loop.setClock(clock);
    }
    void TearDown() override {
        loop.resetForTesting();
        loop.setClock(std::make_shared<platform::RealClock>());
    }
    platform::RunLoop& loop = platform::RunLoop::main();
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
};

TEST_F(AnimationGroupTest, StepsEveryFrameAndEndsExactlyAtTheDuration) {
    using namespace std::chrono_literals;
    std::vector<double> steps;
    int completions = 0;
    platform::AnimationGroup::run(
        200ms, [&](double p) { steps.push_back(p); }, [&] { ++completions; });
    loop.advanceBy(100ms);
    ASSERT_FALSE(steps.empty());
    EXPECT_NEAR(steps.back(), 0.5, 1.0 / 12 + 1e-9);
    EXPECT_EQ(completions, 0);
    loop.advanceBy(100ms);
    EXPECT_EQ(steps.back(), 1.0);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(steps.size(), 12u);  // 60 frames a second
    for (size_t i = 1; i < steps.size(); ++i) EXPECT_GT(steps[i], steps[i - 1]);
    loop.advanceBy(1s);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.timerCount(), 0u);
}

}  // namespace
