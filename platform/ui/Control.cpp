#include "platform/ui/Control.h"

#include "platform/ui/ActionTarget.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowController.h"

namespace platform {

bool Control::sendAction() {
    if (!m_enabled || m_action.empty()) return false;
    auto keepSelf = shared_from_this();  // the action may close the window that owns us
    ObjectPtr target = m_target.lock();
    if (!target && window()) target = window()->windowController();
    auto* receiver = dynamic_cast<ActionTarget*>(target.get());
    if (!receiver || !receiver->respondsToAction(m_action)) return false;
    return receiver->performAction(m_action, this);
}

}  // namespace platform
