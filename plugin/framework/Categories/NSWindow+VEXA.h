#pragma once

// Window extensions: keeping a window above others, and a view in the title bar.

#include <memory>

namespace platform {
class View;
class Window;
}  // namespace platform

// Puts `view` into the window's frame view (the superview of its content view), 2 points below
// its top edge and 8 points in from its right edge, by two constraints installed on the frame
// view; the view's size comes from its own content or constraints. A window whose content view
// is in no frame view yet gets its own (Window::frameView). False, nothing changed, when the
// window has no content view or no view is given; throws
// LayoutError, nothing changed, when the frame view's constraints cannot hold the placement.
bool kopaAddViewToRightEdgeOfTitleBar(platform::Window& window, const std::shared_ptr<platform::View>& view);

// Whether the window floats above normal windows (its level is the floating level).
bool kopaStayOnTop(const platform::Window& window);
// Floating level for true, normal level for false.
void setKopaStayOnTop(platform::Window& window, bool stayOnTop);
