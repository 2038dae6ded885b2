#pragma once

// Gradient: colours at locations from 0 to 1 (NSGradient), drawn into a rectangle at an angle
// (0 degrees runs from the left edge to the right).

#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace platform {

class DrawingContext;

struct GradientStop {
    Color color;
    double location = 0;
    friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

class Gradient {
public:
    explicit Gradient(std::vector<GradientStop> stops) : m_stops(std::move(stops)) {}

    const std::vector<GradientStop>& stops() const { return m_stops; }
    void drawInRect(DrawingContext& context, const Rect& rect, double angle) const;

private:
    std::vector<GradientStop> m_stops;
};

}  // namespace platform
