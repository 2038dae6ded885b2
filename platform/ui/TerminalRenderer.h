#pragma once

// TerminalRenderer: draws the UI model as text for the terminal front end -- a window with its
// numbered views, the menu bar with numbered paths, an alert, the window list. Free of input and
// output, so every drawing can be checked directly.

#include <string>
#include <utility>

#include "platform/ui/FrontEnd.h"

namespace platform {

class Menu;
class View;
class Window;

class TerminalRenderer {
public:
    static std::string renderWindow(const Window& window);
    static std::string renderMenuBar(const Menu& menu);
    static std::string renderAlert(const AlertRequest& alert);
    static std::string renderWindowList();

    // "\"Title\"", or "(untitled)".
    static std::string windowName(const Window& window);
    // What a view is ("button", "pop-up", ...) and what state it is in, for one line of drawing.
    static std::pair<std::string, std::string> describeView(const View& view);
};

}  // namespace platform
