#include "platform/ui/TextField.h"

#include "platform/foundation/UTF8.h"
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
        char32_t point;
        const size_t length = UTF8::decode(text, i, point);
        if (length == 0) return i;
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
