#include "platform/ui/TerminalDrawing.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "platform/ui/Box.h"
#include "platform/ui/DrawingContext.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Popover.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

constexpr const char* kRule = "\u2500";  // ─
// A box narrower than this shows nothing but its frame; it moves to the left edge instead.
constexpr size_t kNarrowestBox = 16;
// Each side of the title keeps at least this much of the line.
constexpr size_t kTitleShare = 2;

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

std::string repeat(const char* piece, size_t count) {
    std::string out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) out += piece;
    return out;
}

std::string padRight(const std::string& text, size_t width) {
    size_t used = TerminalRenderer::displayWidth(text);
    return used >= width ? text : text + std::string(width - used, ' ');
}

// The window's frame view, when it has one; asking the window for it would make one.
const View* frameViewOf(const Window& window) {
    return window.contentView() ? window.contentView()->superview() : nullptr;
}

// One short piece of text for a view shown outside the numbered lines.
std::string shortText(const View& view) {
    auto [kind, state] = TerminalRenderer::describeView(view);
    return state.empty() ? "[" + kind + "]" : state;
}

}  // namespace

std::optional<TerminalDrawing::Span> TerminalDrawing::separatorSpan(const View& view, const Window& window,
                                                                    size_t width) {
    auto* box = dynamic_cast<const Box*>(&view);
    if (!box || !box->subviews().empty() || !box->title().empty() || width == 0) return std::nullopt;
    if (box->boxType() == Box::BoxType::Separator) {
        // A separator box says what it is, with or without a frame; taller than wide, it is
        // a vertical one.
        if (box->frame().height > box->frame().width) return std::nullopt;
    } else {
        // Otherwise what the box draws decides: a subclass that replaces the drawing with a
        // horizontal line is a separator. Drawing into a recording context changes nothing of
        // the box; drawRect is not const only because views may keep drawing state.
        DrawingContext context;
        const Rect bounds = box->bounds();
        const_cast<Box*>(box)->drawRect(context, bounds);
        if (context.operations().empty()) return std::nullopt;
        double left = INFINITY, right = -INFINITY, top = INFINITY, bottom = -INFINITY;
        for (const auto& op : context.operations()) {
            if (!finite(op.rect)) return std::nullopt;
            left = std::min(left, op.rect.x);
            right = std::max(right, op.rect.x + op.rect.width);
            top = std::min(top, op.rect.y);
            bottom = std::max(bottom, op.rect.y + op.rect.height);
        }
        if (!(right - left > bottom - top)) return std::nullopt;
    }

    // The columns the frame covers within the content view, in proportion to its width.
    double x = 0.0;
    const View* content = window.contentView().get();
    const View* v = &view;
    for (; v && v != content; v = v->superview()) x += v->frame().x;
    const double contentWidth = content ? content->frame().width : 0.0;
    const double w = view.frame().width;
    // Without a frame (a window laid out by nothing) the line spans the window.
    if (v != content || !std::isfinite(x) || !std::isfinite(w) || !(w > 0.0) || !(contentWidth > 0.0) ||
        !std::isfinite(contentWidth))
        return Span{0, width};
    const double scale = static_cast<double>(width) / contentWidth;
    const double from = std::clamp(std::floor(x * scale), 0.0, static_cast<double>(width));
    const double to = std::clamp(std::ceil((x + w) * scale), 0.0, static_cast<double>(width));
    Span span{static_cast<size_t>(from), static_cast<size_t>(to)};
    // A line too short to see, or one outside the window, still shows where it is.
    if (span.end <= span.begin) {
        span.begin = std::min(span.begin, width - 1);
        span.end = span.begin + 1;
    }
    return span;
}

std::string TerminalDrawing::separatorLine(const Span& span) {
    return std::string(span.begin, ' ') + repeat(kRule, span.end - span.begin);
}

std::string TerminalDrawing::titleLine(const std::string& head, const Window& window, size_t width) {
    const View* frame = frameViewOf(window);
    std::vector<const View*> accessories;
    if (frame)
        for (const auto& sub : frame->subviews())
            if (sub != window.contentView() && !sub->isHidden()) accessories.push_back(sub.get());
    if (accessories.empty()) return TerminalRenderer::fitWidth(head, width);
    std::stable_sort(accessories.begin(), accessories.end(),
                     [](const View* a, const View* b) { return a->frame().x < b->frame().x; });
    std::string right;
    for (const View* accessory : accessories) {
        if (!right.empty()) right += "  ";
        right += shortText(*accessory);
    }
    // The title keeps at least half the line; the accessories give way first.
    const size_t rightWidth = std::min(TerminalRenderer::displayWidth(right), width / kTitleShare);
    right = TerminalRenderer::fitWidth(right, rightWidth);
    const size_t leftWidth = width - rightWidth;
    std::string left = TerminalRenderer::fitWidth(head, leftWidth > 0 ? leftWidth - 1 : 0);
    return padRight(left, leftWidth) + right;
}

std::vector<std::shared_ptr<Popover>> TerminalDrawing::popoversOf(const Window& window) {
    std::vector<std::shared_ptr<Popover>> result;
    for (auto& popover : Popover::shownPopovers()) {
        auto anchor = popover->positioningView();
        if (!anchor || anchor->window() != &window) continue;
        // A popover whose anchor is hidden is not drawn, so it is not the one `close` closes.
        bool visible = true;
        for (const View* v = anchor.get(); v && visible; v = v->superview()) visible = !v->isHidden();
        if (visible) result.push_back(std::move(popover));
    }
    return result;
}

std::shared_ptr<Popover> TerminalDrawing::frontmostPopover(const Window& window) {
    auto shown = popoversOf(window);
    return shown.empty() ? nullptr : shown.back();
}

bool TerminalDrawing::closeFrontmostPopover(const Window& window) {
    auto popover = frontmostPopover(window);
    if (popover) popover->close();
    return popover != nullptr;
}

std::string TerminalDrawing::popoverBox(const Popover& popover, size_t anchorNumber, size_t anchorColumn,
                                        size_t width) {
    std::string where;
    size_t indent = anchorColumn;
    switch (popover.preferredEdge()) {
        case RectEdge::MinY:
            where = fmt::format("popover beneath #{}", anchorNumber);
            break;
        case RectEdge::MaxY:
            where = fmt::format("popover above #{}", anchorNumber);
            break;
        case RectEdge::MinX:
            where = fmt::format("popover left of #{}", anchorNumber);
            indent = 0;
            break;
        case RectEdge::MaxX:
            where = fmt::format("popover right of #{}", anchorNumber);
            indent = std::max(anchorColumn, width / 2);
            break;
    }
    if (indent + kNarrowestBox > width) indent = 0;
    const size_t boxWidth = std::max<size_t>(width - indent, 4);
    const size_t inner = boxWidth - 4;

    // The content's views, depth-first in tree order, indented by depth.
    std::vector<std::string> lines;
    if (const auto& content = popover.contentView(); content && !content->isHidden()) {
        struct Entry {
            const View* view;
            size_t depth;
        };
        std::vector<Entry> stack;
        for (auto it = content->subviews().rbegin(); it != content->subviews().rend(); ++it)
            stack.push_back({it->get(), 0});
        while (!stack.empty()) {
            Entry entry = stack.back();
            stack.pop_back();
            if (entry.view->isHidden()) continue;
            auto [kind, state] = TerminalRenderer::describeView(*entry.view);
            const std::string& id = entry.view->identifier();
            lines.push_back(fmt::format("{}{} {} {}", std::string(std::min<size_t>(entry.depth, 4) * 2, ' '),
                                        id.empty() ? "-" : DisplayText::printable(id), kind, state));
            const auto& subs = entry.view->subviews();
            for (auto it = subs.rbegin(); it != subs.rend(); ++it)
                stack.push_back({it->get(), entry.depth + 1});
        }
    }
    if (lines.empty()) lines.push_back("(empty)");

    const std::string pad(indent, ' ');
    // ┌─ heading ───┐ with the heading cut to fit.
    std::string heading = TerminalRenderer::fitWidth(where, boxWidth > 5 ? boxWidth - 5 : 0);
    std::string top = "\u250c\u2500 " + heading + " ";
    size_t used = TerminalRenderer::displayWidth(top);
    top += repeat(kRule, boxWidth > used + 1 ? boxWidth - used - 1 : 0) + "\u2510";
    std::string out = pad + top + "\n";
    for (const auto& line : lines)
        out += pad + "\u2502 " + padRight(TerminalRenderer::fitWidth(line, inner), inner) + " \u2502\n";
    std::string hint = TerminalRenderer::fitWidth("\"close\" closes it", boxWidth > 5 ? boxWidth - 5 : 0);
    std::string bottom = "\u2514\u2500 " + hint + " ";
    used = TerminalRenderer::displayWidth(bottom);
    bottom += repeat(kRule, boxWidth > used + 1 ? boxWidth - used - 1 : 0) + "\u2518";
    out += pad + bottom + "\n";
    return out;
}

}  // namespace platform
