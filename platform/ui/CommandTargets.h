#pragma once

// What a command names in a window -- the views a person can see there, in drawing order; a view
// by identifier or number, a button by title; the key window; a table's check-box cell; the
// contextual menu of the selected row -- as every front end looks it up, so a script means the
// same at the terminal and on the desktop.
//
// Only visible views count: a person cannot see, let alone press, a hidden button, so neither
// the terminal nor the test driver lets anyone act on one.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Button;
class Menu;
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

}  // namespace platform
