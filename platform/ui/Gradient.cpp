#include "platform/ui/Gradient.h"

#include "platform/ui/DrawingContext.h"

namespace platform {

void Gradient::drawInRect(DrawingContext& context, const Rect& rect, double angle) const {
    context.fillGradient(rect, m_stops, angle);
}

}  // namespace platform
