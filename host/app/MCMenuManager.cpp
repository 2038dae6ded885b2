#include "host/app/MCMenuManager.h"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_set>

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Menu.h"

namespace {

const std::string kEmpty;

const std::string& textEntry(const platform::Dictionary& record, std::string_view key) {
    auto found = record.find(key);
    return found != record.end() && found->second.isString() ? found->second.asString() : kEmpty;
}

bool isFlag(const platform::Value* value) {
    if (!value) return false;
    if (value->isBool()) return true;
    return value->isInteger() && (value->asInteger() == 0 || value->asInteger() == 1);
}

platform::Status check(const MCMenuManager::Action& action, size_t index) {
    const auto& record = action.record;
    auto fail = [&](const std::string& why) {
        std::string title = textEntry(record, "DisplayString");
        return platform::Status::error(
            fmt::format("menu action {} ({}): {}; nothing was registered", index + 1,
                        title.empty() ? std::string("untitled") : "\"" + title + "\"", why));
    };
    for (const char* key : {"DisplayString", "SelectorName"})
        if (textEntry(record, key).empty()) return fail(fmt::format("\"{}\" must be a non-empty text", key));
    auto description = record.find("ItemDescription");
    if (description == record.end() || !description->second.isString())
        return fail("\"ItemDescription\" must be a text");
    auto classes = record.find("ApplicableObjectTypeClassnames");
    if (classes == record.end() || !classes->second.isArray())
        return fail("\"ApplicableObjectTypeClassnames\" must be an array of class names");
    for (const auto& name : classes->second.asArray())
        if (!name.isString())
            return fail("\"ApplicableObjectTypeClassnames\" holds something other than a text");
    for (const char* key : {"MultipleObjectTypesPerAction", "AlwaysValidates"}) {
        auto found = record.find(key);
        if (!isFlag(found == record.end() ? nullptr : &found->second))
            return fail(fmt::format("\"{}\" must be a boolean", key));
    }
    if (!action.target) return fail("it has no target");
    if (!dynamic_cast<platform::ActionTarget*>(action.target.get()))
        return fail(fmt::format("its target {} cannot receive actions", action.target->className()));
    return platform::Status::ok();
}

}  // namespace

const std::string& MCMenuManager::Action::displayString() const {
    return textEntry(record, "DisplayString");
}

const std::string& MCMenuManager::Action::selectorName() const {
    return textEntry(record, "SelectorName");
}

bool MCMenuManager::Action::appliesToClassNamed(std::string_view className) const {
    auto classes = record.find("ApplicableObjectTypeClassnames");
    if (classes == record.end() || !classes->second.isArray()) return false;
    const auto& names = classes->second.asArray();
    return std::any_of(names.begin(), names.end(), [&](const platform::Value& name) {
        return name.isString() && name.asString() == className;
    });
}

const std::shared_ptr<MCMenuManager>& MCMenuManager::sharedMenuManager() {
    static const std::shared_ptr<MCMenuManager> manager(new MCMenuManager());
    return manager;
}

platform::Status MCMenuManager::registerMenuItemActions(const std::vector<Action>& actions) {
    for (size_t i = 0; i < actions.size(); ++i)
        if (auto status = check(actions[i], i); !status) return status;
    for (const auto& action : actions) {
        auto same = std::find_if(m_actions.begin(), m_actions.end(), [&](const Action& known) {
            return known.target == action.target && known.selectorName() == action.selectorName();
        });
        if (same != m_actions.end())
            *same = action;
        else
            m_actions.push_back(action);
    }
    return platform::Status::ok();
}

std::vector<MCMenuManager::Action> MCMenuManager::actionsForClassNamed(std::string_view className) const {
    std::vector<Action> found;
    for (const auto& action : m_actions)
        if (action.appliesToClassNamed(className)) found.push_back(action);
    return found;
}

bool MCMenuManager::performAction(const Action& action, platform::Object* sender) {
    auto* target = dynamic_cast<platform::ActionTarget*>(action.target.get());
    return target && target->performAction(action.selectorName(), sender);
}

platform::Array MCMenuManager::contextualMenuItemsForClassNamed(const platform::UserDefaults& defaults,
                                                                std::string_view className) {
    platform::Value configuration = defaults.objectForKey(kContextualMenuConfigurationKey);
    if (!configuration.isArray()) return {};
    for (const auto& entry : configuration.asArray()) {
        if (!entry.isDictionary()) continue;
        const auto* name = entry.find("Classname");
        const auto* items = entry.find("MenuItems");
        if (name && name->isString() && name->asString() == className && items && items->isArray())
            return items->asArray();
    }
    return {};
}

const MCMenuManager::Action* MCMenuManager::actionForSelectorNamed(std::string_view selectorName,
                                                                   std::string_view className) const {
    for (const auto& action : m_actions)
        if (action.selectorName() == selectorName && action.appliesToClassNamed(className)) return &action;
    return nullptr;
}

std::shared_ptr<platform::Menu> MCMenuManager::contextualMenuForObject(
    const platform::ObjectPtr& object, const platform::UserDefaults& defaults) {
    auto menu = std::make_shared<platform::Menu>("Contextual Menu");
    if (!object) return menu;
    const std::string className = object->className();
    auto self = sharedAs<MCMenuManager>();
    bool separatorDue = false;
    auto add = [&](const std::string& title, const std::string& selector) {
        if (separatorDue && menu->numberOfItems() > 0) menu->addItem(platform::MenuItem::separatorItem());
        separatorDue = false;
        auto item = menu->addItemWithTitle(title, selector, "");
        item->setTarget(self);
        item->setRepresentedObject(object);
    };
    std::unordered_set<std::string> listed;  // a set: configurations and action lists may be long
    for (const auto& entry : contextualMenuItemsForClassNamed(defaults, className)) {
        if (!entry.isDictionary()) continue;
        const auto& item = entry.asDictionary();
        if (textEntry(item, "MenuItemType") == "SeparatorItem") {
            separatorDue = true;
            continue;
        }
        const std::string& title = textEntry(item, "DisplayString");
        if (title.empty()) continue;
        const std::string& selector = textEntry(item, "SelectorName");
        if (!selector.empty()) listed.insert(selector);
        add(title, selector);
    }
    separatorDue = true;
    for (const auto& action : m_actions) {
        if (!action.appliesToClassNamed(className)) continue;
        // One item per selector, as in the configuration.
        if (!listed.insert(action.selectorName()).second) continue;
        add(action.displayString(), action.selectorName());
    }
    return menu;
}

bool MCMenuManager::respondsToAction(const std::string& action) const {
    return std::any_of(m_actions.begin(), m_actions.end(),
                       [&](const Action& known) { return known.selectorName() == action; });
}

bool MCMenuManager::validateMenuItem(const platform::MenuItem& item) {
    const auto& object = item.representedObject();
    return object && actionForSelectorNamed(item.action(), object->className()) != nullptr;
}

bool MCMenuManager::performAction(const std::string& action, platform::Object* sender) {
    auto* item = dynamic_cast<platform::MenuItem*>(sender);
    platform::ObjectPtr object = item ? item->representedObject() : nullptr;
    const Action* found = object ? actionForSelectorNamed(action, object->className()) : nullptr;
    if (!found) return false;
    // A copy: the action may register or remove actions while it runs.
    Action chosen = *found;
    return performAction(chosen, object.get());
}
