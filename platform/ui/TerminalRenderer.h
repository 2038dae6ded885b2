#pragma once

// TerminalRenderer: draws the UI model as text for the terminal front end -- a window with its
// numbered views (a table's check-box cells as "[x] Title"), the menu bar and contextual menus
// with numbered paths, an alert, the window list. Free of input and
// output, so every drawing can be checked directly.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/ui/FrontEnd.h"

namespace platform {

class Menu;
class View;
class Window;

// How a window is drawn: the terminal's width in columns, and which page of each table is shown.
struct RenderOptions {
    size_t width = 80;
    std::unordered_map<const View*, size_t> tableFirstRow;  // 0-based; tables not listed start at 0
    size_t tablePageRows = 20;                              // at least one row is shown
};

class TerminalRenderer {
public:
    // Every line fits `options.width` columns: long titles and cells end in an ellipsis.
    static std::string renderWindow(const Window& window, const RenderOptions& options = {});
    static std::string renderMenuBar(const Menu& menu, size_t width = 80);
    // A menu under a heading line, its items numbered as `menu` numbers them (separators "----",
    // disabled items marked).
    static std::string renderMenu(const Menu& menu, std::string_view heading, size_t width = 80);
    // The message is word-wrapped to `width` columns.
    static std::string renderAlert(const AlertRequest& alert, size_t width = 80);
    static std::string renderWindowList(size_t width = 80);

    // Columns `text` takes on a terminal, independent of the process's locale: one per character,
    // two for wide East Asian characters and emoji, none for combining marks and zero-width
    // characters. Meant for text already made printable.
    static size_t displayWidth(std::string_view text);
    // `text` cut to at most `width` columns, ending in "\u2026" when something was cut.
    static std::string fitWidth(std::string_view text, size_t width);

    // "\"Title\"", or "(untitled)".
    static std::string windowName(const Window& window);
    // What a view is ("button", "pop-up", ...) and what state it is in, for one line of drawing.
    static std::pair<std::string, std::string> describeView(const View& view);
};

}  // namespace platform
