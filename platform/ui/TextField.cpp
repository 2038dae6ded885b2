#include "platform/ui/TextField.h"

#include "platform/ui/Window.h"

namespace platform {

bool TextField::typeText(const std::string& text) {
    if (!acceptsFirstResponder()) return false;
    if (window() && window()->firstResponder() != this && !window()->makeFirstResponder(this)) return false;
    m_editing = text;
    return true;
}

void TextField::commitEditing() {
    if (!m_editing) return;
    m_value = std::move(*m_editing);
    m_editing.reset();
}

}  // namespace platform
