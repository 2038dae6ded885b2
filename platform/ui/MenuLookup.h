#pragma once

// A menu command by its path of titles ("File > Sign Off") or of numbers ("2.2"), as a person
// names it at the terminal or in a script.

#include <memory>
#include <string>
#include <vector>

namespace platform {

class Menu;
class MenuItem;

// "Plug-ins > Zandrel > Duplicate form definition" -> {"Plug-ins", "Zandrel", "Duplicate ..."}.
std::vector<std::string> splitMenuPath(const std::string& path);

struct MenuLookup {
    std::shared_ptr<MenuItem> item;  // none when the path does not lead anywhere
    std::string error;               // why, naming the step that failed and what was there
};
// Follows submenus by item title from `menu` (the menu bar).
MenuLookup findMenuItem(const Menu& menu, const std::vector<std::string>& titles);
// Follows submenus by item number (1-based, separators not counted), as "2.1.1".
MenuLookup findMenuItem(const Menu& menu, const std::vector<int>& numbers);
// The items a person can choose in `menu`, separators left out: what menu numbers count.
std::vector<std::shared_ptr<MenuItem>> numberedItems(const Menu& menu);

}  // namespace platform
