// KOPAHorizontalLineSeparatorView: what it draws into a recording drawing context.

#include <gtest/gtest.h>

#include "framework/Classes/VEXAHorizontalLineSeparatorView.h"
#include "platform/ui/DrawingContext.h"

namespace {

using platform::Color;
using platform::DrawOperation;
using platform::GradientStop;
using platform::Rect;

TEST(SeparatorView, DrawsTheBoundsInsetTwoPointsTopAndBottomWithTheFadingGradient) {
    struct Case {
        Rect frame;
        Rect dirty;
        std::optional<Rect> line;  // none: nothing drawn
    };
    const Case cases[] = {
        {{10, 20, 200, 5}, {0, 0, 200, 5}, Rect{0, 2, 200, 1}},
        {{0, 0, 300, 12}, {50, 0, 10, 12}, Rect{0, 2, 300, 8}},  // the dirty part does not limit it
        {{0, 0, 80, 4.5}, {0, 0, 80, 4.5}, Rect{0, 2, 80, 0.5}},
        {{0, 0, 200, 4}, {0, 0, 200, 4}, std::nullopt},  // line height 0
        {{0, 0, 200, 3}, {0, 0, 200, 3}, std::nullopt},
        {{0, 0, 0, 10}, {0, 0, 0, 10}, std::nullopt},
    };
    const Color end = Color::calibratedWhite(0.646, 0.0);
    const Color middle = Color::calibratedWhite(0.646, 1.0);
    for (const auto& c : cases) {
        KOPAHorizontalLineSeparatorView view(c.frame);
        platform::DrawingContext context;
        view.drawRect(context, c.dirty);
        if (!c.line) {
            EXPECT_TRUE(context.operations().empty()) << c.frame.height;
            continue;
        }
        ASSERT_EQ(context.operations().size(), 1u) << c.frame.height;
        const DrawOperation& op = context.operations()[0];
        EXPECT_EQ(op.kind, DrawOperation::Kind::Gradient);
        EXPECT_EQ(op.rect, *c.line);
        EXPECT_EQ(op.angle, 0.0);
        EXPECT_EQ(op.stops, (std::vector<GradientStop>{{end, 0.0}, {middle, 0.5}, {end, 1.0}}));
    }
}

TEST(SeparatorView, ReplacesTheBoxDrawingAndRedrawsInFullWhileResizing) {
    KOPAHorizontalLineSeparatorView view(Rect{0, 0, 100, 9});
    view.setBoxType(platform::Box::BoxType::Separator);
    platform::DrawingContext context;
    view.drawRect(context, view.bounds());
    // Only the gradient: no line of the box's own.
    ASSERT_EQ(context.operations().size(), 1u);
    EXPECT_EQ(context.operations()[0].kind, DrawOperation::Kind::Gradient);
    EXPECT_FALSE(view.preservesContentDuringLiveResize());
    EXPECT_TRUE(platform::Box().preservesContentDuringLiveResize());
}

}  // namespace
