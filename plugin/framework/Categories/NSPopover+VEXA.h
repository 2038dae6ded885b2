#pragma once

// Popover extensions: showing a popover on a named side of a whole view (the view's bounds, in
// its own coordinates). The sides are those of the usual, unflipped orientation.

#include <memory>

namespace platform {
class Popover;
class View;
}  // namespace platform

void kopaShowBeneathView(platform::Popover& popover, const std::shared_ptr<platform::View>& view);
void kopaShowAboveView(platform::Popover& popover, const std::shared_ptr<platform::View>& view);
void kopaShowLeftToView(platform::Popover& popover, const std::shared_ptr<platform::View>& view);
void kopaShowRightToView(platform::Popover& popover, const std::shared_ptr<platform::View>& view);
