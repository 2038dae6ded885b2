#pragma once

// FrontEndSupport: what every front end needs to act for a person -- the views they can see in a
// window, in drawing order; a view by identifier or a button by title; a menu command by its
// path of titles or numbers; and an alert's buttons with the values they return.
//
// Only visible views count: a person cannot see, let alone press, a hidden button, so neither
// the terminal nor the test driver lets anyone act on one.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/FrontEnd.h"

namespace platform {

class Button;
class Menu;
class MenuItem;
class View;
class Window;

// The window's visible views, depth first in the order they were added, without the content view
// itself. Front ends number them from 1 in this order.
std::vector<std::shared_ptr<View>> visibleViews(const Window& window);
std::shared_ptr<View> findVisibleView(const Window& window, const std::string& identifier);
// The first visible button titled exactly `title`, or else the only one titled so ignoring case.
std::shared_ptr<Button> findVisibleButton(const Window& window, const std::string& title);

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

struct AlertButton {
    std::string title;
    int returnValue;
};
// The alert's buttons in the order they are shown: default, alternate, other (empty ones left out).
std::vector<AlertButton> alertButtons(const AlertRequest& alert);
// The return value of the button titled `title` (exact, then ignoring case); none when absent.
std::optional<int> alertReturnForTitle(const AlertRequest& alert, const std::string& title);

bool equalsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace platform
