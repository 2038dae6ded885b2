#pragma once

// ViewTreeLayout: the layout engine of one view tree, held by the tree's root view and made when
// the tree's first constraint is installed. It knows which engine equation belongs to which
// ViewConstraint and which views take part ("engaged" views: the items of the constraints, and
// their superviews up to the root, so every engaged view's frame can be given relative to its
// superview).
//
// Frames of views that translate their autoresizing mask into constraints. Such an engaged view
// keeps the frame it was given: four required equations tie its left and top edges to its
// superview's (at the frame's origin) and fix its width and height. A root keeps its origin
// the same way, but its size only at priority 500, so constraints inside it can make it grow
// (a stack's height follows from its content), as a window's content view grows its window.
//
// A tree that moves keeps its own constraints: the constraints installed inside a subtree that
// joins another tree go into that tree's engine; a subtree that leaves takes them into an
// engine of its own. Constraints between the leaving subtree and the rest are dropped (the
// toolkit's rule for a view leaving its superview).

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/ui/Geometry.h"
#include "platform/ui/layout/LayoutEngine.h"

namespace platform {

class View;
class ViewConstraint;

class ViewTreeLayout {
public:
    static constexpr double kRootSizePriority = 500.0;

    // The layout of the tree `root` heads (root has no superview), made on first use.
    static ViewTreeLayout& of(View& root);

    // Puts the equation of `constraint` with this constant and priority into the engine,
    // engaging its items. Throws LayoutError (engine and views unchanged) when the required
    // constraints cannot hold it.
    LayoutConstraint add(ViewConstraint& constraint, double constant, double priority);
    void remove(const LayoutConstraint& equation);

    // Ties an engaged, translating view to its frame (see above); the old frame equations are
    // replaced. Throws LayoutError (the old ones kept) when the constraints cannot hold it.
    void holdFrame(View& view, Rect frame);
    // Frees an engaged view of its frame equations.
    void releaseFrame(View& view);

    // Takes the views of a subtree that is leaving this tree out of the engine. Constraints
    // between the subtree and other views are deactivated; the constraints installed inside the
    // subtree are returned, still installed on their views but with no equation.
    std::vector<std::shared_ptr<ViewConstraint>> takeSubtree(View& subtreeRoot);
    // Gives a detached root's subtree its own engine with the constraints installed inside it
    // (those taken by takeSubtree, or left by a destroyed root).
    static void adoptDetached(View& root, const std::vector<std::shared_ptr<ViewConstraint>>& constraints);
    // Moves the constraints of `subtreeRoot`, just added under a view of this tree, from the
    // subtree's own engine into this one. Throws LayoutError (the subtree's engine kept) when
    // this tree's required constraints cannot hold them.
    void merge(View& subtreeRoot);

    // Every constraint installed on a view of the subtree.
    static std::vector<std::shared_ptr<ViewConstraint>> constraintsInside(View& subtreeRoot);

    void setNeedsLayout() { m_needsLayout = true; }
    bool needsLayout() const { return m_needsLayout; }
    // Solves, when anything changed since the last time, and writes the solved frames into the
    // engaged views.
    void layout();

    LayoutEngine& engine() { return m_engine; }

private:
    void engage(View& view, std::vector<View*>& newlyEngaged);
    void disengage(View& view);
    std::vector<LayoutConstraint> frameEquations(View& view, Rect frame);

    LayoutEngine m_engine;
    std::unordered_map<const void*, ViewConstraint*> m_byEquation;
    std::unordered_set<View*> m_engaged;
    std::unordered_map<View*, std::vector<LayoutConstraint>> m_frameEquations;
    bool m_needsLayout = true;
};

}  // namespace platform
