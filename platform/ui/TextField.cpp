#include "platform/ui/TextField.h"

#include "platform/ui/Window.h"

namespace platform {

bool TextField::typeText(const std::string& text) {
    if (!acceptsFirstResponder() || findUntypable(text)) return false;
    if (window() && window()->firstResponder() != this && !window()->makeFirstResponder(this)) return false;
    m_editing = text;
    return true;
}

std::optional<size_t> TextField::findUntypable(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) return i;
        if (c < 0x80) {
            ++i;
            continue;
        }
        // Lead byte: its length, and the smallest code point it may carry (no overlong forms).
        size_t length;
        char32_t point, minimum;
        if (c >= 0xc2 && c <= 0xdf) {
            length = 2, point = c & 0x1f, minimum = 0x80;
        } else if (c >= 0xe0 && c <= 0xef) {
            length = 3, point = c & 0x0f, minimum = 0x800;
        } else if (c >= 0xf0 && c <= 0xf4) {
            length = 4, point = c & 0x07, minimum = 0x10000;
        } else {
            return i;
        }
        if (text.size() - i < length) return i;
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80) return i;
            point = (point << 6) | (next & 0x3f);
        }
        if (point < minimum || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) return i;
        if (point >= 0x80 && point <= 0x9f) return i;  // C1 controls
        i += length;
    }
    return std::nullopt;
}

void TextField::commitEditing() {
    if (!m_editing) return;
    m_value = std::move(*m_editing);
    m_editing.reset();
}

}  // namespace platform
