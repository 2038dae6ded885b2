#include "platform/ui/View.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ui/ViewConstraint.h"
#include "platform/ui/ViewTreeLayout.h"
#include "platform/ui/Window.h"
#include "platform/ui/layout/LayoutError.h"
#include "platform/ui/layout/LayoutItem.h"

namespace platform {

View::View() = default;
View::View(Rect frame) : m_frame(frame) {}

View::~View() {
    // Constraints installed here go with this view; a subview that lives on keeps those inside
    // it, in an engine of its own. One that dies with this view needs none.
    for (auto& c : m_constraints) {
        c->m_owner = nullptr;
        c->m_handle.reset();
    }
    for (auto& sub : m_subviews) {
        sub->m_superview = nullptr;
        sub->setWindowRecursively(nullptr);
        if (sub.use_count() == 1) continue;
        auto inside = ViewTreeLayout::constraintsInside(*sub);
        if (inside.empty()) continue;
        std::vector<View*> stack{sub.get()};
        while (!stack.empty()) {
            View* v = stack.back();
            stack.pop_back();
            v->m_engaged = false;
            for (auto& s : v->m_subviews) stack.push_back(s.get());
        }
        for (auto& c : inside) c->m_handle.reset();
        ViewTreeLayout::adoptDetached(*sub, inside);
    }
}

void View::setFrame(Rect frame) {
    // The layout pass may have moved the frame away from the frame equations (a root's size is
    // only preferred), so they are renewed even when the frame looks unchanged.
    if (m_engaged && m_translatesAutoresizingMask)
        if (auto* layout = treeLayout()) layout->holdFrame(*this, frame);
    Rect old = m_frame;
    m_frame = frame;
    if (old.width != frame.width || old.height != frame.height) resizeSubviews(old);
}

void View::setAlphaValue(double alpha) {
    if (!(alpha >= 0.0)) alpha = 0.0;  // NaN too
    m_alpha = std::min(alpha, 1.0);
}

void View::resizeSubviews(Rect oldFrame) {
    // Each flexible part of an axis takes an equal share of the change of size.
    auto adjust = [](double& origin, double& size, double delta, bool minFlex, bool sizeFlex, bool maxFlex) {
        int parts = int(minFlex) + int(sizeFlex) + int(maxFlex);
        if (parts == 0 || delta == 0) return;
        double share = delta / parts;
        if (minFlex) origin += share;
        if (sizeFlex) size = std::max(0.0, size + share);
    };
    double dw = m_frame.width - oldFrame.width, dh = m_frame.height - oldFrame.height;
    for (auto& sub : std::vector<std::shared_ptr<View>>(m_subviews)) {
        unsigned mask = sub->m_autoresizingMask;
        if (mask == NotSizable || !sub->m_translatesAutoresizingMask) continue;
        Rect f = sub->m_frame;
        adjust(f.x, f.width, dw, mask & MinXMargin, mask & WidthSizable, mask & MaxXMargin);
        adjust(f.y, f.height, dh, mask & MinYMargin, mask & HeightSizable, mask & MaxYMargin);
        sub->setFrame(f);
    }
}

View* View::rootView() {
    View* v = this;
    while (v->m_superview) v = v->m_superview;
    return v;
}

ViewTreeLayout* View::treeLayout() {
    return rootView()->m_treeLayout.get();
}

bool View::isDescendantOf(const View* view) const {
    for (const View* v = this; v; v = v->m_superview)
        if (v == view) return true;
    return false;
}

void View::addSubview(std::shared_ptr<View> view) {
    insertSubview(std::move(view), m_subviews.size());
}

void View::addSubview(std::shared_ptr<View> view, Ordering ordering, const View* relativeTo) {
    if (!view || view.get() == this) return;
    auto keep = view;
    if (view->m_superview == this) view->removeFromSuperview();  // the index is taken without it
    auto at = std::find_if(m_subviews.begin(), m_subviews.end(),
                           [relativeTo](const auto& v) { return v.get() == relativeTo; });
    size_t index;
    if (at == m_subviews.end())
        index = ordering == Ordering::Above ? m_subviews.size() : 0;
    else
        index = size_t(at - m_subviews.begin()) + (ordering == Ordering::Above ? 1 : 0);
    insertSubview(std::move(keep), index);
}

void View::insertSubview(std::shared_ptr<View> view, size_t index) {
    if (!view || view.get() == this) return;
    if (isDescendantOf(view.get()))
        throw std::invalid_argument(
            "a view cannot be added as a subview of its own subview: that would make the view tree a "
            "loop; remove it from its ancestors first");
    auto keep = view;  // removeFromSuperview may drop the last other reference
    view->removeFromSuperview();
    index = std::min(index, m_subviews.size());
    view->m_superview = this;
    view->setWindowRecursively(m_window);
    m_subviews.insert(m_subviews.begin() + ptrdiff_t(index), keep);
    if (!keep->m_treeLayout) return;
    try {
        ViewTreeLayout::of(*rootView()).merge(*keep);
    } catch (const LayoutError&) {
        keep->detachFromSuperview();
        throw;
    }
}

void View::setSubviews(std::vector<std::shared_ptr<View>> views) {
    while (!m_subviews.empty()) m_subviews.back()->removeFromSuperview();
    for (auto& v : views) View::addSubview(v);
}

void View::removeFromSuperview() {
    if (!m_superview) return;
    auto keep = std::static_pointer_cast<View>(shared_from_this());  // the superview may hold the last one
    m_superview->willRemoveSubview(this);
    if (!m_superview) return;  // the hook moved it
    if (m_window && m_window->firstResponder() == this) m_window->makeFirstResponder(nullptr);
    std::vector<std::shared_ptr<ViewConstraint>> inside;
    if (auto* layout = treeLayout()) inside = layout->takeSubtree(*this);
    detachFromSuperview();
    ViewTreeLayout::adoptDetached(*this, inside);
}

void View::detachFromSuperview() {
    auto& siblings = m_superview->m_subviews;
    auto self =
        std::find_if(siblings.begin(), siblings.end(), [this](const auto& v) { return v.get() == this; });
    m_superview = nullptr;
    setWindowRecursively(nullptr);
    if (self != siblings.end()) siblings.erase(self);
}

void View::addConstraint(const std::shared_ptr<ViewConstraint>& constraint) {
    if (!constraint) return;
    if (constraint->m_owner == this) return;
    if (constraint->m_owner)
        throw LayoutError("the constraint " + constraint->description() + " is already installed on " +
                          constraint->m_owner->description() + "; remove it there first");
    auto first = constraint->firstItem();
    auto second = constraint->secondItem();
    if (!first || (constraint->m_secondView && !second))
        throw LayoutError("the constraint " + constraint->description() +
                          " names a view that no longer exists; make a new constraint");
    for (const View* item : {first.get(), second.get()})
        if (item && !item->isDescendantOf(this))
            throw LayoutError("cannot install " + constraint->description() + " on " + description() + ": " +
                              item->description() +
                              " is not in its subtree; add that view as a subview first, or install the "
                              "constraint on a common ancestor");
    auto& layout = ViewTreeLayout::of(*rootView());
    constraint->m_handle = layout.add(*constraint, constraint->m_constant, constraint->m_priority);
    constraint->m_owner = this;
    m_constraints.push_back(constraint);
}

void View::addConstraints(const std::vector<std::shared_ptr<ViewConstraint>>& constraints) {
    for (const auto& c : constraints) addConstraint(c);
}

void View::removeConstraint(const std::shared_ptr<ViewConstraint>& constraint) {
    if (!constraint || constraint->m_owner != this) return;
    if (constraint->m_handle)
        if (auto* layout = treeLayout()) layout->remove(*constraint->m_handle);
    constraint->m_handle.reset();
    constraint->m_owner = nullptr;
    std::erase(m_constraints, constraint);
}

void View::removeConstraints(const std::vector<std::shared_ptr<ViewConstraint>>& constraints) {
    for (const auto& c : constraints) removeConstraint(c);
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
    if (translates == m_translatesAutoresizingMask) return;
    if (m_engaged) {
        if (auto* layout = treeLayout()) {
            if (translates)
                layout->holdFrame(*this, m_frame);
            else
                layout->releaseFrame(*this);
        }
    }
    m_translatesAutoresizingMask = translates;
}

void View::layoutSubtreeIfNeeded() {
    if (auto* layout = treeLayout()) layout->layout();
}

LayoutItem& View::layoutItem() {
    if (!m_layoutItem)
        m_layoutItem = std::make_unique<LayoutItem>(m_identifier.empty() ? className() : m_identifier);
    return *m_layoutItem;
}

std::shared_ptr<View> View::viewWithIdentifier(const std::string& identifier) {
    std::vector<View*> stack{this};
    while (!stack.empty()) {
        View* v = stack.back();
        stack.pop_back();
        for (auto& sub : v->m_subviews) {
            if (sub->m_identifier == identifier) return sub;
            stack.push_back(sub.get());
        }
    }
    return m_identifier == identifier ? std::static_pointer_cast<View>(shared_from_this()) : nullptr;
}

void View::setWindowRecursively(Window* window) {
    std::vector<View*> stack{this};
    while (!stack.empty()) {
        View* v = stack.back();
        stack.pop_back();
        v->m_window = window;
        for (auto& sub : v->m_subviews) stack.push_back(sub.get());
    }
}

}  // namespace platform
