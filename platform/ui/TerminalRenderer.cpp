#include "platform/ui/TerminalRenderer.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

constexpr size_t kMaxTableRows = 20;

int depthBelowContent(const View& view, const Window& window) {
    int depth = 0;
    for (const View* v = view.superview(); v && v != window.contentView().get(); v = v->superview()) ++depth;
    return depth;
}

void renderMenu(const Menu& menu, const std::string& prefix, int depth, std::string& out) {
    int number = 0;
    for (const auto& item : menu.itemArray()) {
        std::string indent(static_cast<size_t>(depth) * 4 + 2, ' ');
        if (item->isSeparatorItem()) {
            out += indent + "----\n";
            continue;
        }
        std::string path = prefix.empty() ? std::to_string(++number) : fmt::format("{}.{}", prefix, ++number);
        std::string title =
            item->title().empty() && item->submenu() ? item->submenu()->title() : item->title();
        std::string notes;
        if (!item->hasSubmenu() && !item->isEnabled()) notes += "  (disabled)";
        if (!item->keyEquivalent().empty()) notes += fmt::format("  [key {}]", item->keyEquivalent());
        out += fmt::format("{}{} {}{}\n", indent, path, title, notes);
        if (item->submenu()) renderMenu(*item->submenu(), path, depth + 1, out);
    }
}

}  // namespace

std::string TerminalRenderer::windowName(const Window& window) {
    return window.title().empty() ? std::string("(untitled)") : fmt::format("\"{}\"", window.title());
}

// What a view is and what state it is in, for one line of the window's drawing.
std::pair<std::string, std::string> TerminalRenderer::describeView(const View& view) {
    std::string kind, state;
    if (auto* b = dynamic_cast<const Button*>(&view)) {
        if (b->kind() == Button::Kind::CheckBox) {
            kind = "check box";
            const char* mark = b->state() == Button::On ? "[x]" : b->state() == Button::Mixed ? "[-]" : "[ ]";
            state = fmt::format("{} {}", mark, b->title());
        } else {
            kind = "button";
            state = fmt::format("< {} >", b->title());
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
            state += fmt::format("{}{}{}. {}", i ? "  " : "", selected ? "*" : "", i + 1, titles[i]);
        }
        if (titles.empty()) state = "(no items)";
    } else if (auto* t = dynamic_cast<const TextField*>(&view)) {
        kind = t->isEditable() ? "text field" : "label";
        state = t->isEditable() ? fmt::format("\"{}\"", t->stringValue()) : t->stringValue();
        if (t->isEditing())
            state += fmt::format("  (editing: \"{}\")", *t->editingText());
        else if (t->isEditable() && t->stringValue().empty() && !t->placeholder().empty())
            state += fmt::format("  (placeholder: {})", t->placeholder());
    } else if (auto* tv = dynamic_cast<const TableView*>(&view)) {
        kind = "table";
        std::vector<std::string> titles;
        for (const auto& c : tv->tableColumns()) titles.push_back(c.title.empty() ? c.identifier : c.title);
        size_t rows = tv->numberOfRows();
        state = fmt::format("{} ({} rows)", fmt::join(titles, " | "), rows);
    } else if (auto* i = dynamic_cast<const ImageView*>(&view)) {
        kind = "image";
        state = i->imageName();
    } else {
        kind = "group";
    }
    if (auto* c = dynamic_cast<const Control*>(&view); c && !c->isEnabled()) state += "  (disabled)";
    return {kind, state};
}

std::string TerminalRenderer::renderWindow(const Window& window) {
    auto& app = Application::shared();
    std::vector<std::string> notes;
    if (auto* parent = window.sheetParent()) notes.push_back(fmt::format("sheet on {}", windowName(*parent)));
    if (app.modalWindow().get() == &window) notes.push_back("modal");
    if (window.attachedSheet()) notes.push_back("has a sheet open");
    std::string out = fmt::format("=== {} ==={}\n", windowName(window),
                                  notes.empty() ? "" : fmt::format("  ({})", fmt::join(notes, ", ")));
    auto views = visibleViews(window);
    for (size_t i = 0; i < views.size(); ++i) {
        const View& view = *views[i];
        auto [kind, state] = describeView(view);
        std::string indent(static_cast<size_t>(depthBelowContent(view, window)) * 2, ' ');
        std::string name = indent + (view.identifier().empty() ? "-" : view.identifier());
        out += fmt::format("{:>4} {:<18} {:<10} {}\n", fmt::format("#{}", i + 1), name, kind, state);
        if (auto* table = dynamic_cast<const TableView*>(&view)) {
            size_t rows = table->numberOfRows();
            for (size_t r = 0; r < rows && r < kMaxTableRows; ++r) {
                std::vector<std::string> cells;
                for (size_t c = 0; c < table->tableColumns().size(); ++c)
                    cells.push_back(table->valueAt(c, r).description());
                bool selected = static_cast<int64_t>(r) == table->selectedRow();
                out += fmt::format("{:>34}{}. {}\n", selected ? "*" : "", r + 1, fmt::join(cells, " | "));
            }
            if (rows > kMaxTableRows)
                out += fmt::format("{:>34}... {} more rows\n", "", rows - kMaxTableRows);
        }
    }
    if (views.empty()) out += "     (the window is empty)\n";
    return out;
}

std::string TerminalRenderer::renderMenuBar(const Menu& menu) {
    std::string out = "Menu bar:\n";
    renderMenu(menu, "", 0, out);
    if (menu.numberOfItems() == 0) out += "  (empty)\n";
    return out;
}

std::string TerminalRenderer::renderAlert(const AlertRequest& alert) {
    std::string out = fmt::format("+-- {}: {}\n", alert.informational ? "Information" : "Alert", alert.title);
    size_t start = 0;
    while (start <= alert.message.size()) {
        size_t end = alert.message.find('\n', start);
        out += "| " +
               alert.message.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::string buttons;
    auto list = alertButtons(alert);
    for (size_t i = 0; i < list.size(); ++i)
        buttons +=
            fmt::format("{}{}) {}{}", i ? "   " : "", i + 1, list[i].title, i == 0 ? " (default)" : "");
    out += "| " + buttons + "\n";
    out += "+-- answer <number|button title>\n";
    return out;
}

std::string TerminalRenderer::renderWindowList() {
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
        out += fmt::format("  {}. {}{}\n", ++n, windowName(*w),
                           notes.empty() ? "" : fmt::format("  ({})", fmt::join(notes, ", ")));
    }
    return out;
}

}  // namespace platform
