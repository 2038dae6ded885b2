#include "VEXAStackView.h"

#include <algorithm>

#include "platform/ui/layout/LayoutError.h"

using platform::LayoutAttribute;
using platform::LayoutRelation;
using platform::View;
using platform::ViewConstraint;

KOPAStackView::KOPAStackView() = default;
KOPAStackView::KOPAStackView(platform::Rect frame) : View(frame) {}

std::shared_ptr<View> KOPAStackView::self() {
    return sharedAs<View>();
}

void KOPAStackView::appendView(const std::shared_ptr<View>& view) {
    appendView(view, m_defaultPadding);
}

void KOPAStackView::appendView(const std::shared_ptr<View>& view, double padding) {
    appendView(view, padding, false);
}

void KOPAStackView::appendView(const std::shared_ptr<View>& view, double padding, bool centered) {
    if (!view || isDescendantOf(view.get())) return View::addSubview(view);  // refused there, unchanged
    // Counted without the view itself: re-appending an arranged view must not glue it to itself.
    if (view->superview()) view->removeFromSuperview();
    const size_t n = subviews().size();
    const auto firstBefore = m_firstMarginConstraint;
    const auto lastBefore = m_lastMarginConstraint;
    const auto glueBefore = m_glueConstraints;
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    View::addSubview(view);
    try {
        addSideConstraints(view, centered);
        if (n > 0) {
            removeConstraint(m_lastMarginConstraint);
            connectView(subviews()[n - 1], view, padding);
        } else {
            removeConstraint(m_firstMarginConstraint);
            fixViewAsFirst(view);
        }
        fixViewAsLast(view);
    } catch (const platform::LayoutError&) {
        // The column cannot take the view (the stack's own size is fixed, say): it is put back as
        // it was. The view's constraints leave with it; the former last margin held before.
        m_restoring = true;
        view->removeFromSuperview();
        m_restoring = false;
        m_glueConstraints = glueBefore;
        m_firstMarginConstraint = firstBefore;
        m_lastMarginConstraint = lastBefore;
        if (n > 0 && lastBefore && !lastBefore->isActive()) addConstraint(lastBefore);
        throw;
    }
}

void KOPAStackView::addSideConstraints(const std::shared_ptr<View>& view, bool centered) {
    auto stack = self();
    if (centered) {
        addConstraint(ViewConstraint::make(view, LayoutAttribute::Left, LayoutRelation::GreaterOrEqual, stack,
                                           LayoutAttribute::Left, 1.0, m_leadingMargin));
        addConstraint(ViewConstraint::make(stack, LayoutAttribute::Right, LayoutRelation::GreaterOrEqual,
                                           view, LayoutAttribute::Right, 1.0, m_trailingMargin));
        addConstraint(ViewConstraint::make(stack, LayoutAttribute::CenterX, LayoutRelation::Equal, view,
                                           LayoutAttribute::CenterX, 1.0, 0.0));
    } else {
        addConstraint(ViewConstraint::make(view, LayoutAttribute::Leading, LayoutRelation::Equal, stack,
                                           LayoutAttribute::Leading, 1.0, m_leadingMargin));
        addConstraint(ViewConstraint::make(stack, LayoutAttribute::Trailing, LayoutRelation::Equal, view,
                                           LayoutAttribute::Trailing, 1.0, m_trailingMargin));
    }
}

void KOPAStackView::insertView(const std::shared_ptr<View>& view, const View* preceding) {
    if (!view || isDescendantOf(view.get())) return View::addSubview(view);
    if (!preceding || preceding->superview() != this || preceding == view.get()) {
        appendView(view);
        return;
    }
    if (view->superview()) view->removeFromSuperview();
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    View::addSubview(view, Ordering::Above, preceding);
    const auto& views = subviews();
    const size_t i = size_t(std::find(views.begin(), views.end(), view) - views.begin());
    auto previous = views[i - 1];
    addSideConstraints(view, false);
    if (i + 1 < views.size()) {
        auto next = views[i + 1];
        disconnectView(previous.get(), next.get());
        connectView(previous, view, m_defaultPadding);
        connectView(view, next, m_defaultPadding);
    } else {
        removeConstraint(m_lastMarginConstraint);
        connectView(previous, view, m_defaultPadding);
        fixViewAsLast(view);
    }
}

void KOPAStackView::addSubview(std::shared_ptr<View> view) {
    appendView(view);
}

void KOPAStackView::setSubviews(std::vector<std::shared_ptr<View>> views) {
    while (!subviews().empty()) subviews().back()->removeFromSuperview();
    for (auto& v : views) appendView(v);
}

void KOPAStackView::willRemoveSubview(View* subview) {
    if (m_restoring) return;
    const auto& views = subviews();
    auto at =
        std::find_if(views.begin(), views.end(), [subview](const auto& v) { return v.get() == subview; });
    if (at == views.end()) return;
    const size_t i = size_t(at - views.begin());
    std::shared_ptr<View> previous = i > 0 ? views[i - 1] : nullptr;
    if (previous) disconnectView(previous.get(), subview);
    if (i + 1 < views.size()) {
        auto next = views[i + 1];
        disconnectView(subview, next.get());
        if (previous)
            connectView(previous, next, m_defaultPadding);
        else
            fixViewAsFirst(next);
    } else if (previous) {
        fixViewAsLast(previous);
    }
}

void KOPAStackView::connectView(const std::shared_ptr<View>& upper, const std::shared_ptr<View>& lower,
                                double padding) {
    auto glue = ViewConstraint::make(lower, LayoutAttribute::Top, LayoutRelation::Equal, upper,
                                     LayoutAttribute::Bottom, 1.0, padding);
    addConstraint(glue);
    m_glueConstraints.push_back(glue);
}

void KOPAStackView::disconnectView(const View* a, const View* b) {
    const auto snapshot = m_glueConstraints;
    for (const auto& glue : snapshot) {
        if ((glue->firstView() == a && glue->secondView() == b) ||
            (glue->firstView() == b && glue->secondView() == a)) {
            std::erase(m_glueConstraints, glue);
            removeConstraint(glue);
        }
    }
}

void KOPAStackView::removeGlueConstraintsForSubview(const View* view) {
    const auto snapshot = m_glueConstraints;
    for (const auto& glue : snapshot) {
        if (glue->involves(view)) {
            std::erase(m_glueConstraints, glue);
            removeConstraint(glue);
        }
    }
}

void KOPAStackView::fixViewAsFirst(const std::shared_ptr<View>& view) {
    removeConstraint(m_firstMarginConstraint);
    m_firstMarginConstraint = ViewConstraint::make(view, LayoutAttribute::Top, LayoutRelation::Equal, self(),
                                                   LayoutAttribute::Top, 1.0, m_firstMargin);
    addConstraint(m_firstMarginConstraint);
}

void KOPAStackView::fixViewAsLast(const std::shared_ptr<View>& view) {
    removeConstraint(m_lastMarginConstraint);
    m_lastMarginConstraint = ViewConstraint::make(self(), LayoutAttribute::Bottom, LayoutRelation::Equal,
                                                  view, LayoutAttribute::Bottom, 1.0, m_lastMargin);
    addConstraint(m_lastMarginConstraint);
}
