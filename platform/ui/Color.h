#pragma once

// Color: an RGBA colour with components from 0 to 1 (NSColor). Calibrated white is the grey
// whose three components equal the white level.

namespace platform {

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;

    static Color calibratedWhite(double white, double alpha) { return {white, white, white, alpha}; }

    friend bool operator==(const Color&, const Color&) = default;
};

}  // namespace platform
