#pragma once

// KOPAHorizontalLineSeparatorView: a horizontal separator line that fades out towards both
// ends. It draws the box's bounds less 2 points at the top and at the bottom with a left-to-
// right gradient: transparent grey, opaque grey (white level 0.646) in the middle, transparent
// grey again. So a view 5 points high draws a line 1 point high; one 4 points high or less
// draws nothing. The box's own drawing is replaced entirely, and the line is drawn in full
// during a live resize (it depends on the width).

#include "platform/ui/Box.h"
#include "platform/ui/Gradient.h"

class KOPAHorizontalLineSeparatorView : public platform::Box {
public:
    using platform::Box::Box;

    static constexpr double kWhiteLevel = 0.646;
    static constexpr double kInset = 2.0;

    // The gradient the line is drawn with.
    static platform::Gradient lineGradient();

    void drawRect(platform::DrawingContext& context, const platform::Rect& dirty) override;
    bool preservesContentDuringLiveResize() const override { return false; }
};
