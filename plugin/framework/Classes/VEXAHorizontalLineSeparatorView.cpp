#include "VEXAHorizontalLineSeparatorView.h"

#include "platform/ui/DrawingContext.h"

platform::Gradient KOPAHorizontalLineSeparatorView::lineGradient() {
    auto end = platform::Color::calibratedWhite(kWhiteLevel, 0.0);
    auto middle = platform::Color::calibratedWhite(kWhiteLevel, 1.0);
    return platform::Gradient({{end, 0.0}, {middle, 0.5}, {end, 1.0}});
}

void KOPAHorizontalLineSeparatorView::drawRect(platform::DrawingContext& context, const platform::Rect&) {
    // The whole line every time: the dirty rectangle is not used, the gradient spans the width.
    platform::Rect line = bounds();
    line.y += kInset;
    line.height -= 2 * kInset;
    lineGradient().drawInRect(context, line, 0.0);
}
