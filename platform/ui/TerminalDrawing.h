#pragma once

// TerminalDrawing: what the terminal draws around and between a window's view lines --
//   - horizontal separators: a separator box (not taller than wide), or a box without subviews
//     whose own drawing is a horizontal line (wider than high), is drawn as a line of "─" across
//     the columns its solved frame covers within the window's content, on a line of its own;
//   - popovers: a shown popover anchored to a view of the window is drawn as a framed box of its
//     content's views, beneath its anchor's line (above it for the top edge, indented to the
//     right or flush left for the side edges); `close` closes the frontmost one first;
//   - title-bar accessories: the views the window's frame view holds besides the content view,
//     right-aligned on the title line, left to right by their frames.
// Free of input and output like TerminalRenderer, whose view descriptions it uses.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Popover;
class View;
class Window;

class TerminalDrawing {
public:
    // The first and one-past-last column of a horizontal separator in a line of `width`
    // columns; none when `view` is not one.
    struct Span {
        size_t begin = 0;
        size_t end = 0;
    };
    static std::optional<Span> separatorSpan(const View& view, const Window& window, size_t width);
    static std::string separatorLine(const Span& span);

    // The title line: `head` (cut to fit) and the window's title-bar accessories at the right.
    static std::string titleLine(const std::string& head, const Window& window, size_t width);

    // The shown popovers anchored to a visible view of `window`, in the order they were shown.
    static std::vector<std::shared_ptr<Popover>> popoversOf(const Window& window);
    // The popover shown last in `window`, which `close` closes before the window itself.
    static std::shared_ptr<Popover> frontmostPopover(const Window& window);
    // Closes that popover; false when the window shows none.
    static bool closeFrontmostPopover(const Window& window);
    // The framed box of `popover`, pointing at the view drawn as #`anchorNumber` whose line or
    // cell starts at column `anchorColumn`. Every line fits `width` columns.
    static std::string popoverBox(const Popover& popover, size_t anchorNumber, size_t anchorColumn,
                                  size_t width);
};

}  // namespace platform
