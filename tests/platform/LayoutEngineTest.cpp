// The view-level layout: attributes derived from the four edges, constraints in the toolkit's
// form with priorities, and the rule that a view leaving takes every constraint involving it --
// checked as solved frames of a stack-shaped column of views.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/layout/LayoutEngine.h"
#include "platform/ui/layout/LayoutError.h"
#include "tests/support/LayoutTestSupport.h"

namespace {

using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutEngine;
using platform::LayoutError;
using platform::LayoutItem;
using platform::LayoutRelation;
using platform::Rect;

using testsupport::EQ;
using testsupport::GE;

TEST(LayoutEngineTest, AttributesDeriveFromTheFourEdges) {
    LayoutEngine engine;
    LayoutItem v("v");
    engine.addConstraint(v, LayoutAttribute::Left, EQ, nullptr, LayoutAttribute::Left, 1, 10);
    engine.addConstraint(v, LayoutAttribute::Top, EQ, nullptr, LayoutAttribute::Top, 1, 5);
    engine.addConstraint(v, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1, 30);
    engine.addConstraint(v, LayoutAttribute::Height, EQ, nullptr, LayoutAttribute::Height, 1, 40);
    engine.solve();
    EXPECT_EQ(v.frame(), (Rect{10, 5, 30, 40}));
    struct Case {
        LayoutAttribute attribute;
        const char* name;
        double value;
    };
    for (const Case& c : std::vector<Case>{{LayoutAttribute::Left, "left", 10},
                                           {LayoutAttribute::Right, "right", 40},
                                           {LayoutAttribute::Top, "top", 5},
                                           {LayoutAttribute::Bottom, "bottom", 45},
                                           {LayoutAttribute::Leading, "leading", 10},
                                           {LayoutAttribute::Trailing, "trailing", 40},
                                           {LayoutAttribute::Width, "width", 30},
                                           {LayoutAttribute::Height, "height", 40},
                                           {LayoutAttribute::CenterX, "centerX", 25},
                                           {LayoutAttribute::CenterY, "centerY", 25}}) {
        EXPECT_DOUBLE_EQ(v.expression(c.attribute).value(), c.value) << c.name;
        EXPECT_EQ(LayoutItem::attributeNamed(c.name), c.attribute) << c.name;
        EXPECT_EQ(LayoutItem::attributeName(c.attribute), c.name);
    }
    EXPECT_EQ(LayoutItem::attributeNamed("Left"), std::nullopt);
    EXPECT_EQ(LayoutItem::attributeNamed(""), std::nullopt);
}

// A column of views held the way a stack view holds them: S at (0, 0), 300 wide; each view
// has a height, leading and trailing sides (or, centred, inequalities and a centring
// equality), glue to the view above, and the first and last margins.
class Column {
public:
    static constexpr double kMargin = 20, kPadding = 8;

    Column() {
        engine.addConstraint(stack, LayoutAttribute::Left, EQ, nullptr, LayoutAttribute::Left, 1, 0);
        engine.addConstraint(stack, LayoutAttribute::Top, EQ, nullptr, LayoutAttribute::Top, 1, 0);
        engine.addConstraint(stack, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1, 300);
    }

    LayoutItem& append(double height, bool centred = false, double padding = kPadding, double width = 0) {
        views.push_back(std::make_unique<LayoutItem>("v" + std::to_string(views.size())));
        LayoutItem& v = *views.back();
        engine.addConstraint(v, LayoutAttribute::Height, EQ, nullptr, LayoutAttribute::Height, 1, height);
        if (centred) {
            engine.addConstraint(v, LayoutAttribute::Left, GE, &stack, LayoutAttribute::Left, 1, kMargin);
            engine.addConstraint(stack, LayoutAttribute::Right, GE, &v, LayoutAttribute::Right, 1, kMargin);
            engine.addConstraint(stack, LayoutAttribute::CenterX, EQ, &v, LayoutAttribute::CenterX, 1, 0);
            // Its own content width, as a preference the column may squeeze.
            engine.addConstraint(v, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1, width,
                                 750);
        } else {
            engine.addConstraint(v, LayoutAttribute::Leading, EQ, &stack, LayoutAttribute::Leading, 1,
                                 kMargin);
            engine.addConstraint(stack, LayoutAttribute::Trailing, EQ, &v, LayoutAttribute::Trailing, 1,
                                 kMargin);
        }
        if (lastMargin) engine.removeConstraint(*lastMargin);
        if (views.size() == 1)
            firstMargin =
                engine.addConstraint(v, LayoutAttribute::Top, EQ, &stack, LayoutAttribute::Top, 1, kMargin);
        else
            engine.addConstraint(v, LayoutAttribute::Top, EQ, views[views.size() - 2].get(),
                                 LayoutAttribute::Bottom, 1, padding);
        lastMargin =
            engine.addConstraint(stack, LayoutAttribute::Bottom, EQ, &v, LayoutAttribute::Bottom, 1, kMargin);
        return v;
    }

    // Closes the gap the way the stack view does: the neighbours glued with the default
    // padding, or the margins moved to the new first or last view.
    void remove(size_t i) {
        const LayoutItem& v = *views[i];
        engine.removeItem(v);
        if (i > 0 && i + 1 < views.size())
            engine.addConstraint(*views[i + 1], LayoutAttribute::Top, EQ, views[i - 1].get(),
                                 LayoutAttribute::Bottom, 1, kPadding);
        else if (i == 0 && views.size() > 1)
            firstMargin = engine.addConstraint(*views[1], LayoutAttribute::Top, EQ, &stack,
                                               LayoutAttribute::Top, 1, kMargin);
        else if (i > 0)
            lastMargin = engine.addConstraint(stack, LayoutAttribute::Bottom, EQ, views[i - 1].get(),
                                              LayoutAttribute::Bottom, 1, kMargin);
        views.erase(views.begin() + static_cast<std::ptrdiff_t>(i));
    }

    LayoutEngine engine;
    LayoutItem stack{"S"};
    std::vector<std::unique_ptr<LayoutItem>> views;
    std::optional<LayoutConstraint> firstMargin, lastMargin;
};

TEST(LayoutEngineTest, AColumnOfViewsSolvesToStackedFrames) {
    Column c;
    c.append(30);
    c.append(40, false, 12);
    c.append(50);
    c.engine.solve();
    EXPECT_EQ(c.views[0]->frame(), (Rect{20, 20, 260, 30}));
    EXPECT_EQ(c.views[1]->frame(), (Rect{20, 62, 260, 40}));
    EXPECT_EQ(c.views[2]->frame(), (Rect{20, 110, 260, 50}));
    EXPECT_EQ(c.stack.frame(), (Rect{0, 0, 300, 180}));
}

TEST(LayoutEngineTest, RemovingAViewClosesTheGap) {
    struct Case {
        const char* what;
        size_t removed;
        std::vector<Rect> frames;
        double stackHeight;
    };
    // Three views of heights 30, 40, 50 appended with paddings 8 and 12.
    const std::vector<Case> cases{
        {"middle: the neighbours glued with the default padding",
         1,
         {{20, 20, 260, 30}, {20, 58, 260, 50}},
         128},
        {"first: the next one at the first margin", 0, {{20, 20, 260, 40}, {20, 68, 260, 50}}, 138},
        {"last: the one above takes the last margin", 2, {{20, 20, 260, 30}, {20, 62, 260, 40}}, 122},
    };
    for (const Case& k : cases) {
        Column c;
        c.append(30);
        c.append(40, false, 12);
        c.append(50);
        const size_t before = c.engine.constraintCount();
        c.remove(k.removed);
        // Each view carries five constraints (height, two sides, one above and one below); one is added.
        EXPECT_EQ(c.engine.constraintCount(), before - 5 + 1) << k.what;
        c.engine.solve();
        ASSERT_EQ(c.views.size(), k.frames.size());
        for (size_t i = 0; i < k.frames.size(); ++i)
            EXPECT_EQ(c.views[i]->frame(), k.frames[i]) << k.what << " " << i;
        EXPECT_DOUBLE_EQ(c.stack.frame().height, k.stackHeight) << k.what;
    }
}

TEST(LayoutEngineTest, RemovingTheOnlyViewLeavesNoConstraintOfIt) {
    Column c;
    LayoutItem& v = c.append(30);
    EXPECT_EQ(c.engine.constraintsInvolving(v).size(), 5u);
    EXPECT_EQ(c.engine.removeItem(v), 5u);
    EXPECT_TRUE(c.engine.constraintsInvolving(v).empty());
    EXPECT_FALSE(c.engine.hasConstraint(*c.lastMargin));
    EXPECT_EQ(c.engine.constraintCount(), 3u);  // the stack's own
    EXPECT_EQ(c.engine.removeItem(v), 0u);
    EXPECT_THROW(c.engine.removeConstraint(*c.lastMargin), LayoutError);
}

TEST(LayoutEngineTest, CentredViewsMayBeNarrowerAndSitInTheMiddle) {
    struct Case {
        double contentWidth, expectedWidth;
    };
    // The column is 300 wide with margins of 20: at most 260 for a view.
    for (const Case& k : std::vector<Case>{{100, 100}, {260, 260}, {400, 260}}) {
        Column c;
        c.append(30);
        LayoutItem& centred = c.append(20, true, 8, k.contentWidth);
        c.engine.solve();
        const Rect f = centred.frame();
        EXPECT_NEAR(f.width, k.expectedWidth, 1e-9) << k.contentWidth;
        EXPECT_NEAR(f.x + f.width / 2, 150.0, 1e-9) << k.contentWidth;
        EXPECT_GE(f.x, 20.0 - 1e-9);
        EXPECT_EQ(f.y, 58.0);
    }
}

TEST(LayoutEngineTest, PrioritiesDecideBetweenConflictingPreferences) {
    LayoutEngine engine;
    LayoutItem v("v");
    engine.addConstraint(v, LayoutAttribute::Left, EQ, nullptr, LayoutAttribute::Left, 1, 0);
    engine.addConstraint(v, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1, 100, 250);
    const LayoutConstraint high =
        engine.addConstraint(v, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1, 200, 750);
    engine.solve();
    EXPECT_DOUBLE_EQ(v.frame().width, 200);
    engine.removeConstraint(high);
    engine.solve();
    EXPECT_DOUBLE_EQ(v.frame().width, 100);
    EXPECT_THROW(
        engine.addConstraint(v, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1, 5, 0),
        LayoutError);
    // A required width that contradicts a required one is refused, and the engine keeps
    // neither a half-added constraint nor a record of it.
    engine.addConstraint(v, LayoutAttribute::Right, EQ, nullptr, LayoutAttribute::Right, 1, 120);
    const size_t count = engine.constraintCount();
    EXPECT_THROW(engine.addConstraint(v, LayoutAttribute::Width, EQ, nullptr, LayoutAttribute::Width, 1, 10),
                 LayoutError);
    EXPECT_EQ(engine.constraintCount(), count);
    EXPECT_EQ(engine.constraintsInvolving(v).size(), count);
}

}  // namespace
