#pragma once

// PopUpButton: a control showing one of a list of items. Adding the first item selects it, as
// a person expects from a pop-up; removing all items leaves nothing selected (index -1).

#include <memory>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/Menu.h"

namespace platform {

class PopUpButton : public Control {
public:
    PopUpButton() : m_menu(std::make_shared<Menu>()) {}

    const std::shared_ptr<Menu>& menu() const { return m_menu; }
    size_t numberOfItems() const { return m_menu->numberOfItems(); }
    std::shared_ptr<MenuItem> addItemWithTitle(const std::string& title);
    void removeAllItems();
    std::shared_ptr<MenuItem> itemAtIndex(size_t index) const { return m_menu->itemAtIndex(index); }
    std::vector<std::string> itemTitles() const;

    int64_t indexOfSelectedItem() const { return m_selected; }
    std::shared_ptr<MenuItem> selectedItem() const;
    std::string titleOfSelectedItem() const;
    // Selects without sending the action (a program choosing); -1 selects nothing.
    void selectItemAtIndex(int64_t index);
    // A person choosing an entry: selects it and sends the action. False for a bad index.
    bool chooseItemAtIndex(int64_t index);

private:
    std::shared_ptr<Menu> m_menu;
    int64_t m_selected = -1;
};

}  // namespace platform
