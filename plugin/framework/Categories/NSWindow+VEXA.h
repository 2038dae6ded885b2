#pragma once

// Window extensions: keeping a window above others.

namespace platform {
class Window;
}

// Whether the window floats above normal windows (its level is the floating level).
bool kopaStayOnTop(const platform::Window& window);
// Floating level for true, normal level for false.
void setKopaStayOnTop(platform::Window& window, bool stayOnTop);
