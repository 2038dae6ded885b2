#pragma once

// KOPAStackView: a view that arranges its subviews in one vertical column, top to bottom in
// subview order, tied together by layout constraints: the first view at firstMargin below the
// stack's top, each further view at its padding below its predecessor (a "glue" constraint),
// and the stack's bottom at lastMargin below the last view, so the stack's height follows from
// its content. A view spans the column less the side margins, or, appended centred, sits in the
// middle at least the margins from each side.
//
// Every constraint is required and installed on the stack. The side constraints are not kept:
// they go with their view when it leaves (as every constraint involving it does). Removing a
// view closes its gap with the default padding. The margin and padding setters move nothing:
// constraints made later use the new values.

#include <memory>
#include <vector>

#include "platform/ui/View.h"
#include "platform/ui/ViewConstraint.h"

class KOPAStackView : public platform::View {
public:
    KOPAStackView();
    explicit KOPAStackView(platform::Rect frame);

    double leadingMargin() const { return m_leadingMargin; }
    void setLeadingMargin(double margin) { m_leadingMargin = margin; }
    double trailingMargin() const { return m_trailingMargin; }
    void setTrailingMargin(double margin) { m_trailingMargin = margin; }
    double firstMargin() const { return m_firstMargin; }
    void setFirstMargin(double margin) { m_firstMargin = margin; }
    double lastMargin() const { return m_lastMargin; }
    void setLastMargin(double margin) { m_lastMargin = margin; }
    double defaultPadding() const { return m_defaultPadding; }
    void setDefaultPadding(double padding) { m_defaultPadding = padding; }

    const platform::ViewConstraintPtr& firstMarginConstraint() const { return m_firstMarginConstraint; }
    const platform::ViewConstraintPtr& lastMarginConstraint() const { return m_lastMarginConstraint; }
    // One per adjacent pair of arranged views, in order of creation.
    const std::vector<platform::ViewConstraintPtr>& glueConstraints() const { return m_glueConstraints; }

    void appendView(const std::shared_ptr<platform::View>& view);
    void appendView(const std::shared_ptr<platform::View>& view, double padding);
    // A view that is already arranged here moves to the bottom. A view the column cannot take
    // (its required constraints contradict the stack's, as when the stack keeps a fixed frame
    // inside another view) is refused with LayoutError and the stack is left as it was.
    void appendView(const std::shared_ptr<platform::View>& view, double padding, bool centered);
    // Puts the view directly below `preceding`, joined to its neighbours with the default
    // padding and spanning the column; with no preceding view (or one not arranged here) it is
    // appended.
    void insertView(const std::shared_ptr<platform::View>& view, const platform::View* preceding);

    // Every plain addition appends, with the default padding, not centred.
    void addSubview(std::shared_ptr<platform::View> view) override;
    using platform::View::addSubview;
    // Removes every arranged view, then appends the given ones in order.
    void setSubviews(std::vector<std::shared_ptr<platform::View>> views) override;
    // Closes the gap the leaving view leaves.
    void willRemoveSubview(platform::View* subview) override;

    // Removes every glue constraint that involves the view.
    void removeGlueConstraintsForSubview(const platform::View* view);

protected:
    void connectView(const std::shared_ptr<platform::View>& upper,
                     const std::shared_ptr<platform::View>& lower, double padding);
    void disconnectView(const platform::View* a, const platform::View* b);
    void fixViewAsFirst(const std::shared_ptr<platform::View>& view);
    void fixViewAsLast(const std::shared_ptr<platform::View>& view);

private:
    void addSideConstraints(const std::shared_ptr<platform::View>& view, bool centered);
    std::shared_ptr<platform::View> self();

    platform::ViewConstraintPtr m_firstMarginConstraint;
    platform::ViewConstraintPtr m_lastMarginConstraint;
    std::vector<platform::ViewConstraintPtr> m_glueConstraints;
    double m_leadingMargin = 20.0;
    double m_trailingMargin = 20.0;
    double m_firstMargin = 20.0;
    double m_lastMargin = 20.0;
    double m_defaultPadding = 8.0;
    bool m_restoring = false;  // taking back a refused append: no gap to close
};
