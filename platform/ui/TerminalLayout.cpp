#include "platform/ui/TerminalLayout.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace platform {

namespace {

bool usable(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height) &&
           r.width > 0.0 && r.height > 0.0;
}

bool overlapVertically(const Rect& a, const Rect& b) {
    return a.y < b.y + b.height && b.y < a.y + a.height;
}

bool overlapHorizontally(const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width;
}

}  // namespace

std::vector<size_t> TerminalLayout::share(const std::vector<double>& weights, size_t total, size_t minimum) {
    const size_t n = weights.size();
    std::vector<size_t> result(n, 0);
    if (n == 0) return result;
    if (minimum * n > total) minimum = total / n;
    // Cells whose share would fall below the minimum get the minimum; the rest is shared again
    // among the others, until every share is at least the minimum.
    std::vector<bool> clamped(n, false);
    size_t rest = total;
    double weightLeft = 0.0;
    for (double w : weights) weightLeft += w;
    for (bool changed = true; changed;) {
        changed = false;
        for (size_t i = 0; i < n; ++i) {
            if (clamped[i] ||
                static_cast<double>(rest) * weights[i] >= static_cast<double>(minimum) * weightLeft)
                continue;
            clamped[i] = true;
            changed = true;
            result[i] = minimum;
            rest -= minimum;
            weightLeft -= weights[i];
        }
    }
    // Largest remainder: the floors, then one more column to the largest fractions.
    std::vector<std::pair<double, size_t>> fractions;
    size_t given = 0;
    for (size_t i = 0; i < n; ++i) {
        if (clamped[i]) continue;
        const double exact = weightLeft > 0.0 ? static_cast<double>(rest) * weights[i] / weightLeft : 0.0;
        result[i] = static_cast<size_t>(std::floor(exact));
        given += result[i];
        fractions.emplace_back(-(exact - std::floor(exact)), i);
    }
    std::stable_sort(fractions.begin(), fractions.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t k = 0; given < rest && k < fractions.size(); ++k, ++given) ++result[fractions[k].second];
    // Rounding of the weights' sum can leave a column over: the first cell takes it.
    const size_t sum = std::accumulate(result.begin(), result.end(), size_t{0});
    if (sum < total) result[0] += total - sum;
    return result;
}

std::vector<TerminalLayout::Line> TerminalLayout::arrange(const std::vector<Item>& items, size_t width) {
    const size_t n = items.size();
    std::vector<std::vector<size_t>> children(n);
    std::vector<size_t> roots;
    for (size_t i = 0; i < n; ++i) {
        const size_t p = items[i].parent;
        (p < i ? children[p] : roots).push_back(i);  // a parent listed later is no parent
    }

    // One sibling group in drawing order, as rows of items.
    const auto rowsOf = [&](std::vector<size_t> group) {
        std::vector<std::vector<size_t>> rows;
        const bool framed =
            std::all_of(group.begin(), group.end(), [&](size_t i) { return usable(items[i].frame); });
        if (!framed) {
            for (size_t i : group) rows.push_back({i});
            return rows;
        }
        std::stable_sort(group.begin(), group.end(), [&](size_t a, size_t b) {
            const Rect &ra = items[a].frame, &rb = items[b].frame;
            return ra.y != rb.y ? ra.y < rb.y : ra.x < rb.x;
        });
        for (size_t i : group) {
            const Rect& f = items[i].frame;
            bool joins = !rows.empty() && children[i].empty() && children[rows.back().front()].empty() &&
                         !items[i].ownLine && !items[rows.back().front()].ownLine &&
                         overlapVertically(items[rows.back().front()].frame, f);
            if (joins)
                for (size_t j : rows.back()) joins = joins && !overlapHorizontally(items[j].frame, f);
            if (joins)
                rows.back().push_back(i);
            else
                rows.push_back({i});
        }
        for (auto& row : rows)
            std::stable_sort(row.begin(), row.end(),
                             [&](size_t a, size_t b) { return items[a].frame.x < items[b].frame.x; });
        return rows;
    };

    // How many cells fit a line.
    const size_t perLine = std::max<size_t>(1, (width + kCellGap) / (kMinimumCellWidth + kCellGap));

    std::vector<Line> lines;
    lines.reserve(n);
    const auto emit = [&](const std::vector<size_t>& row) {
        for (size_t start = 0; start < row.size(); start += perLine) {
            const size_t count = std::min(perLine, row.size() - start);
            if (count == 1) {
                lines.push_back({Cell{row[start], width}});
                continue;
            }
            std::vector<double> weights;
            for (size_t k = 0; k < count; ++k) weights.push_back(items[row[start + k]].frame.width);
            const size_t gaps = (count - 1) * kCellGap;
            const std::vector<size_t> widths =
                share(weights, width > gaps ? width - gaps : 0, kMinimumCellWidth);
            Line line;
            for (size_t k = 0; k < count; ++k) line.push_back(Cell{row[start + k], widths[k]});
            lines.push_back(std::move(line));
        }
    };

    // Depth-first without recursion: each level keeps its rows and the next one to draw.
    struct Level {
        std::vector<std::vector<size_t>> rows;
        size_t next = 0;
    };
    std::vector<Level> stack;
    stack.push_back(Level{rowsOf(roots), 0});
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next == level.rows.size()) {
            stack.pop_back();
            continue;
        }
        const std::vector<size_t> row = level.rows[level.next++];
        emit(row);
        if (row.size() == 1 && !children[row.front()].empty())
            stack.push_back(Level{rowsOf(children[row.front()]), 0});  // `level` is not used after this
    }
    return lines;
}

}  // namespace platform
