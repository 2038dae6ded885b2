#pragma once

// DrawingContext: where views draw (the current graphics context). The headless toolkit keeps
// a record of the operations instead of pixels, so a test can check exactly what a view drew
// and a front end can render it its own way.
//
// A fill of a rectangle without area (zero or negative width or height) paints nothing and is
// not recorded.

#include <vector>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Gradient.h"

namespace platform {

struct DrawOperation {
    enum class Kind { Fill, Gradient };
    Kind kind = Kind::Fill;
    Rect rect;
    Color color;                      // Fill
    std::vector<GradientStop> stops;  // Gradient
    double angle = 0;                 // Gradient, in degrees
    friend bool operator==(const DrawOperation&, const DrawOperation&) = default;
};

class DrawingContext {
public:
    // NSRectFill with the current fill colour.
    void fillRect(const Rect& rect, const Color& color);
    void fillGradient(const Rect& rect, const std::vector<GradientStop>& stops, double angle);

    const std::vector<DrawOperation>& operations() const { return m_operations; }
    void clear() { m_operations.clear(); }

private:
    std::vector<DrawOperation> m_operations;
};

}  // namespace platform
