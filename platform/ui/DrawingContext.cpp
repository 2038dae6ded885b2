#include "platform/ui/DrawingContext.h"

namespace platform {

namespace {
bool hasArea(const Rect& rect) {
    return rect.width > 0 && rect.height > 0;
}
}  // namespace

void DrawingContext::fillRect(const Rect& rect, const Color& color) {
    if (!hasArea(rect)) return;
    DrawOperation op;
    op.kind = DrawOperation::Kind::Fill;
    op.rect = rect;
    op.color = color;
    m_operations.push_back(std::move(op));
}

void DrawingContext::fillGradient(const Rect& rect, const std::vector<GradientStop>& stops, double angle) {
    if (!hasArea(rect) || stops.empty()) return;
    DrawOperation op;
    op.kind = DrawOperation::Kind::Gradient;
    op.rect = rect;
    op.stops = stops;
    op.angle = angle;
    m_operations.push_back(std::move(op));
}

}  // namespace platform
