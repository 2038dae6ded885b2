#include "platform/ui/CommandTargets.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

#include "platform/foundation/AsciiText.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TitleMatching.h"
#include "platform/ui/Window.h"

namespace platform {

std::vector<std::shared_ptr<View>> visibleViews(const Window& window) {
    std::vector<std::shared_ptr<View>> views;
    if (!window.contentView() || window.contentView()->isHidden()) return views;
    // Explicit stack (children pushed in reverse) keeps drawing order without recursion.
    std::vector<std::shared_ptr<View>> stack;
    const auto& top = window.contentView()->subviews();
    stack.assign(top.rbegin(), top.rend());
    while (!stack.empty()) {
        auto view = std::move(stack.back());
        stack.pop_back();
        if (view->isHidden()) continue;
        views.push_back(view);
        const auto& subs = view->subviews();
        stack.insert(stack.end(), subs.rbegin(), subs.rend());
    }
    return views;
}

std::shared_ptr<View> findVisibleView(const Window& window, const std::string& identifier) {
    if (identifier.empty()) return nullptr;
    for (auto& view : visibleViews(window))
        if (view->identifier() == identifier) return view;
    return nullptr;
}

std::shared_ptr<Button> findVisibleButton(const Window& window, const std::string& title) {
    std::vector<std::shared_ptr<Button>> buttons;
    std::vector<std::string> titles;
    for (auto& view : visibleViews(window))
        if (auto button = std::dynamic_pointer_cast<Button>(view)) {
            buttons.push_back(button);
            titles.push_back(button->title());
        }
    auto match = matchTitle(titles, title, "button");
    return match.index ? buttons[*match.index] : nullptr;
}

ContextualMenuLookup contextualMenuOfSelectedRow(const Window& window) {
    ContextualMenuLookup out;
    std::vector<std::shared_ptr<TableView>> tables;
    for (const auto& view : visibleViews(window))
        if (auto table = std::dynamic_pointer_cast<TableView>(view)) tables.push_back(table);
    if (tables.empty()) {
        out.error = "the window shows no table, so there is no row to open a contextual menu on";
        return out;
    }
    for (const auto& table : tables) {
        if (table->selectedRow() < 0) continue;
        out.table = table;
        out.row = static_cast<size_t>(table->selectedRow());
        out.menu = table->menuForRow(out.row);
        if (!out.menu || out.menu->numberOfItems() == 0) {
            out.menu = nullptr;
            out.error = fmt::format("row {} of the table \"{}\" has no contextual menu", out.row + 1,
                                    DisplayText::printable(table->identifier()));
        }
        return out;
    }
    out.error = fmt::format("no table row is selected: select one first (select {} <row>)",
                            tables.front()->identifier().empty()
                                ? std::string("<table>")
                                : DisplayText::printable(tables.front()->identifier()));
    return out;
}

bool isTicked(const Value& value) {
    if (value.isBool()) return value.asBool();
    return value.isInteger() && value.asInteger() != 0;
}

std::vector<size_t> checkBoxColumns(const TableView& table) {
    std::vector<size_t> columns;
    const auto& all = table.tableColumns();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].checkBox) columns.push_back(i);
    return columns;
}

KeyWindowLookup lookUpKeyWindow() {
    KeyWindowLookup found{Application::shared().keyWindow(), {}};
    if (!found.window) found.error = "No window is open: choose a command with \"menu\" first.";
    return found;
}

ViewLookup lookUpView(const Window& window, const std::string& ref, const std::string& windowName) {
    if (auto view = findVisibleView(window, ref)) return {view, {}};
    std::string number = !ref.empty() && ref[0] == '#' ? ref.substr(1) : ref;
    auto views = visibleViews(window);
    if (AsciiText::isNumber(number)) {
        size_t n = std::stoul(number);
        if (n >= 1 && n <= views.size()) return {views[n - 1], {}};
    }
    std::vector<std::string> identifiers;
    for (const auto& view : views)
        if (!view->identifier().empty()) identifiers.push_back(view->identifier());
    std::string nearest = nearestTitle(identifiers, ref);
    return {
        nullptr,
        fmt::format(
            "Window {} has no view \"{}\"{}: use an identifier or a number (1 to {}) from \"show\".",
            windowName, DisplayText::printable(ref),
            nearest.empty() ? "" : fmt::format(" (did you mean \"{}\"?)", DisplayText::printable(nearest)),
            views.size())};
}

CheckBoxCellLookup lookUpCheckBoxCell(const TableView& table, const std::vector<std::string>& words) {
    CheckBoxCellLookup found;
    std::string name = DisplayText::printable(words.size() > 1 ? words[1] : std::string());
    auto boxes = checkBoxColumns(table);
    if (boxes.empty()) {
        found.error = fmt::format("The table \"{}\" has no check-box column to tick.", name);
        return found;
    }
    if (words.size() < 3 || words.size() > 4) {
        found.error = fmt::format("Usage: tick {} <row> [<column>]", name);
        return found;
    }
    size_t rows = table.numberOfRows();
    const std::string& rowText = words[2];
    if (!AsciiText::isNumber(rowText) || std::stoul(rowText) < 1 || std::stoul(rowText) > rows) {
        found.error = fmt::format("The table \"{}\" has no row \"{}\": give a number from 1 to {}.", name,
                                  DisplayText::printable(rowText), rows);
        return found;
    }
    found.row = std::stoul(rowText) - 1;
    const auto& columns = table.tableColumns();
    std::vector<std::string> boxNames;
    for (size_t c : boxes)
        boxNames.push_back(columns[c].title.empty() ? columns[c].identifier : columns[c].title);
    std::string listed = DisplayText::printable(fmt::format("{}", fmt::join(boxNames, ", ")));
    if (words.size() == 3) {
        if (boxes.size() > 1) {
            found.error =
                fmt::format("The table \"{}\" has {} check-box columns: say which, tick {} {} <column> ({}).",
                            name, boxes.size(), name, rowText, listed);
            return found;
        }
        found.column = boxes.front();
        return found;
    }
    // An identifier names one column for sure; then titles; then a column number.
    const std::string& wanted = words[3];
    std::optional<size_t> column;
    for (size_t c : boxes)
        if (columns[c].identifier == wanted) column = c;
    TitleMatch match;
    if (!column) {
        match = matchTitle(boxNames, wanted, "check-box column");
        if (match.index) column = boxes[*match.index];
    }
    if (!column && AsciiText::isNumber(wanted) && std::stoul(wanted) >= 1 &&
        std::stoul(wanted) <= columns.size())
        column = std::stoul(wanted) - 1;
    if (!column) {
        found.error =
            fmt::format("The table \"{}\": {}; its check-box columns: {}.", name, match.error, listed);
        return found;
    }
    if (!columns[*column].checkBox) {
        found.error =
            fmt::format("Column {} of the table \"{}\" is not a check box; its check-box columns: {}.",
                        *column + 1, name, listed);
        return found;
    }
    found.column = *column;
    return found;
}

}  // namespace platform
