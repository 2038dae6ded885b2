#include "platform/ui/layout/LayoutItem.h"

#include <array>
#include <utility>

namespace platform {

namespace {
constexpr std::array<std::pair<std::string_view, LayoutAttribute>, 10> kAttributeNames{{
    {"left", LayoutAttribute::Left},
    {"right", LayoutAttribute::Right},
    {"top", LayoutAttribute::Top},
    {"bottom", LayoutAttribute::Bottom},
    {"leading", LayoutAttribute::Leading},
    {"trailing", LayoutAttribute::Trailing},
    {"width", LayoutAttribute::Width},
    {"height", LayoutAttribute::Height},
    {"centerX", LayoutAttribute::CenterX},
    {"centerY", LayoutAttribute::CenterY},
}};
}  // namespace

LayoutItem::LayoutItem(std::string name)
    : m_name(std::move(name)),
      m_left(m_name + ".left"),
      m_right(m_name + ".right"),
      m_top(m_name + ".top"),
      m_bottom(m_name + ".bottom") {}

LayoutExpression LayoutItem::expression(LayoutAttribute attribute) const {
    switch (attribute) {
        case LayoutAttribute::Left:
        case LayoutAttribute::Leading:
            return LayoutExpression(m_left);
        case LayoutAttribute::Right:
        case LayoutAttribute::Trailing:
            return LayoutExpression(m_right);
        case LayoutAttribute::Top:
            return LayoutExpression(m_top);
        case LayoutAttribute::Bottom:
            return LayoutExpression(m_bottom);
        case LayoutAttribute::Width:
            return LayoutExpression(m_right) - LayoutExpression(m_left);
        case LayoutAttribute::Height:
            return LayoutExpression(m_bottom) - LayoutExpression(m_top);
        case LayoutAttribute::CenterX:
            return LayoutExpression(m_left, 0.5) + LayoutExpression(m_right, 0.5);
        case LayoutAttribute::CenterY:
            break;
    }
    return LayoutExpression(m_top, 0.5) + LayoutExpression(m_bottom, 0.5);
}

Rect LayoutItem::frame() const {
    return Rect{m_left.value(), m_top.value(), m_right.value() - m_left.value(),
                m_bottom.value() - m_top.value()};
}

std::optional<LayoutAttribute> LayoutItem::attributeNamed(std::string_view name) {
    for (const auto& [text, attribute] : kAttributeNames)
        if (text == name) return attribute;
    return std::nullopt;
}

std::string_view LayoutItem::attributeName(LayoutAttribute attribute) {
    for (const auto& [text, a] : kAttributeNames)
        if (a == attribute) return text;
    return "unknown";
}

}  // namespace platform
