#include "platform/ui/Box.h"

#include <cmath>

#include "platform/ui/DrawingContext.h"

namespace platform {

void Box::drawRect(DrawingContext& context, const Rect& dirty) {
    if (m_boxType != BoxType::Separator) return;
    Rect b = bounds();
    context.fillRect({b.x, std::floor(b.height / 2), b.width, 1}, Color::calibratedWhite(0.8, 1.0));
}

}  // namespace platform
