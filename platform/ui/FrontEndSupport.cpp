#include "platform/ui/FrontEndSupport.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/foundation/UTF8.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Menu.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"

namespace platform {

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos) {
    char32_t value;
    const size_t length = UTF8::decode(text, pos, value);
    if (length == 0) {
        ++pos;
        return std::nullopt;
    }
    pos += length;
    return value;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t start = pos;
        auto c = nextCodePoint(text, pos);
        if (!c) {
            out += fmt::format("\\x{:02x}", static_cast<unsigned char>(text[start]));
            continue;
        }
        switch (*c) {
            case U'\n':
                out += "\\n";
                continue;
            case U'\t':
                out += "\\t";
                continue;
            case U'\r':
                out += "\\r";
                continue;
            case 0x1b:
                out += "\\e";
                continue;
            default:
                break;
        }
        // C0 and C1 controls move the cursor or start sequences; the directional overrides and
        // isolates reorder what follows, and zero-width characters hide inside a word, so a title
        // could show as something else.
        bool control = *c < 0x20 || (*c >= 0x7f && *c <= 0x9f);
        bool reorders = (*c >= 0x202a && *c <= 0x202e) || (*c >= 0x2066 && *c <= 0x2069);
        bool invisible = (*c >= 0x200b && *c <= 0x200f) || *c == 0xfeff;
        if (control && *c < 0x80)
            out += fmt::format("\\x{:02x}", static_cast<unsigned>(*c));
        else if (control || reorders || invisible)
            out += fmt::format("\\u{:04x}", static_cast<unsigned>(*c));
        else
            out.append(text.substr(start, pos - start));
    }
    return out;
}

namespace {

// Lower case for the scripts whose case pairs sit at a fixed distance (Latin, Greek, Cyrillic);
// others are left alone and still match exactly or by prefix.
char32_t foldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c < 0xc0) return c;
    if (c <= 0xde && c != 0xd7) return c + 0x20;
    if (c >= 0x100 && c <= 0x17f) {
        // Latin Extended-A pairs upper/lower on even/odd code points, shifted by one in two runs.
        bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17e);
        if (c == 0x178) return 0xff;  // capital Y with diaeresis pairs with the small one in Latin-1
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17f) return c;
        if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3ab && c != 0x3a2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42f) return c + 0x20;
    if (c >= 0x400 && c <= 0x40f) return c + 0x50;
    return c;
}

// What matching compares: code points with "..." read as the ellipsis, case folded or not.
// Bytes that are not UTF-8 stand for themselves, above the code point range, so they only ever
// match the same bytes.
std::u32string matchKey(std::string_view text, bool fold) {
    std::u32string key;
    key.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        if (text.substr(pos, 3) == "...") {
            key.push_back(U'\u2026');
            pos += 3;
            continue;
        }
        size_t start = pos;
        auto c = nextCodePoint(text, pos);
        char32_t value = c ? *c : 0x110000 + static_cast<unsigned char>(text[start]);
        key.push_back(fold ? foldCase(value) : value);
    }
    return key;
}

std::string quoted(std::string_view text) {
    return fmt::format("\"{}\"", printable(text));
}

// Restricted Damerau-Levenshtein distance (a swap of neighbours counts as one edit), giving up
// once every cell of a row exceeds `limit`: the answer is then "more than limit".
size_t editDistance(const std::u32string& a, const std::u32string& b, size_t limit) {
    size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > limit) return limit + 1;
    std::vector<size_t> before(m + 1), previous(m + 1), current(m + 1);
    for (size_t j = 0; j <= m; ++j) previous[j] = j;
    for (size_t i = 1; i <= n; ++i) {
        current[0] = i;
        size_t rowMin = current[0];
        for (size_t j = 1; j <= m; ++j) {
            size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
            rowMin = std::min(rowMin, current[j]);
        }
        if (rowMin > limit) return limit + 1;
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

// Longer words tolerate more typing mistakes; very long input is not a typing mistake of a title.
constexpr size_t kLongestSuggestible = 64;
constexpr size_t kListedWhenAmbiguous = 10;
size_t suggestionLimit(size_t length) {
    return std::max<size_t>(1, length / 3);
}

}  // namespace

std::string nearestTitle(const std::vector<std::string>& titles, const std::string& wanted) {
    auto key = matchKey(wanted, true);
    if (key.empty() || key.size() > kLongestSuggestible) return {};
    size_t limit = suggestionLimit(key.size());
    const std::string* best = nullptr;
    size_t bestDistance = limit + 1;
    for (const auto& title : titles) {
        // Four bytes at most per character: a longer title cannot be within reach.
        if (title.size() > 4 * (key.size() + limit)) continue;
        auto titleKey = matchKey(title, true);
        size_t d = editDistance(key, titleKey, limit);
        // A title shorter than the edits it takes is no likeness ("ab" for "xy").
        if (d < bestDistance && d < titleKey.size()) {
            best = &title;
            bestDistance = d;
        }
    }
    return best ? *best : std::string();
}

TitleMatch matchTitle(const std::vector<std::string>& titles, const std::string& wanted,
                      const std::string& what) {
    std::vector<std::u32string> exact, folded;
    exact.reserve(titles.size());
    folded.reserve(titles.size());
    for (const auto& t : titles) {
        exact.push_back(matchKey(t, false));
        folded.push_back(matchKey(t, true));
    }
    auto wantedExact = matchKey(wanted, false);
    auto wantedFolded = matchKey(wanted, true);
    using Test = std::function<bool(size_t)>;
    const Test levels[] = {
        [&](size_t i) { return titles[i] == wanted; },
        [&](size_t i) { return exact[i] == wantedExact; },
        [&](size_t i) { return folded[i] == wantedFolded; },
        [&](size_t i) {
            return !wantedFolded.empty() && folded[i].compare(0, wantedFolded.size(), wantedFolded) == 0;
        },
    };
    for (const auto& matches : levels) {
        std::vector<size_t> found;
        for (size_t i = 0; i < titles.size(); ++i)
            if (matches(i)) found.push_back(i);
        if (found.size() == 1) return {found.front(), {}};
        if (found.empty()) continue;
        // Each title once, with how often it repeats: the list's order, not a guess, is shown.
        std::vector<std::pair<std::string, size_t>> distinct;
        for (size_t i : found) {
            auto same = std::find_if(distinct.begin(), distinct.end(),
                                     [&](const auto& d) { return d.first == titles[i]; });
            if (same != distinct.end())
                ++same->second;
            else if (distinct.size() <= kListedWhenAmbiguous)
                distinct.emplace_back(titles[i], 1);
        }
        if (distinct.size() == 1)
            return {std::nullopt, fmt::format("{} is ambiguous: {} {}s have that title", quoted(wanted),
                                              found.size(), what)};
        std::string list;
        size_t listed = 0;
        for (size_t k = 0; k < distinct.size() && k < kListedWhenAmbiguous; ++k) {
            list += (k ? ", " : "") + quoted(distinct[k].first);
            if (distinct[k].second > 1) list += fmt::format(" ({} of them)", distinct[k].second);
            listed += distinct[k].second;
        }
        if (found.size() > listed) list += fmt::format(" and {} more", found.size() - listed);
        return {std::nullopt, fmt::format("{} is ambiguous: {}", quoted(wanted), list)};
    }
    std::string error = fmt::format("no {} {}", what, quoted(wanted));
    if (auto near = nearestTitle(titles, wanted); !near.empty())
        error += fmt::format(" (did you mean {}?)", quoted(near));
    return {std::nullopt, error};
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

std::vector<AlertButton> alertButtons(const AlertRequest& alert) {
    std::vector<AlertButton> buttons;
    // An alert always has a default button; the toolkit titles it "OK" when none is given.
    buttons.push_back({alert.defaultButton.empty() ? "OK" : alert.defaultButton, kAlertDefaultReturn});
    if (!alert.alternateButton.empty()) buttons.push_back({alert.alternateButton, kAlertAlternateReturn});
    if (!alert.otherButton.empty()) buttons.push_back({alert.otherButton, kAlertOtherReturn});
    return buttons;
}

AlertButton decliningButton(const AlertRequest& alert) {
    auto buttons = alertButtons(alert);
    for (const auto& button : buttons)
        if (equalsIgnoringCase(button.title, "Cancel")) return button;
    for (const auto& button : buttons)
        if (button.returnValue == kAlertAlternateReturn) return button;
    return buttons.front();
}

std::optional<int> alertReturnForTitle(const AlertRequest& alert, const std::string& title) {
    auto buttons = alertButtons(alert);
    std::vector<std::string> titles;
    for (const auto& b : buttons) titles.push_back(b.title);
    auto match = matchTitle(titles, title, "button");
    if (!match.index) return std::nullopt;
    return buttons[*match.index].returnValue;
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
                                    printable(table->identifier()));
        }
        return out;
    }
    out.error = fmt::format("no table row is selected: select one first (select {} <row>)",
                            tables.front()->identifier().empty() ? std::string("<table>")
                                                                 : printable(tables.front()->identifier()));
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

namespace {

bool isNumber(const std::string& s) {
    return !s.empty() && s.size() < 10 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

KeyWindowLookup lookUpKeyWindow() {
    KeyWindowLookup found{Application::shared().keyWindow(), {}};
    if (!found.window) found.error = "No window is open: choose a command with \"menu\" first.";
    return found;
}

ViewLookup lookUpView(const Window& window, const std::string& ref, const std::string& windowName) {
    if (auto view = findVisibleView(window, ref)) return {view, {}};
    std::string number = !ref.empty() && ref[0] == '#' ? ref.substr(1) : ref;
    auto views = visibleViews(window);
    if (isNumber(number)) {
        size_t n = std::stoul(number);
        if (n >= 1 && n <= views.size()) return {views[n - 1], {}};
    }
    std::vector<std::string> identifiers;
    for (const auto& view : views)
        if (!view->identifier().empty()) identifiers.push_back(view->identifier());
    std::string nearest = nearestTitle(identifiers, ref);
    return {
        nullptr,
        fmt::format("Window {} has no view \"{}\"{}: use an identifier or a number (1 to {}) from \"show\".",
                    windowName, printable(ref),
                    nearest.empty() ? "" : fmt::format(" (did you mean \"{}\"?)", printable(nearest)),
                    views.size())};
}

CheckBoxCellLookup lookUpCheckBoxCell(const TableView& table, const std::vector<std::string>& words) {
    CheckBoxCellLookup found;
    std::string name = printable(words.size() > 1 ? words[1] : std::string());
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
    if (!isNumber(rowText) || std::stoul(rowText) < 1 || std::stoul(rowText) > rows) {
        found.error = fmt::format("The table \"{}\" has no row \"{}\": give a number from 1 to {}.", name,
                                  printable(rowText), rows);
        return found;
    }
    found.row = std::stoul(rowText) - 1;
    const auto& columns = table.tableColumns();
    std::vector<std::string> boxNames;
    for (size_t c : boxes)
        boxNames.push_back(columns[c].title.empty() ? columns[c].identifier : columns[c].title);
    std::string listed = printable(fmt::format("{}", fmt::join(boxNames, ", ")));
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
    if (!column && isNumber(wanted) && std::stoul(wanted) >= 1 && std::stoul(wanted) <= columns.size())
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
