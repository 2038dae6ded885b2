#pragma once

// FrontEndSupport: what every front end needs to act for a person -- the views they can see in a
// window, in drawing order; a view by identifier or a button by title; a menu command by its
// path of titles or numbers; and an alert's buttons with the values they return.
//
// Only visible views count: a person cannot see, let alone press, a hidden button, so neither
// the terminal nor the test driver lets anyone act on one.
//
// Titles (menu items, buttons, alert buttons, pop-up items, commands) are matched one way
// everywhere: exact first, then ignoring letter case, then a unique prefix ignoring case. When
// the first of these levels that finds anything finds more than one, the request is refused as
// ambiguous rather than guessed: two templates may differ only in letter case. "..." typed by a
// person matches the ellipsis character "\u2026" in a title. Letter case is ignored for Latin,
// Greek and Cyrillic letters; other scripts match as written.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/FrontEnd.h"

namespace platform {

class Button;
class Menu;
class MenuItem;
class TableView;
class Value;
class View;
class Window;

// The window's visible views, depth first in the order they were added, without the content view
// itself. Front ends number them from 1 in this order.
std::vector<std::shared_ptr<View>> visibleViews(const Window& window);
std::shared_ptr<View> findVisibleView(const Window& window, const std::string& identifier);
// The visible button whose title matches `title` (see matchTitle); none when absent or ambiguous.
std::shared_ptr<Button> findVisibleButton(const Window& window, const std::string& title);

// What a command names -- the key window, a view of it, a check-box cell -- as both front ends
// look it up, so a script means the same at the terminal and on the desktop. Without a result,
// `error` says why and what to do, ready to show.
struct KeyWindowLookup {
    std::shared_ptr<Window> window;
    std::string error;
};
KeyWindowLookup lookUpKeyWindow();

struct ViewLookup {
    std::shared_ptr<View> view;
    std::string error;
};
// The visible view `ref` names: an identifier first, then a number ("3" or "#3") in the order of
// visibleViews(). The error names the window as `windowName` (each front end writes window names
// its own way) and suggests the nearest identifier.
ViewLookup lookUpView(const Window& window, const std::string& ref, const std::string& windowName);

struct CheckBoxCellLookup {
    size_t row = 0;
    size_t column = 0;
    std::string error;  // empty when found
};
// The check-box cell of `tick <table> <row> [<column>]`: `words` is the whole command, words[1]
// naming `table`. The row is a number from 1; the column an identifier, a title of a check-box
// column or a column number, and may be left out when the table has one check-box column.
CheckBoxCellLookup lookUpCheckBoxCell(const TableView& table, const std::vector<std::string>& words);

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

// The contextual menu a person gets on a window's selected table row: of the first visible
// table that has a selected row. Without a menu, `error` says why (no table, no row selected, no
// contextual menu for that row) and what to do.
struct ContextualMenuLookup {
    std::shared_ptr<TableView> table;
    size_t row = 0;
    std::shared_ptr<Menu> menu;
    std::string error;
};
ContextualMenuLookup contextualMenuOfSelectedRow(const Window& window);

// Whether a check-box cell's value shows a tick: true, or a number other than 0.
bool isTicked(const Value& value);
// The table's check-box columns, by index.
std::vector<size_t> checkBoxColumns(const TableView& table);

struct AlertButton {
    std::string title;
    int returnValue;
};
// The alert's buttons in the order they are shown: default, alternate, other (empty ones left out).
std::vector<AlertButton> alertButtons(const AlertRequest& alert);
// The answer of someone who did not accept: the button titled Cancel, else the alternate one;
// an alert with one button can only be acknowledged. Ctrl-C, a signal and the end of input all
// answer so, since an offer nobody answered is declined.
AlertButton decliningButton(const AlertRequest& alert);
// The return value of the button whose title matches `title` (see matchTitle); none when absent
// or ambiguous.
std::optional<int> alertReturnForTitle(const AlertRequest& alert, const std::string& title);

// Compares ASCII letters without regard to case; other bytes must be equal.
bool equalsIgnoringCase(const std::string& a, const std::string& b);

struct TitleMatch {
    std::optional<size_t> index;  // the title chosen, by position in the list
    std::string error;            // ready to show when there is no index, e.g.
                                  // `no item "Invoce" (did you mean "Invoice"?)` or
                                  // `"in" is ambiguous: "Invoice", "Inquiry"`
};
// Picks the title `wanted` names among `titles`; `what` names the kind of thing in the error
// ("item", "button", "command", ...).
TitleMatch matchTitle(const std::vector<std::string>& titles, const std::string& wanted,
                      const std::string& what);
// The title closest to `wanted` by edit distance (ignoring case), or "" when none is close enough
// to be a likely typing mistake.
std::string nearestTitle(const std::vector<std::string>& titles, const std::string& wanted);
// `text` safe to show: control characters and bytes that are not UTF-8 are written escaped
// (\e, \n, \t, \r, \\xNN), and so are the characters that reorder or hide text (directional
// overrides and isolates, zero-width characters: \uNNNN); everything else, including
// backslashes, is unchanged.
std::string printable(std::string_view text);
// Decodes the UTF-8 character at `pos` and moves `pos` past it; when the bytes there are not
// UTF-8 (overlong, surrogate, cut short, out of range), returns none and moves one byte on.
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos);

}  // namespace platform
