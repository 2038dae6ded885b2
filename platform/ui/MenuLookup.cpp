#include "platform/ui/MenuLookup.h"

#include <fmt/format.h>

#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TitleMatching.h"

namespace platform {

namespace {

std::string quoted(std::string_view text) {
    return fmt::format("\"{}\"", DisplayText::printable(text));
}

}  // namespace

namespace {
std::string trim(const std::string& s) {
    auto begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    auto end = s.find_last_not_of(" \t");
    return s.substr(begin, end - begin + 1);
}

// A menu in the bar is named by its item's title or, when that is empty, by the submenu's own.
std::string shownTitle(const MenuItem& item) {
    return item.title().empty() && item.submenu() ? item.submenu()->title() : item.title();
}

std::string whereLooked(const Menu& top, const Menu& current) {
    return &current == &top ? "the menu bar" : fmt::format("the menu {}", quoted(current.title()));
}

std::string titlesOf(const Menu& menu) {
    constexpr size_t kListed = 20;
    auto items = numberedItems(menu);
    std::string list;
    for (size_t i = 0; i < items.size() && i < kListed; ++i)
        list += (list.empty() ? "" : ", ") + quoted(shownTitle(*items[i]));
    if (items.size() > kListed) list += fmt::format(" and {} more", items.size() - kListed);
    return list.empty() ? "nothing" : list;
}

// Walks `steps` down from `menu`; `pick` chooses the item for one step, or says why it cannot
// in words that follow the name of the menu it looked in.
template <typename Step, typename Pick>
MenuLookup walkMenu(const Menu& menu, const std::vector<Step>& steps, Pick pick) {
    if (steps.empty()) return {nullptr, "the menu path is empty"};
    const Menu* current = &menu;
    std::shared_ptr<MenuItem> item;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (!current) return {nullptr, fmt::format("{} has no submenu", quoted(shownTitle(*item)))};
        std::string why;
        item = pick(*current, steps[i], why);
        if (!item) {
            if (why.rfind("no ", 0) == 0)
                return {nullptr, fmt::format("{} has {} (it has {})", whereLooked(menu, *current), why,
                                             titlesOf(*current))};
            return {nullptr, fmt::format("in {}, {}", whereLooked(menu, *current), why)};
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
    return walkMenu(
        menu, titles,
        [](const Menu& m, const std::string& title, std::string& why) -> std::shared_ptr<MenuItem> {
            auto items = numberedItems(m);
            std::vector<std::string> shown;
            for (const auto& item : items) shown.push_back(shownTitle(*item));
            auto match = matchTitle(shown, title, "item");
            if (match.index) return items[*match.index];
            why = match.error;
            return nullptr;
        });
}

MenuLookup findMenuItem(const Menu& menu, const std::vector<int>& numbers) {
    return walkMenu(menu, numbers,
                    [](const Menu& m, int number, std::string& why) -> std::shared_ptr<MenuItem> {
                        auto items = numberedItems(m);
                        if (number < 1 || static_cast<size_t>(number) > items.size()) {
                            why = fmt::format("no item \"{}\"", number);
                            return nullptr;
                        }
                        return items[static_cast<size_t>(number - 1)];
                    });
}

}  // namespace platform
