#pragma once

// MenuItem: a titled entry of a menu, carrying a submenu or a target/action pair, a key
// equivalent, a tag and a represented object. Pop-up buttons use menu items as their entries.

#include <memory>
#include <string>

#include "platform/foundation/Object.h"
#include "platform/foundation/Value.h"

namespace platform {

class Menu;

class MenuItem : public Object {
public:
    MenuItem() = default;
    MenuItem(std::string title, std::string action, std::string keyEquivalent)
        : m_title(std::move(title)), m_action(std::move(action)), m_keyEquivalent(std::move(keyEquivalent)) {}
    static std::shared_ptr<MenuItem> separatorItem();

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    const std::string& action() const { return m_action; }
    void setAction(std::string action) { m_action = std::move(action); }
    const std::string& keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(std::string key) { m_keyEquivalent = std::move(key); }
    std::shared_ptr<Object> target() const { return m_target.lock(); }
    void setTarget(const std::shared_ptr<Object>& target) { m_target = target; }
    int64_t tag() const { return m_tag; }
    void setTag(int64_t tag) { m_tag = tag; }
    bool isSeparatorItem() const { return m_separator; }

    const std::shared_ptr<Menu>& submenu() const { return m_submenu; }
    void setSubmenu(std::shared_ptr<Menu> submenu);
    bool hasSubmenu() const { return m_submenu != nullptr; }
    Menu* menu() const { return m_menu; }

    // What the item stands for: an object (a database object behind a pop-up entry) or a value.
    const ObjectPtr& representedObject() const { return m_representedObject; }
    void setRepresentedObject(ObjectPtr object) { m_representedObject = std::move(object); }

    // Whether choosing the item would do something now: it has an action and its target agrees.
    bool isEnabled() const;
    // Chooses the item: sends its action to its target. False when disabled or nobody handled it.
    bool performAction();

private:
    friend class Menu;
    std::string m_title;
    std::string m_action;
    std::string m_keyEquivalent;
    std::weak_ptr<Object> m_target;
    int64_t m_tag = 0;
    bool m_separator = false;
    std::shared_ptr<Menu> m_submenu;
    Menu* m_menu = nullptr;
    ObjectPtr m_representedObject;
};

}  // namespace platform
