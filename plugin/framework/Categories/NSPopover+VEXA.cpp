#include "NSPopover+VEXA.h"
#include "platform/ui/Popover.h"

namespace {
void showAtEdge(platform::Popover& popover, const std::shared_ptr<platform::View>& view,
                platform::RectEdge edge) {
    if (!view) return;
    const auto& frame = view->frame();
    popover.showRelativeToRect({0, 0, frame.width, frame.height}, view, edge);
}
}  // namespace

void kopaShowBeneathView(platform::Popover& popover, const std::shared_ptr<platform::View>& view) {
    showAtEdge(popover, view, platform::RectEdge::MinY);
}

void kopaShowAboveView(platform::Popover& popover, const std::shared_ptr<platform::View>& view) {
    showAtEdge(popover, view, platform::RectEdge::MaxY);
}

void kopaShowLeftToView(platform::Popover& popover, const std::shared_ptr<platform::View>& view) {
    showAtEdge(popover, view, platform::RectEdge::MinX);
}

void kopaShowRightToView(platform::Popover& popover, const std::shared_ptr<platform::View>& view) {
    showAtEdge(popover, view, platform::RectEdge::MaxX);
}
