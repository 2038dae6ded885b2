#include "platform/ui/FrontEndSupport.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "platform/ui/Button.h"
#include "platform/ui/Menu.h"
#include "platform/ui/Window.h"

namespace platform {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

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
    std::vector<std::shared_ptr<Button>> caseless;
    for (auto& view : visibleViews(window)) {
        auto button = std::dynamic_pointer_cast<Button>(view);
        if (!button) continue;
        if (button->title() == title) return button;
        if (equalsIgnoringCase(button->title(), title)) caseless.push_back(button);
    }
    return caseless.size() == 1 ? caseless.front() : nullptr;
}

namespace {
std::string trim(const std::string& s) {
    auto begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    auto end = s.find_last_not_of(" \t");
    return s.substr(begin, end - begin + 1);
}

std::string titlesOf(const Menu& menu) {
    std::string list;
    for (const auto& item : numberedItems(menu))
        list += (list.empty() ? "\"" : ", \"") + item->title() + "\"";
    return list.empty() ? "nothing" : list;
}

// Walks `steps` down from `menu`; `pick` chooses the item for one step or explains why it cannot.
template <typename Step, typename Pick>
MenuLookup walkMenu(const Menu& menu, const std::vector<Step>& steps, Pick pick) {
    if (steps.empty()) return {nullptr, "the menu path is empty"};
    const Menu* current = &menu;
    std::shared_ptr<MenuItem> item;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!current) return {nullptr, fmt::format("\"{}\" has no submenu", item->title())};
        item = pick(*current, steps[i]);
        if (!item) {
            std::string where =
                current == &menu ? "the menu bar" : fmt::format("the menu \"{}\"", current->title());
            return {nullptr,
                    fmt::format("{} has no item {} (it has {})", where,
                                fmt::format("\"{}\"", fmt::to_string(steps[i])), titlesOf(*current))};
        }
        current = item->submenu().get();
    }
    return {item, {}};
}
}  // namespace

std::vector<std::string> splitMenuPath(const std::string& path) {
    std::vector<std::string> titles;
    size_t start = 0;
    for (;;) {
        size_t cut = path.find('>', start);
        std::string part =
            trim(path.substr(start, cut == std::string::npos ? std::string::npos : cut - start));
        if (!part.empty()) titles.push_back(part);
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    return titles;
}

std::vector<std::shared_ptr<MenuItem>> numberedItems(const Menu& menu) {
    std::vector<std::shared_ptr<MenuItem>> items;
    for (const auto& item : menu.itemArray())
        if (!item->isSeparatorItem()) items.push_back(item);
    return items;
}

MenuLookup findMenuItem(const Menu& menu, const std::vector<std::string>& titles) {
    return walkMenu(menu, titles, [](const Menu& m, const std::string& title) -> std::shared_ptr<MenuItem> {
        // A menu in the bar is named by its item's title or by the submenu's own title.
        std::shared_ptr<MenuItem> caseless;
        for (const auto& item : numberedItems(m)) {
            if (item->title() == title ||
                (item->title().empty() && item->submenu() && item->submenu()->title() == title))
                return item;
            if (!caseless && equalsIgnoringCase(item->title(), title)) caseless = item;
        }
        return caseless;
    });
}

MenuLookup findMenuItem(const Menu& menu, const std::vector<int>& numbers) {
    return walkMenu(menu, numbers, [](const Menu& m, int number) -> std::shared_ptr<MenuItem> {
        auto items = numberedItems(m);
        if (number < 1 || static_cast<size_t>(number) > items.size()) return nullptr;
        return items[static_cast<size_t>(number - 1)];
    });
}

std::vector<AlertButton> alertButtons(const AlertRequest& alert) {
    std::vector<AlertButton> buttons;
    // An alert always has a default button; the toolkit titles it "OK" when none is given.
    buttons.push_back({alert.defaultButton.empty() ? "OK" : alert.defaultButton, kAlertDefaultReturn});
    if (!alert.alternateButton.empty()) buttons.push_back({alert.alternateButton, kAlertAlternateReturn});
    if (!alert.otherButton.empty()) buttons.push_back({alert.otherButton, kAlertOtherReturn});
    return buttons;
}

std::optional<int> alertReturnForTitle(const AlertRequest& alert, const std::string& title) {
    auto buttons = alertButtons(alert);
    for (const auto& b : buttons)
        if (b.title == title) return b.returnValue;
    for (const auto& b : buttons)
        if (equalsIgnoringCase(b.title, title)) return b.returnValue;
    return std::nullopt;
}

}  // namespace platform
