#include "platform/ui/Popover.h"

#include <algorithm>

namespace platform {

namespace {

std::vector<std::weak_ptr<Object>>& shownList() {
    static std::vector<std::weak_ptr<Object>> list;
    return list;
}

// Drops `popover` and every entry whose popover is gone.
void unlist(const Popover* popover) {
    auto& list = shownList();
    std::erase_if(list, [&](const std::weak_ptr<Object>& entry) {
        auto alive = entry.lock();
        return !alive || alive.get() == popover;
    });
}

}  // namespace

void Popover::showRelativeToRect(const Rect& rect, const std::shared_ptr<View>& view, RectEdge edge) {
    // Nothing to point at: the toolkit refuses such a call, and a popover floating nowhere
    // would be worse than none.
    if (!view) return;
    m_positioningRect = rect;
    m_positioningView = view;
    m_preferredEdge = edge;
    m_shown = true;
    unlist(this);
    if (auto self = weak_from_this(); !self.expired()) shownList().push_back(std::move(self));
}

void Popover::close() {
    m_shown = false;
    m_positioningView.reset();
    unlist(this);
}

std::vector<std::shared_ptr<Popover>> Popover::shownPopovers() {
    std::vector<std::shared_ptr<Popover>> shown;
    for (const auto& entry : shownList())
        if (auto popover = std::static_pointer_cast<Popover>(entry.lock()); popover && popover->isShown())
            shown.push_back(std::move(popover));
    return shown;
}

}  // namespace platform
