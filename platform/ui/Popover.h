#pragma once

// Popover: a panel of content shown next to a rectangle of a view (NSPopover). It stays shown
// until closed; showing it again moves it. The view it points at is held weakly: a popover
// whose view went away is no longer shown anywhere, and says so.

#include <memory>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace platform {

// A side of a rectangle, in the toolkit's codes (NSRectEdge), for unflipped coordinates: the
// minimum Y edge is the bottom.
enum class RectEdge : int { MinX = 0, MinY = 1, MaxX = 2, MaxY = 3 };

class Popover : public Object {
public:
    const std::shared_ptr<View>& contentView() const { return m_contentView; }
    void setContentView(std::shared_ptr<View> view) { m_contentView = std::move(view); }

    // Shows the popover at `rect` (in `view`'s coordinates), preferably on `edge` of it.
    void showRelativeToRect(const Rect& rect, const std::shared_ptr<View>& view, RectEdge edge);
    void close();

    bool isShown() const { return m_shown && !m_positioningView.expired(); }
    const Rect& positioningRect() const { return m_positioningRect; }
    std::shared_ptr<View> positioningView() const { return m_positioningView.lock(); }
    RectEdge preferredEdge() const { return m_preferredEdge; }

    // The popovers being shown, in the order they were shown (a popover shown again moves to the
    // end), so that a front end can draw them. Only popovers owned by a shared_ptr are listed; the
    // list does not keep them alive.
    static std::vector<std::shared_ptr<Popover>> shownPopovers();

private:
    std::shared_ptr<View> m_contentView;
    std::weak_ptr<View> m_positioningView;
    Rect m_positioningRect;
    RectEdge m_preferredEdge = RectEdge::MinY;
    bool m_shown = false;
};

}  // namespace platform
