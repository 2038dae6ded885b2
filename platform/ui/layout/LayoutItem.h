#pragma once

// LayoutItem: a view as the layout engine sees it: four variables, its left, right, top and
// bottom edges (top and bottom grow downward). Every other attribute derives from them:
// width = right - left, height = bottom - top, centerX = (left + right) / 2, centerY likewise,
// and leading/trailing are left/right (left-to-right layout).

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/Geometry.h"
#include "platform/ui/layout/LayoutExpression.h"
#include "platform/ui/layout/LayoutVariable.h"

namespace platform {

// The toolkit's attribute numbers.
enum class LayoutAttribute {
    Left = 1,
    Right = 2,
    Top = 3,
    Bottom = 4,
    Leading = 5,
    Trailing = 6,
    Width = 7,
    Height = 8,
    CenterX = 9,
    CenterY = 10,
};

class LayoutItem {
public:
    explicit LayoutItem(std::string name);

    const std::string& name() const { return m_name; }
    const LayoutVariable& left() const { return m_left; }
    const LayoutVariable& right() const { return m_right; }
    const LayoutVariable& top() const { return m_top; }
    const LayoutVariable& bottom() const { return m_bottom; }

    // The attribute as an expression over the four edges.
    LayoutExpression expression(LayoutAttribute attribute) const;
    // The frame from the edges' solved values.
    Rect frame() const;

    // "left", "right", "top", "bottom", "leading", "trailing", "width", "height", "centerX",
    // "centerY"; nothing for any other text.
    static std::optional<LayoutAttribute> attributeNamed(std::string_view name);
    static std::string_view attributeName(LayoutAttribute attribute);

private:
    std::string m_name;
    LayoutVariable m_left, m_right, m_top, m_bottom;
};

}  // namespace platform
