#include "platform/ui/Popover.h"

namespace platform {

void Popover::showRelativeToRect(const Rect& rect, const std::shared_ptr<View>& view, RectEdge edge) {
    // Nothing to point at: the toolkit refuses such a call, and a popover floating nowhere
    // would be worse than none.
    if (!view) return;
    m_positioningRect = rect;
    m_positioningView = view;
    m_preferredEdge = edge;
    m_shown = true;
}

void Popover::close() {
    m_shown = false;
    m_positioningView.reset();
}

}  // namespace platform
