#include "platform/ui/layout/LayoutEngine.h"

#include <fmt/format.h>

#include "platform/ui/layout/LayoutError.h"

namespace platform {

LayoutConstraint LayoutEngine::addConstraint(const LayoutItem& item1, LayoutAttribute attribute1,
                                             LayoutRelation relation, const LayoutItem* item2,
                                             LayoutAttribute attribute2, double multiplier, double constant,
                                             double priority) {
    return addConstraintWithStrength(item1, attribute1, relation, item2, attribute2, multiplier, constant,
                                     LayoutConstraint::strengthForPriority(priority));
}

LayoutConstraint LayoutEngine::addConstraintWithStrength(const LayoutItem& item1, LayoutAttribute attribute1,
                                                         LayoutRelation relation, const LayoutItem* item2,
                                                         LayoutAttribute attribute2, double multiplier,
                                                         double constant, double strength) {
    LayoutExpression rhs(constant);
    if (item2) rhs += item2->expression(attribute2) * multiplier;
    LayoutConstraint constraint =
        LayoutConstraint::make(item1.expression(attribute1), relation, rhs, strength);
    m_solver.addConstraint(constraint);
    m_entries.emplace(constraint.identity(), Entry{constraint, &item1, item2});
    m_byItem[&item1].insert(constraint.identity());
    if (item2) m_byItem[item2].insert(constraint.identity());
    return constraint;
}

void LayoutEngine::forget(const Entry& entry) {
    for (const LayoutItem* item : {entry.item1, entry.item2}) {
        if (!item) continue;
        auto it = m_byItem.find(item);
        if (it == m_byItem.end()) continue;
        it->second.erase(entry.constraint.identity());
        if (it->second.empty()) m_byItem.erase(it);
    }
}

void LayoutEngine::removeConstraint(const LayoutConstraint& constraint) {
    auto it = m_entries.find(constraint.identity());
    if (it == m_entries.end())
        throw LayoutError(
            fmt::format("the constraint {} is not in this layout: it was never added or is "
                        "already removed",
                        constraint.description()));
    m_solver.removeConstraint(constraint);
    forget(it->second);
    m_entries.erase(it);
}

size_t LayoutEngine::removeItem(const LayoutItem& item) {
    auto it = m_byItem.find(&item);
    if (it == m_byItem.end()) return 0;
    const std::vector<const void*> ids(it->second.begin(), it->second.end());
    for (const void* id : ids) removeConstraint(m_entries.at(id).constraint);
    return ids.size();
}

std::vector<LayoutConstraint> LayoutEngine::constraintsInvolving(const LayoutItem& item) const {
    std::vector<LayoutConstraint> result;
    if (auto it = m_byItem.find(&item); it != m_byItem.end())
        for (const void* id : it->second) result.push_back(m_entries.at(id).constraint);
    return result;
}

}  // namespace platform
