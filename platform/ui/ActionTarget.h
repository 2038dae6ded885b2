#pragma once

// ActionTarget: an object that controls and menu items can send actions to. An action is named
// by its selector text ("runAction:", "__Zandrel_ShowInputAction:"); the sender comes along.

#include <string>

#include "platform/foundation/Object.h"

namespace platform {

class MenuItem;

class ActionTarget {
public:
    virtual ~ActionTarget() = default;
    virtual bool respondsToAction(const std::string& action) const = 0;
    // Returns false when the target does not know the action.
    virtual bool performAction(const std::string& action, Object* sender) = 0;
    // Menu validation: whether `item` is enabled. Enabled unless a target says otherwise.
    virtual bool validateMenuItem(const MenuItem& item) { return true; }
};

}  // namespace platform
