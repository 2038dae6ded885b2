#include "platform/ui/TerminalRenderer.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/Popover.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalDrawing.h"
#include "platform/ui/TerminalLayout.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

// Drawing below this width would show nothing but ellipses.
constexpr size_t kNarrowest = 8;
// Table rows start under the state column of a window line when the terminal is wide enough.
constexpr size_t kRowIndentWide = 34;
constexpr size_t kRowIndentNarrow = 3;
constexpr size_t kNoteIndent = 6;
// Narrow terminals give identifiers less room so that the state still shows.
constexpr size_t kNameColumn = 18;
constexpr size_t kNameColumnNarrow = 10;
constexpr size_t kNarrowBelow = 60;
constexpr size_t kKindColumn = 10;
// The fewest columns a wrapped label keeps beside its head; narrower, it goes below it.
constexpr size_t kNarrowestWrap = 24;
constexpr const char* kEllipsis = "\u2026";

void wrapParagraph(const std::string& paragraph, size_t width, std::vector<std::string>& lines);

// Text of several paragraphs (line feeds) as escaped lines of at most `width` columns.
std::vector<std::string> wrapText(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        std::string paragraph =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // Tabs and carriage returns lay out nothing a terminal line can keep: they become spaces.
        std::replace(paragraph.begin(), paragraph.end(), '\t', ' ');
        std::replace(paragraph.begin(), paragraph.end(), '\r', ' ');
        wrapParagraph(DisplayText::printable(paragraph), width, lines);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

bool inRanges(char32_t c, std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
    for (const auto& [low, high] : ranges)
        if (c >= low && c <= high) return true;
    return false;
}

size_t columnsOf(char32_t c) {
    // Combining marks, zero-width spaces and joiners, variation selectors.
    if (inRanges(c, {{0x0300, 0x036f},
                     {0x0483, 0x0489},
                     {0x0591, 0x05bd},
                     {0x0610, 0x061a},
                     {0x064b, 0x065f},
                     {0x1ab0, 0x1aff},
                     {0x1dc0, 0x1dff},
                     {0x200b, 0x200f},
                     {0x20d0, 0x20ff},
                     {0xfe00, 0xfe0f},
                     {0xfe20, 0xfe2f},
                     {0xfeff, 0xfeff},
                     {0xe0100, 0xe01ef}}))
        return 0;
    // East Asian wide and full-width characters, and emoji drawn two columns wide.
    if (inRanges(c, {{0x1100, 0x115f},
                     {0x2e80, 0x303e},
                     {0x3041, 0x33ff},
                     {0x3400, 0x4dbf},
                     {0x4e00, 0x9fff},
                     {0xa000, 0xa4cf},
                     {0xac00, 0xd7a3},
                     {0xf900, 0xfaff},
                     {0xfe30, 0xfe4f},
                     {0xff00, 0xff60},
                     {0xffe0, 0xffe6},
                     {0x1f300, 0x1f64f},
                     {0x1f900, 0x1f9ff},
                     {0x20000, 0x3fffd}}))
        return 2;
    return 1;
}

std::string padRight(const std::string& text, size_t width) {
    size_t used = TerminalRenderer::displayWidth(text);
    return used >= width ? text : text + std::string(width - used, ' ');
}

std::string padLeft(const std::string& text, size_t width) {
    size_t used = TerminalRenderer::displayWidth(text);
    return used >= width ? text : std::string(width - used, ' ') + text;
}

// A submenu that contains one of the menus above it is drawn once, not followed round.
void renderMenuItems(const Menu& menu, const std::string& prefix, size_t width,
                     std::vector<const Menu*>& above, std::string& out) {
    above.push_back(&menu);
    size_t depth = above.size() - 1;
    std::string indent(std::min<size_t>(depth, 4) * 4 + 2, ' ');
    int number = 0;
    for (const auto& item : menu.itemArray()) {
        if (item->isSeparatorItem()) {
            out += TerminalRenderer::fitWidth(indent + "----", width) + "\n";
            continue;
        }
        std::string path = prefix.empty() ? std::to_string(++number) : fmt::format("{}.{}", prefix, ++number);
        std::string title =
            item->title().empty() && item->submenu() ? item->submenu()->title() : item->title();
        std::string notes;
        if (!item->hasSubmenu() && !item->isEnabled()) notes += "  (disabled)";
        if (!item->keyEquivalent().empty())
            notes += fmt::format("  [key {}]", DisplayText::printable(item->keyEquivalent()));
        const Menu* submenu = item->submenu().get();
        bool loops = submenu && std::find(above.begin(), above.end(), submenu) != above.end();
        if (loops) notes += "  (contains a menu above it)";
        out += TerminalRenderer::fitWidth(
                   fmt::format("{}{} {}{}", indent, path, DisplayText::printable(title), notes), width) +
               "\n";
        if (submenu && !loops) renderMenuItems(*submenu, path, width, above, out);
    }
    above.pop_back();
}

// Shares `available` columns among cells: cells narrower than an even share keep their width,
// the others split what is left, so one long cell does not push the short ones off the line.
std::vector<size_t> shareColumns(const std::vector<size_t>& wanted, size_t available) {
    std::vector<size_t> given(wanted.size(), 0);
    std::vector<size_t> open;
    for (size_t i = 0; i < wanted.size(); ++i) open.push_back(i);
    while (!open.empty()) {
        size_t share = std::max<size_t>(1, available / open.size());
        std::vector<size_t> still;
        for (size_t i : open) {
            if (wanted[i] <= share) {
                given[i] = wanted[i];
                available -= std::min(available, wanted[i]);
            } else {
                still.push_back(i);
            }
        }
        if (still.size() == open.size()) {
            for (size_t i : still) given[i] = share;
            break;
        }
        open.swap(still);
    }
    return given;
}

std::string viewReference(const View& view, size_t number) {
    return view.identifier().empty() ? std::to_string(number) : DisplayText::printable(view.identifier());
}

// A check-box cell reads "[x] Title" or "[ ] Title" with the title its delegate gives it; other
// cells show their value, and a cell without one stays blank.
std::string cellText(const TableView& table, size_t column, size_t row) {
    Value value = table.valueAt(column, row);
    if (!table.tableColumns()[column].checkBox)
        return value.isNull() ? "" : DisplayText::printable(value.description());
    // Asking the delegate for a title changes nothing of the table; the call is not const only
    // because the delegate is handed the table it may look at.
    std::string title = const_cast<TableView&>(table).cellTitleAt(column, row);
    std::string box = isTicked(value) ? "[x]" : "[ ]";
    return title.empty() ? box : box + " " + DisplayText::printable(title);
}

void renderTableRows(const TableView& table, size_t viewNumber, const RenderOptions& options,
                     std::string& out) {
    size_t width = std::max(options.width, kNarrowest);
    size_t rows = table.numberOfRows();
    size_t page = std::max<size_t>(1, options.tablePageRows);
    size_t first = 0;
    if (auto it = options.tableFirstRow.find(&table); it != options.tableFirstRow.end()) first = it->second;
    // A page past the end shows the last page rather than nothing.
    if (rows == 0) return;
    if (first >= rows) first = (rows - 1) / page * page;
    size_t end = first + std::min(page, rows - first);
    size_t indent = width >= 80 ? kRowIndentWide : kRowIndentNarrow;
    size_t numberWidth = fmt::formatted_size("{}. ", end);
    size_t columns = table.tableColumns().size();
    const std::string separator = " | ";
    for (size_t r = first; r < end; ++r) {
        std::vector<std::string> cells;
        std::vector<size_t> widths;
        for (size_t c = 0; c < columns; ++c) {
            cells.push_back(cellText(table, c, r));
            widths.push_back(TerminalRenderer::displayWidth(cells.back()));
        }
        size_t fixed = indent + numberWidth + (columns ? separator.size() * (columns - 1) : 0);
        auto given = shareColumns(widths, width > fixed ? width - fixed : 0);
        for (size_t c = 0; c < columns; ++c) cells[c] = TerminalRenderer::fitWidth(cells[c], given[c]);
        bool selected = static_cast<int64_t>(r) == table.selectedRow();
        std::string line = padLeft(selected ? "*" : "", indent) + fmt::format("{}. ", r + 1) +
                           fmt::format("{}", fmt::join(cells, separator));
        out += TerminalRenderer::fitWidth(line, width) + "\n";
    }
    if (first == 0 && end == rows) return;
    std::string ref = viewReference(table, viewNumber);
    std::vector<std::string> ways;
    if (end < rows)
        ways.push_back(fmt::format("show {} {}-{}", ref, end + 1, std::min(rows, end + page)));
    else
        ways.push_back(fmt::format("show {} 1-{}", ref, std::min(rows, page)));
    std::string steps = end < rows && first > 0 ? "next / prev" : end < rows ? "next" : "prev";
    std::string shown =
        first + 1 == end ? fmt::format("row {}", end) : fmt::format("rows {}-{}", first + 1, end);
    // The longest way of saying it that fits: a cut-off command would be no help.
    size_t noteIndent = width >= 80 ? kNoteIndent : kRowIndentNarrow;
    const std::string notes[] = {
        fmt::format("{} of {}: {}, or {}", shown, rows, ways.front(), steps),
        fmt::format("{} of {}: {}", shown, rows, steps),
        fmt::format("{}-{}/{}: {}", first + 1, end, rows, steps),
    };
    std::string note = notes[std::size(notes) - 1];
    for (const auto& candidate : notes)
        if (noteIndent + TerminalRenderer::displayWidth(candidate) <= width) {
            note = candidate;
            break;
        }
    out += TerminalRenderer::fitWidth(std::string(noteIndent, ' ') + note, width) + "\n";
}

}  // namespace

size_t TerminalRenderer::displayWidth(std::string_view text) {
    size_t width = 0, pos = 0;
    while (pos < text.size()) {
        auto c = nextCodePoint(text, pos);
        width += c ? columnsOf(*c) : 1;
    }
    return width;
}

std::string TerminalRenderer::fitWidth(std::string_view text, size_t width) {
    if (displayWidth(text) <= width) return std::string(text);
    if (width == 0) return {};
    // Keep whole characters up to one column short of the width, then the ellipsis.
    size_t used = 0, pos = 0, keep = 0;
    while (pos < text.size()) {
        size_t next = pos;
        auto c = nextCodePoint(text, next);
        size_t columns = c ? columnsOf(*c) : 1;
        if (used + columns > width - 1) break;
        used += columns;
        pos = next;
        keep = pos;
    }
    return std::string(text.substr(0, keep)) + kEllipsis;
}

std::string TerminalRenderer::windowName(const Window& window) {
    return window.title().empty() ? std::string("(untitled)")
                                  : fmt::format("\"{}\"", DisplayText::printable(window.title()));
}

// What a view is and what state it is in, for one line of the window's drawing.
std::pair<std::string, std::string> TerminalRenderer::describeView(const View& view) {
    std::string kind, state;
    if (auto* b = dynamic_cast<const Button*>(&view)) {
        if (b->kind() == Button::Kind::CheckBox) {
            kind = "check box";
            const char* mark = b->state() == Button::On ? "[x]" : b->state() == Button::Mixed ? "[-]" : "[ ]";
            state = fmt::format("{} {}", mark, DisplayText::printable(b->title()));
        } else {
            kind = "button";
            state = fmt::format("< {} >", DisplayText::printable(b->title()));
            if (b->keyEquivalent() == "\r")
                state += " (Return)";
            else if (b->keyEquivalent() == "\x1b")
                state += " (Escape)";
        }
    } else if (auto* p = dynamic_cast<const PopUpButton*>(&view)) {
        kind = "pop-up";
        auto titles = p->itemTitles();
        for (size_t i = 0; i < titles.size(); ++i) {
            bool selected = static_cast<int64_t>(i) == p->indexOfSelectedItem();
            state += fmt::format("{}{}{}. {}", i ? "  " : "", selected ? "*" : "", i + 1,
                                 DisplayText::printable(titles[i]));
        }
        if (titles.empty()) state = "(no items)";
    } else if (auto* t = dynamic_cast<const TextField*>(&view)) {
        kind = t->isEditable() ? "text field" : "label";
        state = t->isEditable() ? fmt::format("\"{}\"", DisplayText::printable(t->stringValue()))
                                : DisplayText::printable(t->stringValue());
        if (t->isEditing())
            state += fmt::format("  (editing: \"{}\")", DisplayText::printable(*t->editingText()));
        else if (t->isEditable() && t->stringValue().empty() && !t->placeholder().empty())
            state += fmt::format("  (placeholder: {})", DisplayText::printable(t->placeholder()));
    } else if (auto* tv = dynamic_cast<const TableView*>(&view)) {
        kind = "table";
        std::vector<std::string> titles;
        for (const auto& c : tv->tableColumns())
            titles.push_back(DisplayText::printable(c.title.empty() ? c.identifier : c.title));
        size_t rows = tv->numberOfRows();
        state = fmt::format("{} ({} rows)", fmt::join(titles, " | "), rows);
    } else if (auto* i = dynamic_cast<const ImageView*>(&view)) {
        kind = "image";
        state = DisplayText::printable(i->imageName());
    } else {
        kind = "group";
    }
    if (auto* c = dynamic_cast<const Control*>(&view); c && !c->isEnabled()) state += "  (disabled)";
    return {kind, state};
}

std::string TerminalRenderer::renderWindow(const Window& window, const RenderOptions& options) {
    size_t width = std::max(options.width, kNarrowest);
    auto& app = Application::shared();
    std::vector<std::string> notes;
    if (auto* parent = window.sheetParent()) notes.push_back(fmt::format("sheet on {}", windowName(*parent)));
    if (app.modalWindow().get() == &window) notes.push_back("modal");
    if (window.attachedSheet()) notes.push_back("has a sheet open");
    std::string out = TerminalDrawing::titleLine(
                          fmt::format("=== {} ==={}", windowName(window),
                                      notes.empty() ? "" : fmt::format("  ({})", fmt::join(notes, ", "))),
                          window, width) +
                      "\n";
    auto views = visibleViews(window);
    struct Line {
        std::string name, kind, state;
    };
    std::vector<Line> lines;
    lines.reserve(views.size());
    // Parents come before their subviews, so each depth is its parent's plus one: linear however
    // deep the views nest.
    std::unordered_map<const View*, size_t> depths;
    size_t widestName = 0, widestKind = 0;
    for (const auto& view : views) {
        auto parent = depths.find(view->superview());
        size_t depth = parent == depths.end() ? 0 : parent->second + 1;
        depths[view.get()] = depth;
        auto [kind, state] = describeView(*view);
        // Deep nesting indents only so far: the line must keep room for what the view shows.
        std::string name = std::string(std::min<size_t>(depth * 2, 8), ' ') +
                           (view->identifier().empty() ? "-" : DisplayText::printable(view->identifier()));
        widestName = std::max(widestName, displayWidth(name));
        widestKind = std::max(widestKind, displayWidth(kind));
        lines.push_back({std::move(name), std::move(kind), std::move(state)});
    }
    // Wide terminals keep fixed columns; narrow ones make them only as wide as needed.
    bool narrow = width < kNarrowBelow;
    size_t nameColumn = narrow ? std::min(widestName, kNameColumnNarrow) : kNameColumn;
    size_t kindColumn = narrow ? widestKind : kKindColumn;
    // Drawn in the order the frames give; a view keeps its number (its place in the view tree),
    // which is how commands name it.
    std::vector<TerminalLayout::Item> items;
    items.reserve(views.size());
    std::unordered_map<const View*, size_t> indexOf;
    std::unordered_map<size_t, TerminalDrawing::Span> separators;
    for (size_t i = 0; i < views.size(); ++i) {
        auto parent = indexOf.find(views[i]->superview());
        auto separator = TerminalDrawing::separatorSpan(*views[i], window, width);
        if (separator) separators.emplace(i, *separator);
        // A table draws its rows below its line, so it keeps the whole width for them; a
        // separator divides what is above it from what is below.
        items.push_back({views[i]->frame(),
                         parent == indexOf.end() ? TerminalLayout::kNoParent : parent->second,
                         separator || dynamic_cast<const TableView*>(views[i].get()) != nullptr});
        indexOf.emplace(views[i].get(), i);
    }
    // Popovers by the view they point at, each drawn with that view's line.
    std::unordered_map<size_t, std::vector<std::shared_ptr<Popover>>> popovers;
    for (auto& popover : TerminalDrawing::popoversOf(window))
        if (auto it = indexOf.find(popover->positioningView().get()); it != indexOf.end())
            popovers[it->second].push_back(std::move(popover));
    // The boxes of the popovers anchored in `row`: those above it, or all the others.
    const auto boxesOf = [&](const TerminalLayout::Line& row, bool above) {
        std::string boxes;
        size_t column = 0;
        for (const TerminalLayout::Cell& cell : row) {
            if (auto it = popovers.find(cell.item); it != popovers.end())
                for (const auto& popover : it->second)
                    if ((popover->preferredEdge() == RectEdge::MaxY) == above)
                        boxes += TerminalDrawing::popoverBox(*popover, cell.item + 1,
                                                             row.size() > 1 ? column : 5, width);
            column += cell.width + TerminalLayout::kCellGap;
        }
        return boxes;
    };
    const auto drawRow = [&](const TerminalLayout::Line& row) {
        if (auto it = separators.find(row.front().item); row.size() == 1 && it != separators.end()) {
            out += TerminalDrawing::separatorLine(it->second) + "\n";
            return;
        }
        if (row.size() > 1) {
            // Side by side: number, identifier and state in each cell.
            std::string line;
            for (const TerminalLayout::Cell& cell : row) {
                const View& view = *views[cell.item];
                std::string text =
                    fmt::format("#{} {} {}", cell.item + 1,
                                view.identifier().empty() ? "-" : DisplayText::printable(view.identifier()),
                                lines[cell.item].state);
                if (!line.empty()) line += std::string(TerminalLayout::kCellGap, ' ');
                line += padRight(fitWidth(text, cell.width), cell.width);
            }
            line.erase(line.find_last_not_of(' ') + 1);
            out += line + "\n";
            return;
        }
        const size_t i = row.front().item;
        const View& view = *views[i];
        const auto& [rawName, kind, state] = lines[i];
        std::string name = fitWidth(rawName, nameColumn);
        std::string head = fmt::format("{} {} {} ", padLeft(fmt::format("#{}", i + 1), 4),
                                       padRight(name, nameColumn), padRight(kind, kindColumn));
        auto* popUp = dynamic_cast<const PopUpButton*>(&view);
        if (popUp && displayWidth(head + state) > width && popUp->numberOfItems() > 0) {
            // One item per line, so every title can be read and chosen by its number.
            int64_t selected = popUp->indexOfSelectedItem();
            std::string summary = fmt::format("{} items", popUp->numberOfItems());
            if (!popUp->isEnabled()) summary += "  (disabled)";
            out += fitWidth(head + summary, width) + "\n";
            auto titles = popUp->itemTitles();
            size_t itemIndent = width >= 80 ? kRowIndentWide : kRowIndentNarrow;
            for (size_t k = 0; k < titles.size(); ++k) {
                std::string mark = static_cast<int64_t>(k) == selected ? "*" : "";
                std::string line = padLeft(mark, itemIndent) +
                                   fmt::format("{}. {}", k + 1, DisplayText::printable(titles[k]));
                out += fitWidth(line, width) + "\n";
            }
            return;
        }
        auto* label = dynamic_cast<const TextField*>(&view);
        if (label && !label->isEditable() && !label->isEditing() && label->isEnabled() &&
            (label->stringValue().find('\n') != std::string::npos || displayWidth(head + state) > width)) {
            // A label of several lines or longer than the line (a message) is wrapped below its
            // head, so all of it can be read at any width.
            size_t indent = displayWidth(head);
            bool besideHead = indent + kNarrowestWrap <= width;
            if (!besideHead) {
                indent = std::min(kNoteIndent, width / 2);
                out += fitWidth(head, width) + "\n";
            }
            auto wrapped = wrapText(label->stringValue(), width - indent);
            for (size_t k = 0; k < wrapped.size(); ++k) {
                std::string line = (k == 0 && besideHead ? head : std::string(indent, ' ')) + wrapped[k];
                line.erase(line.find_last_not_of(' ') + 1);
                out += line + "\n";
            }
            return;
        }
        out += fitWidth(head + state, width) + "\n";
        if (auto* table = dynamic_cast<const TableView*>(&view)) renderTableRows(*table, i + 1, options, out);
    };
    for (const TerminalLayout::Line& row : TerminalLayout::arrange(items, width)) {
        out += boxesOf(row, true);
        drawRow(row);
        out += boxesOf(row, false);
    }
    if (views.empty()) out += "     (the window is empty)\n";
    return out;
}

std::string TerminalRenderer::renderMenuBar(const Menu& menu, size_t width) {
    return renderMenu(menu, "Menu bar:", width);
}

std::string TerminalRenderer::renderMenu(const Menu& menu, std::string_view heading, size_t width) {
    width = std::max(width, kNarrowest);
    std::string out = fitWidth(heading, width) + "\n";
    std::vector<const Menu*> above;
    renderMenuItems(menu, "", width, above, out);
    if (menu.numberOfItems() == 0) out += "  (empty)\n";
    return out;
}

namespace {

// Breaks one paragraph into lines of at most `width` columns at spaces; a word longer than a
// line is cut across lines, so nothing of it is lost.
void wrapParagraph(const std::string& paragraph, size_t width, std::vector<std::string>& lines) {
    std::string line;
    size_t lineWidth = 0;
    auto flush = [&] {
        lines.push_back(line);
        line.clear();
        lineWidth = 0;
    };
    size_t start = 0;
    bool any = false;
    while (start <= paragraph.size()) {
        size_t space = paragraph.find(' ', start);
        std::string word =
            paragraph.substr(start, space == std::string::npos ? std::string::npos : space - start);
        start = space == std::string::npos ? paragraph.size() + 1 : space + 1;
        if (word.empty()) continue;
        any = true;
        size_t wordWidth = TerminalRenderer::displayWidth(word);
        if (lineWidth > 0 && lineWidth + 1 + wordWidth <= width) {
            line += " " + word;
            lineWidth += 1 + wordWidth;
            continue;
        }
        if (lineWidth > 0) flush();
        // Cut a word wider than the line into pieces, whole characters each.
        size_t pos = 0, remaining = wordWidth;
        while (remaining > width) {
            size_t used = 0, cut = pos;
            while (cut < word.size()) {
                size_t next = cut;
                nextCodePoint(word, next);
                size_t columns =
                    TerminalRenderer::displayWidth(std::string_view(word).substr(cut, next - cut));
                if (used + columns > width && used > 0) break;
                used += columns;
                cut = next;
            }
            lines.push_back(word.substr(pos, cut - pos));
            pos = cut;
            remaining -= std::min(remaining, used);
        }
        line = word.substr(pos);
        lineWidth = TerminalRenderer::displayWidth(line);
    }
    if (lineWidth > 0 || !any) flush();
}

}  // namespace

std::string TerminalRenderer::renderAlert(const AlertRequest& alert, size_t width) {
    width = std::max(width, kNarrowest);
    const std::string bar = "| ";
    std::string out = fitWidth(fmt::format("+-- {}: {}", alert.informational ? "Information" : "Alert",
                                           DisplayText::printable(alert.title)),
                               width) +
                      "\n";
    for (const auto& line : wrapText(alert.message, width - bar.size())) out += bar + line + "\n";
    auto list = alertButtons(alert);
    std::vector<std::string> buttons;
    for (size_t i = 0; i < list.size(); ++i)
        buttons.push_back(fmt::format("{}) {}{}", i + 1, DisplayText::printable(list[i].title),
                                      i == 0 ? " (default)" : ""));
    std::string row = fmt::format("{}", fmt::join(buttons, "   "));
    if (displayWidth(bar + row) <= width) {
        out += bar + row + "\n";
    } else {
        for (const auto& b : buttons) out += fitWidth(bar + b, width) + "\n";
    }
    out += fitWidth("+-- answer <number|button title>", width) + "\n";
    return out;
}

std::string TerminalRenderer::renderWindowList(size_t width) {
    width = std::max(width, kNarrowest);
    auto& app = Application::shared();
    if (app.windows().empty()) return "No windows are open.\n";
    std::string out = "Windows, front to back:\n";
    int n = 0;
    for (const auto& w : app.windows()) {
        std::vector<std::string> notes;
        if (w->isKeyWindow()) notes.push_back("key");
        if (w->isMainWindow()) notes.push_back("main");
        if (auto* parent = w->sheetParent()) notes.push_back(fmt::format("sheet on {}", windowName(*parent)));
        if (app.modalWindow() == w) notes.push_back("modal");
        out += fitWidth(fmt::format("  {}. {}{}", ++n, windowName(*w),
                                    notes.empty() ? "" : fmt::format("  ({})", fmt::join(notes, ", "))),
                        width) +
               "\n";
    }
    return out;
}

}  // namespace platform
