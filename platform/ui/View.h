#pragma once

// View: a rectangle in a window's view tree. A view owns its subviews; its superview and window
// are plain back-links, cleared when it leaves them.
//
// Layout constraints. A view holds the constraints installed on it (addConstraint); each tree
// has one layout engine (ViewTreeLayout, kept by the root). A view leaving its superview takes
// with it every constraint between it (or its subviews) and the rest of the tree, wherever that
// constraint was installed -- the toolkit's rule, which the layout views rely on. The layout
// pass (layoutSubtreeIfNeeded, Window::layoutIfNeeded) writes the solved frames, relative to the
// superview, into the views that take part in constraints; a view that translates its
// autoresizing mask into constraints (the default) keeps the frame it was given.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/ui/Geometry.h"

namespace platform {

class LayoutItem;
class ViewConstraint;
class ViewTreeLayout;
class Window;

class View : public Object {
public:
    // Autoresizing mask bits: which of a subview's margins and sizes follow its superview's
    // size (the y margins name the top and bottom edges of this top-down coordinate system).
    enum AutoresizingMask : unsigned {
        NotSizable = 0,
        MinXMargin = 1,
        WidthSizable = 2,
        MaxXMargin = 4,
        MinYMargin = 8,
        HeightSizable = 16,
        MaxYMargin = 32,
    };
    // Where addSubview(view, ordering, relativeTo) places the view: directly after (above, in
    // drawing order) or before the other view.
    enum class Ordering { Below = -1, Above = 1 };

    View();
    explicit View(Rect frame);
    ~View() override;

    const Rect& frame() const { return m_frame; }
    // A translating view in a constrained tree keeps the new frame (LayoutError, frame unchanged,
    // when the tree's required constraints cannot hold it). Subviews with an autoresizing mask
    // follow a change of size.
    void setFrame(Rect frame);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden) { m_hidden = hidden; }
    // Opacity, 0 (transparent) to 1.
    double alphaValue() const { return m_alpha; }
    void setAlphaValue(double alpha);
    unsigned autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask; }
    // The name a window description gives the view; how front ends and tests address it.
    const std::string& identifier() const { return m_identifier; }
    void setIdentifier(std::string identifier) { m_identifier = std::move(identifier); }

    View* superview() const { return m_superview; }
    Window* window() const { return m_window; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    // Adds the view last. A view already elsewhere leaves its superview first. Adding a view to
    // itself does nothing; adding one of the view's own ancestors throws std::invalid_argument.
    // A subtree whose own constraints cannot hold in this tree throws LayoutError and is left
    // out (having left its former superview).
    virtual void addSubview(std::shared_ptr<View> view);
    // Adds the view directly after (Above) or before (Below) `relativeTo` in the subview list;
    // with no relativeTo (or one that is not a subview), last (Above) or first (Below).
    void addSubview(std::shared_ptr<View> view, Ordering ordering, const View* relativeTo);
    // Removes every subview, then adds the given ones in order.
    virtual void setSubviews(std::vector<std::shared_ptr<View>> views);
    // Called on the superview just before a subview leaves it.
    virtual void willRemoveSubview(View* subview) {}
    void removeFromSuperview();
    // Whether this view is `view` or one of its descendants.
    bool isDescendantOf(const View* view) const;

    // Installs the constraint on this view. Both items must be this view or its descendants.
    // Throws LayoutError, with nothing changed, for items outside this subtree, a constraint
    // installed on another view, or a required constraint the tree's constraints contradict.
    // Installing it here again does nothing.
    void addConstraint(const std::shared_ptr<ViewConstraint>& constraint);
    // In order; stops at the first refused one (those before it stay installed).
    void addConstraints(const std::vector<std::shared_ptr<ViewConstraint>>& constraints);
    // A constraint not installed on this view (or none) is ignored.
    void removeConstraint(const std::shared_ptr<ViewConstraint>& constraint);
    void removeConstraints(const std::vector<std::shared_ptr<ViewConstraint>>& constraints);
    // The constraints installed on this view, in order of installation.
    const std::vector<std::shared_ptr<ViewConstraint>>& constraints() const { return m_constraints; }

    bool translatesAutoresizingMaskIntoConstraints() const { return m_translatesAutoresizingMask; }
    // Switching it on for a constrained view ties it to its current frame (LayoutError, nothing
    // changed, when the constraints cannot hold that).
    void setTranslatesAutoresizingMaskIntoConstraints(bool translates);

    // Solves the tree's constraints, if anything changed, and writes the solved frames.
    void layoutSubtreeIfNeeded();
    // The root of the view's tree (the view itself when it has no superview).
    View* rootView();

    // Depth-first search of this view and its descendants by identifier.
    std::shared_ptr<View> viewWithIdentifier(const std::string& identifier);

    // Whether the view can take keyboard focus (text fields can).
    virtual bool acceptsFirstResponder() const { return false; }
    // Focus is leaving: a field being edited commits its text. Returning false keeps focus.
    virtual bool resignFirstResponder() { return true; }

private:
    friend class Window;
    friend class ViewConstraint;
    friend class ViewTreeLayout;
    void setWindowRecursively(Window* window);
    void insertSubview(std::shared_ptr<View> view, size_t index);
    void detachFromSuperview();
    LayoutItem& layoutItem();
    void resizeSubviews(Rect oldFrame);
    // The engine of this view's tree, if it has one.
    ViewTreeLayout* treeLayout();

    Rect m_frame;
    bool m_hidden = false;
    double m_alpha = 1.0;
    unsigned m_autoresizingMask = NotSizable;
    bool m_translatesAutoresizingMask = true;
    std::string m_identifier;
    View* m_superview = nullptr;
    Window* m_window = nullptr;
    std::vector<std::shared_ptr<View>> m_subviews;

    std::vector<std::shared_ptr<ViewConstraint>> m_constraints;
    std::unique_ptr<LayoutItem> m_layoutItem;      // made when the view first takes part
    std::unique_ptr<ViewTreeLayout> m_treeLayout;  // roots of constrained trees only
    bool m_engaged = false;                        // takes part in its tree's engine
};

}  // namespace platform
