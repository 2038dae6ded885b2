#pragma once

// TerminalLayout: the order and the widths in which the terminal front end draws a window's
// views, taken from their frames -- the laid-out window read top to bottom, then left to right.
//
// Views are given in tree order (a superview before its subviews, siblings in subview order)
// with their frames, which are relative to the superview. Among siblings:
//   - when every sibling has a usable frame (finite, with a positive width and height) they are
//     ordered by their frames' top, then left edge; otherwise they keep their tree order (a
//     window whose views have no frames is drawn as it always was);
//   - siblings without subviews whose frames share a row (they overlap the row's first frame
//     vertically and none overlaps another horizontally) are drawn on one line, left to right,
//     with widths in proportion to their frames' widths within the terminal's width (none
//     narrower than kMinimumCellWidth; a row with more cells than fit is wrapped);
//   - a view with subviews has a line of its own, followed by its subviews.
//
// Linear in the views after sorting, and without recursion, however deep the views nest.

#include <cstddef>
#include <limits>
#include <vector>

#include "platform/ui/Geometry.h"

namespace platform {

class TerminalLayout {
public:
    static constexpr size_t kNoParent = std::numeric_limits<size_t>::max();
    static constexpr size_t kMinimumCellWidth = 12;
    // Columns between two cells of a line.
    static constexpr size_t kCellGap = 1;

    struct Item {
        Rect frame;
        size_t parent = kNoParent;  // the index of the superview's item
        bool ownLine = false;       // draws lines of its own below it (a table's rows): never shares one
    };
    struct Cell {
        size_t item;   // index into the items
        size_t width;  // columns
    };
    using Line = std::vector<Cell>;

    // Every item once, in drawing order. A line of one cell has the whole width; the cells of a
    // line of several take exactly `width` columns with the gaps between them.
    static std::vector<Line> arrange(const std::vector<Item>& items, size_t width);

    // `total` columns shared in proportion to the weights (each a positive number), none below
    // `minimum` when total allows it; the shares sum to total.
    static std::vector<size_t> share(const std::vector<double>& weights, size_t total, size_t minimum);
};

}  // namespace platform
