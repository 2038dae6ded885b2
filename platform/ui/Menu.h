#pragma once

// Menu: an ordered list of menu items. A menu owns its items; an item belongs to one menu.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/MenuItem.h"

namespace platform {

class Menu : public Object {
public:
    Menu() = default;
    explicit Menu(std::string title) : m_title(std::move(title)) {}
    ~Menu() override;

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }

    void addItem(std::shared_ptr<MenuItem> item);
    std::shared_ptr<MenuItem> addItemWithTitle(std::string title, std::string action,
                                               std::string keyEquivalent);
    void insertItemAtIndex(std::shared_ptr<MenuItem> item, size_t index);
    void removeItemAtIndex(size_t index);
    void removeAllItems();

    size_t numberOfItems() const { return m_items.size(); }
    const std::vector<std::shared_ptr<MenuItem>>& itemArray() const { return m_items; }
    std::shared_ptr<MenuItem> itemAtIndex(size_t index) const;
    std::shared_ptr<MenuItem> itemWithTitle(const std::string& title) const;
    int64_t indexOfItem(const MenuItem* item) const;

private:
    std::string m_title;
    std::vector<std::shared_ptr<MenuItem>> m_items;
};

}  // namespace platform
