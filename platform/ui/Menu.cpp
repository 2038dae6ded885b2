#include "platform/ui/Menu.h"

#include "platform/ui/ActionTarget.h"

namespace platform {

std::shared_ptr<MenuItem> MenuItem::separatorItem() {
    auto item = std::make_shared<MenuItem>();
    item->m_separator = true;
    return item;
}

void MenuItem::setSubmenu(std::shared_ptr<Menu> submenu) {
    m_submenu = std::move(submenu);
}

bool MenuItem::isEnabled() const {
    if (m_separator) return false;
    if (m_submenu) return true;
    auto* receiver = dynamic_cast<ActionTarget*>(m_target.lock().get());
    if (!receiver || m_action.empty() || !receiver->respondsToAction(m_action)) return false;
    return receiver->validateMenuItem(*this);
}

bool MenuItem::performAction() {
    if (!isEnabled() || m_submenu) return false;
    auto keepSelf = shared_from_this();
    auto target = m_target.lock();
    return dynamic_cast<ActionTarget*>(target.get())->performAction(m_action, this);
}

Menu::~Menu() {
    for (auto& item : m_items) item->m_menu = nullptr;
}

void Menu::addItem(std::shared_ptr<MenuItem> item) {
    insertItemAtIndex(std::move(item), m_items.size());
}

std::shared_ptr<MenuItem> Menu::addItemWithTitle(std::string title, std::string action,
                                                 std::string keyEquivalent) {
    auto item = std::make_shared<MenuItem>(std::move(title), std::move(action), std::move(keyEquivalent));
    addItem(item);
    return item;
}

void Menu::insertItemAtIndex(std::shared_ptr<MenuItem> item, size_t index) {
    if (!item) return;
    if (item->m_menu && item->m_menu != this) {
        auto* owner = item->m_menu;
        owner->removeItemAtIndex(static_cast<size_t>(owner->indexOfItem(item.get())));
    }
    item->m_menu = this;
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(std::min(index, m_items.size())),
                   std::move(item));
}

void Menu::removeItemAtIndex(size_t index) {
    if (index >= m_items.size()) return;
    m_items[index]->m_menu = nullptr;
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
}

void Menu::removeAllItems() {
    for (auto& item : m_items) item->m_menu = nullptr;
    m_items.clear();
}

std::shared_ptr<MenuItem> Menu::itemAtIndex(size_t index) const {
    return index < m_items.size() ? m_items[index] : nullptr;
}

std::shared_ptr<MenuItem> Menu::itemWithTitle(const std::string& title) const {
    for (const auto& item : m_items)
        if (item->title() == title) return item;
    return nullptr;
}

int64_t Menu::indexOfItem(const MenuItem* item) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == item) return static_cast<int64_t>(i);
    return -1;
}

}  // namespace platform
