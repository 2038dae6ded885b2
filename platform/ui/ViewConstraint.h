#pragma once

// ViewConstraint: a layout constraint between views, as the toolkit states one:
//
//     firstItem.firstAttribute  (==, <=, >=)  secondItem.secondAttribute * multiplier + constant
//
// with a priority (1000 required, 1 to 999 preferences; see LayoutConstraint). Without a second
// item the right side is the constant alone. A constraint is installed on one view (View::
// addConstraint), which must contain both items in its subtree; while installed it is active
// and its equation is in the layout engine of that view tree. The items are held weakly: a
// constraint kept after its views are gone names no item.
//
// Changing the constant or the priority of an active constraint changes the engine at once (the
// old equation out, the new one in); a change the required constraints cannot hold is refused
// with LayoutError and leaves the constraint as it was.

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Object.h"
#include "platform/ui/layout/LayoutConstraint.h"
#include "platform/ui/layout/LayoutItem.h"

namespace platform {

class View;
class ViewTreeLayout;

class ViewConstraint : public Object {
public:
    static std::shared_ptr<ViewConstraint> make(const std::shared_ptr<View>& firstItem,
                                                LayoutAttribute firstAttribute, LayoutRelation relation,
                                                const std::shared_ptr<View>& secondItem,
                                                LayoutAttribute secondAttribute, double multiplier,
                                                double constant);
    // firstItem.firstAttribute relation constant.
    static std::shared_ptr<ViewConstraint> make(const std::shared_ptr<View>& firstItem,
                                                LayoutAttribute firstAttribute, LayoutRelation relation,
                                                double constant);

    std::shared_ptr<View> firstItem() const { return m_first.lock(); }
    std::shared_ptr<View> secondItem() const { return m_second.lock(); }
    // Identity of the items, for comparisons only (never dereferenced here).
    const View* firstView() const { return m_firstView; }
    const View* secondView() const { return m_secondView; }
    // Whether the constraint involves the view as first or second item.
    bool involves(const View* view) const { return view && (view == m_firstView || view == m_secondView); }

    LayoutAttribute firstAttribute() const { return m_firstAttribute; }
    LayoutAttribute secondAttribute() const { return m_secondAttribute; }
    LayoutRelation relation() const { return m_relation; }
    double multiplier() const { return m_multiplier; }
    double constant() const { return m_constant; }
    void setConstant(double constant);
    double priority() const { return m_priority; }
    // 1 to 1000; anything else (or not a number) throws LayoutError.
    void setPriority(double priority);

    // Installed on a view.
    bool isActive() const { return m_owner != nullptr; }
    // true: installs the constraint on the nearest common ancestor of its items (LayoutError
    // when they are in different trees); false: removes it from the view it is installed on.
    void setActive(bool active);
    // The view the constraint is installed on; none when inactive.
    View* installedView() const { return m_owner; }

    // "stack.bottom == v0.bottom * 1 + 20 @1000" -- items by identifier, else by class.
    std::string description() const override;

private:
    friend class View;
    friend class ViewTreeLayout;
    ViewConstraint() = default;
    // Puts a changed equation into the engine, or puts the old one back and throws.
    void reinstall(double constant, double priority);

    std::weak_ptr<View> m_first, m_second;
    const View* m_firstView = nullptr;
    const View* m_secondView = nullptr;
    LayoutAttribute m_firstAttribute = LayoutAttribute::Left;
    LayoutAttribute m_secondAttribute = LayoutAttribute::Left;
    LayoutRelation m_relation = LayoutRelation::Equal;
    double m_multiplier = 1.0;
    double m_constant = 0.0;
    double m_priority = LayoutConstraint::kRequiredPriority;
    View* m_owner = nullptr;                   // the view it is installed on
    std::optional<LayoutConstraint> m_handle;  // its equation in that tree's engine
};

using ViewConstraintPtr = std::shared_ptr<ViewConstraint>;

}  // namespace platform
