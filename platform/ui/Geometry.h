#pragma once

namespace platform {

// Frames in points, origin at the top left of the superview (the terminal front end draws
// top to bottom).
struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform
