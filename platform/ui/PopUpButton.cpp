#include "platform/ui/PopUpButton.h"

namespace platform {

std::shared_ptr<MenuItem> PopUpButton::addItemWithTitle(const std::string& title) {
    auto item = m_menu->addItemWithTitle(title, "", "");
    if (m_selected < 0) m_selected = 0;
    return item;
}

void PopUpButton::removeAllItems() {
    m_menu->removeAllItems();
    m_selected = -1;
}

std::vector<std::string> PopUpButton::itemTitles() const {
    std::vector<std::string> titles;
    for (const auto& item : m_menu->itemArray()) titles.push_back(item->title());
    return titles;
}

std::shared_ptr<MenuItem> PopUpButton::selectedItem() const {
    return m_selected < 0 ? nullptr : m_menu->itemAtIndex(static_cast<size_t>(m_selected));
}

std::string PopUpButton::titleOfSelectedItem() const {
    auto item = selectedItem();
    return item ? item->title() : std::string();
}

void PopUpButton::selectItemAtIndex(int64_t index) {
    m_selected = index >= 0 && static_cast<size_t>(index) < numberOfItems() ? index : -1;
}

bool PopUpButton::chooseItemAtIndex(int64_t index) {
    if (!isEnabled() || index < 0 || static_cast<size_t>(index) >= numberOfItems()) return false;
    m_selected = index;
    sendAction();
    return true;
}

}  // namespace platform
