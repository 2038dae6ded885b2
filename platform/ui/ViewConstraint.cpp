#include "platform/ui/ViewConstraint.h"

#include <fmt/format.h>

#include <cmath>

#include "platform/ui/View.h"
#include "platform/ui/ViewTreeLayout.h"
#include "platform/ui/layout/LayoutError.h"

namespace platform {

std::shared_ptr<ViewConstraint> ViewConstraint::make(const std::shared_ptr<View>& firstItem,
                                                     LayoutAttribute firstAttribute, LayoutRelation relation,
                                                     const std::shared_ptr<View>& secondItem,
                                                     LayoutAttribute secondAttribute, double multiplier,
                                                     double constant) {
    if (!firstItem) throw LayoutError("a constraint needs a first item: give it the view it places");
    if (!std::isfinite(multiplier) || !std::isfinite(constant))
        throw LayoutError(
            fmt::format("a constraint's multiplier and constant must be finite numbers, not {} and {}",
                        multiplier, constant));
    std::shared_ptr<ViewConstraint> c(new ViewConstraint());
    c->m_first = firstItem;
    c->m_firstView = firstItem.get();
    c->m_second = secondItem;
    c->m_secondView = secondItem.get();
    c->m_firstAttribute = firstAttribute;
    c->m_secondAttribute = secondAttribute;
    c->m_relation = relation;
    c->m_multiplier = multiplier;
    c->m_constant = constant;
    return c;
}

std::shared_ptr<ViewConstraint> ViewConstraint::make(const std::shared_ptr<View>& firstItem,
                                                     LayoutAttribute firstAttribute, LayoutRelation relation,
                                                     double constant) {
    return make(firstItem, firstAttribute, relation, nullptr, firstAttribute, 1.0, constant);
}

void ViewConstraint::setConstant(double constant) {
    if (!std::isfinite(constant))
        throw LayoutError(fmt::format("a constraint's constant must be a finite number, not {}", constant));
    if (constant == m_constant) return;
    reinstall(constant, m_priority);
    m_constant = constant;
}

void ViewConstraint::setPriority(double priority) {
    if (!(priority >= 1.0 && priority <= LayoutConstraint::kRequiredPriority))
        throw LayoutError(
            fmt::format("a constraint's priority runs from 1 to 1000 (required), not {}", priority));
    if (priority == m_priority) return;
    reinstall(m_constant, priority);
    m_priority = priority;
}

void ViewConstraint::reinstall(double constant, double priority) {
    if (!m_owner || !m_handle) return;
    ViewTreeLayout* layout = m_owner->treeLayout();
    if (!layout) return;
    LayoutConstraint old = *m_handle;
    layout->remove(old);
    try {
        m_handle = layout->add(*this, constant, priority);
    } catch (const LayoutError&) {
        // The old equation held with everything else there, so it goes back in.
        m_handle = layout->add(*this, m_constant, m_priority);
        throw;
    }
}

void ViewConstraint::setActive(bool active) {
    if (active == isActive()) return;
    if (!active) {
        auto self = sharedAs<ViewConstraint>();
        m_owner->removeConstraint(self);
        return;
    }
    auto first = firstItem();
    auto second = secondItem();
    if (!first || (m_secondView && !second))
        throw LayoutError("the constraint " + description() +
                          " names a view that no longer exists; make a new one");
    View* ancestor = first.get();
    if (second)
        while (ancestor && !second->isDescendantOf(ancestor)) ancestor = ancestor->superview();
    if (!ancestor)
        throw LayoutError("cannot activate " + description() +
                          ": its views are in different view trees; add them to one window or view first");
    ancestor->addConstraint(sharedAs<ViewConstraint>());
}

namespace {

std::string itemName(const std::shared_ptr<View>& view) {
    if (!view) return "(gone)";
    return view->identifier().empty() ? view->className() : view->identifier();
}

std::string_view relationText(LayoutRelation relation) {
    switch (relation) {
        case LayoutRelation::LessOrEqual:
            return "<=";
        case LayoutRelation::GreaterOrEqual:
            return ">=";
        case LayoutRelation::Equal:
            break;
    }
    return "==";
}

}  // namespace

std::string ViewConstraint::description() const {
    std::string text = fmt::format("{}.{} {} ", itemName(firstItem()),
                                   LayoutItem::attributeName(m_firstAttribute), relationText(m_relation));
    if (m_secondView)
        text += fmt::format("{}.{} * {} + {}", itemName(secondItem()),
                            LayoutItem::attributeName(m_secondAttribute), m_multiplier, m_constant);
    else
        text += fmt::format("{}", m_constant);
    return text + fmt::format(" @{}", m_priority);
}

}  // namespace platform
