#pragma once

// Control: a view a person acts on. It carries a tag, an enabled flag, and a target/action pair:
// sendAction() hands the action's name and the control to the target. A control without a
// target sends to its window's controller, the way an action with no target travels up the
// responder chain.

#include <memory>
#include <string>

#include "platform/ui/View.h"

namespace platform {

class Control : public View {
public:
    using View::View;

    int64_t tag() const { return m_tag; }
    void setTag(int64_t tag) { m_tag = tag; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    const std::string& action() const { return m_action; }
    void setAction(std::string action) { m_action = std::move(action); }
    std::shared_ptr<Object> target() const { return m_target.lock(); }
    void setTarget(const std::shared_ptr<Object>& target) { m_target = target; }

    // Sends the action when the control is enabled and has one; true when someone handled it.
    bool sendAction();

private:
    int64_t m_tag = 0;
    bool m_enabled = true;
    std::string m_action;
    std::weak_ptr<Object> m_target;
};

}  // namespace platform
