#pragma once

// Font: a font family and a point size (NSFont). The headless toolkit draws no glyphs; fonts
// travel with styled text and tell a front end or a test what the text is set in.

#include <string>

namespace platform {

class Font {
public:
    Font(std::string familyName, double pointSize)
        : m_familyName(std::move(familyName)), m_pointSize(pointSize) {}

    // The user-interface font; a size of 0 (or less) asks for the standard size.
    static Font systemFontOfSize(double pointSize);
    static double systemFontSize() { return 13.0; }
    static constexpr const char* kSystemFontFamily = "System Font";

    const std::string& fontName() const { return m_familyName; }
    double pointSize() const { return m_pointSize; }

    friend bool operator==(const Font&, const Font&) = default;

private:
    std::string m_familyName;
    double m_pointSize;
};

}  // namespace platform
