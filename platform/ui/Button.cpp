#include "platform/ui/Button.h"

namespace platform {

bool Button::performClick() {
    if (!isEnabled()) return false;
    if (m_kind == Kind::CheckBox) m_state = m_state == On ? Off : On;
    sendAction();
    return true;
}

}  // namespace platform
