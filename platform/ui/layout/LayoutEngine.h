#pragma once

// LayoutEngine: constraints between views' attributes on a LayoutSolver, in the toolkit's form
//
//     item1.attribute1  (==, <=, >=)  item2.attribute2 * multiplier + constant   @ priority
//
// (no item2: item1.attribute1 relation constant). Priority 1000 is required; 1 to 999 are
// preferences weighted by LayoutConstraint::strengthForPriority; addConstraintWithStrength
// takes the weight itself.
//
// The engine keeps which constraints involve which item, so removeItem() takes every
// constraint that involves a view in one call -- the toolkit's rule for a view leaving its
// superview -- in time proportional to those constraints. Items are owned by the caller and
// named by address; an item must outlive its constraints in the engine (removeItem() first).
//
// Errors (LayoutError, nothing changed): an unsatisfiable required constraint, a priority out
// of range, a constraint the engine does not hold.

#include <cstddef>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/layout/LayoutItem.h"
#include "platform/ui/layout/LayoutSolver.h"

namespace platform {

class LayoutEngine {
public:
    LayoutConstraint addConstraint(const LayoutItem& item1, LayoutAttribute attribute1,
                                   LayoutRelation relation, const LayoutItem* item2,
                                   LayoutAttribute attribute2, double multiplier, double constant,
                                   double priority = LayoutConstraint::kRequiredPriority);
    LayoutConstraint addConstraintWithStrength(const LayoutItem& item1, LayoutAttribute attribute1,
                                               LayoutRelation relation, const LayoutItem* item2,
                                               LayoutAttribute attribute2, double multiplier, double constant,
                                               double strength);
    void removeConstraint(const LayoutConstraint& constraint);
    // Removes every constraint that involves the item (as first or second item); the number
    // removed.
    size_t removeItem(const LayoutItem& item);
    // The constraints that involve the item, in no particular order.
    std::vector<LayoutConstraint> constraintsInvolving(const LayoutItem& item) const;
    bool hasConstraint(const LayoutConstraint& constraint) const {
        return m_solver.hasConstraint(constraint);
    }
    size_t constraintCount() const { return m_entries.size(); }

    // Writes the solution into every item's edges (LayoutItem::frame() then reads it).
    void solve() { m_solver.updateVariables(); }

    LayoutSolver& solver() { return m_solver; }

private:
    struct Entry {
        LayoutConstraint constraint;
        const LayoutItem* item1;
        const LayoutItem* item2;
    };
    void forget(const Entry& entry);

    LayoutSolver m_solver;
    std::unordered_map<const void*, Entry> m_entries;
    std::unordered_map<const LayoutItem*, std::unordered_set<const void*>> m_byItem;
};

}  // namespace platform
