#pragma once

// MCMenuManager: the host's menu manager. Plug-ins register menu actions with it (a record per
// action with the object that carries it out), and the host asks it which actions and which
// contextual menu items apply to an object of a given class.
//
// Action record entries:
//   "DisplayString"                   text, the menu title (not empty)
//   "ItemDescription"                 text
//   "SelectorName"                    text, the action sent to the target (not empty)
//   "ApplicableObjectTypeClassnames"  array of texts, host class names ("GWContact", ...)
//   "MultipleObjectTypesPerAction"    boolean (a number 0 or 1 is taken as one)
//   "AlwaysValidates"                 boolean (likewise)
//   "MenuItemType"                    text, "Normal"
// Other entries are kept as they are. An action is one target and selector name: registering
// the same pair again replaces the earlier record in its place, so a plug-in that registers at
// every start-up does not fill the menus with copies.
//
// The contextual menu configuration is the array the application's user defaults keep under
// "MCContextualMenuConfiguration": class entries { "Classname": text, "MenuItems": [items] },
// the first entry of a class with a "MenuItems" array giving that class's menu. The host only
// reads it here; entries of another shape are passed over, never changed.
//
// A contextual menu (contextualMenuForObject) is the configured items of the object's class, top
// to bottom, then the registered actions for the class that the configuration does not list,
// below a separator. A configured item is carried out by the registered action with its
// "SelectorName" that applies to the class; one without such an action is shown disabled.
// Separator entries become separators (none at the top or bottom, never two in a row); entries
// that are no dictionary or have no title are passed over. Choosing an item sends the action
// with the object as sender: the items are targeted at this menu manager and carry the object
// as their represented object.
//
// Main thread only.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"
#include "platform/ui/ActionTarget.h"

namespace platform {
class Menu;
class UserDefaults;
}  // namespace platform

class MCMenuManager : public platform::Object, public platform::ActionTarget {
public:
    static constexpr const char* kContextualMenuConfigurationKey = "MCContextualMenuConfiguration";

    struct Action {
        platform::Dictionary record;
        std::shared_ptr<platform::Object> target;  // held for as long as the action is registered

        const std::string& displayString() const;
        const std::string& selectorName() const;
        bool appliesToClassNamed(std::string_view className) const;
    };

    // The process's menu manager.
    static const std::shared_ptr<MCMenuManager>& sharedMenuManager();

    // Checks every action first: a malformed one is an error naming the action and the entry,
    // and then none of them is registered.
    platform::Status registerMenuItemActions(const std::vector<Action>& actions);

    const std::vector<Action>& registeredActions() const { return m_actions; }
    // The registered actions that apply to objects of the class, in registration order.
    std::vector<Action> actionsForClassNamed(std::string_view className) const;
    // The actions for an object: those of its class's name ("GWContact" for a contact,
    // "CustomRecordSetDefinition" for a form template).
    std::vector<Action> actionsForObject(const platform::Object& object) const {
        return actionsForClassNamed(object.className());
    }
    // Sends the action to its target with the sender; false when the target does not carry it out.
    static bool performAction(const Action& action, platform::Object* sender);

    // The contextual menu items of a class, top to bottom, from the configuration in `defaults`
    // (empty when it has none for the class).
    static platform::Array contextualMenuItemsForClassNamed(const platform::UserDefaults& defaults,
                                                            std::string_view className);

    // The contextual menu of `object` (see above); an empty menu when nothing applies.
    std::shared_ptr<platform::Menu> contextualMenuForObject(const platform::ObjectPtr& object,
                                                            const platform::UserDefaults& defaults);
    // The registered action with the selector name that applies to the class, if any.
    const Action* actionForSelectorNamed(std::string_view selectorName, std::string_view className) const;

    // ActionTarget: the items of contextual menus. The sender is the menu item; its represented
    // object is the object the action is for.
    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, platform::Object* sender) override;
    bool validateMenuItem(const platform::MenuItem& item) override;

    // Forgets every action (tests, and a host that unloads its plug-ins).
    void removeAllActions() { m_actions.clear(); }

private:
    std::vector<Action> m_actions;
};
