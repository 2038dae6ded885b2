#include "platform/ui/ViewTreeLayout.h"

#include <unordered_set>

#include "platform/ui/View.h"
#include "platform/ui/ViewConstraint.h"
#include "platform/ui/layout/LayoutError.h"
#include "platform/ui/layout/LayoutItem.h"

namespace platform {

namespace {

std::vector<View*> subtreeOf(View& root) {
    std::vector<View*> views{&root};
    for (size_t i = 0; i < views.size(); ++i)
        for (auto& sub : views[i]->subviews()) views.push_back(sub.get());
    return views;
}

}  // namespace

ViewTreeLayout& ViewTreeLayout::of(View& root) {
    if (!root.m_treeLayout) root.m_treeLayout = std::make_unique<ViewTreeLayout>();
    return *root.m_treeLayout;
}

LayoutConstraint ViewTreeLayout::add(ViewConstraint& constraint, double constant, double priority) {
    auto first = constraint.firstItem();
    auto second = constraint.secondItem();
    std::vector<View*> engaged;
    try {
        engage(*first, engaged);
        if (second) engage(*second, engaged);
        LayoutConstraint equation =
            m_engine.addConstraint(first->layoutItem(), constraint.m_firstAttribute, constraint.m_relation,
                                   second ? &second->layoutItem() : nullptr, constraint.m_secondAttribute,
                                   constraint.m_multiplier, constant, priority);
        m_byEquation[equation.identity()] = &constraint;
        m_needsLayout = true;
        return equation;
    } catch (const LayoutError& error) {
        for (View* v : engaged) disengage(*v);
        throw LayoutError("cannot install the constraint " + constraint.description() +
                          ": the required constraints of its view tree contradict it (" + error.what() +
                          "); lower its priority below 1000, or remove the constraint it contradicts first");
    }
}

void ViewTreeLayout::remove(const LayoutConstraint& equation) {
    m_byEquation.erase(equation.identity());
    if (m_engine.hasConstraint(equation)) m_engine.removeConstraint(equation);
    m_needsLayout = true;
}

void ViewTreeLayout::engage(View& view, std::vector<View*>& newlyEngaged) {
    // Superviews first, so a frame equation always finds its superview's edges in the engine.
    std::vector<View*> chain;
    for (View* v = &view; v && !v->m_engaged; v = v->m_superview) chain.push_back(v);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        View* v = *it;
        v->m_engaged = true;
        m_engaged.insert(v);
        newlyEngaged.push_back(v);
        if (v->m_translatesAutoresizingMask) holdFrame(*v, v->m_frame);
    }
}

void ViewTreeLayout::disengage(View& view) {
    if (view.m_layoutItem) m_engine.removeItem(*view.m_layoutItem);
    view.m_engaged = false;
    m_engaged.erase(&view);
    m_frameEquations.erase(&view);
}

std::vector<LayoutConstraint> ViewTreeLayout::frameEquations(View& view, Rect frame) {
    std::vector<LayoutConstraint> added;
    LayoutItem& item = view.layoutItem();
    try {
        if (View* super = view.m_superview) {
            LayoutItem& superItem = super->layoutItem();
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Left, LayoutRelation::Equal,
                                                   &superItem, LayoutAttribute::Left, 1.0, frame.x));
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Top, LayoutRelation::Equal,
                                                   &superItem, LayoutAttribute::Top, 1.0, frame.y));
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Width, LayoutRelation::Equal,
                                                   nullptr, LayoutAttribute::Width, 1.0, frame.width));
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Height, LayoutRelation::Equal,
                                                   nullptr, LayoutAttribute::Height, 1.0, frame.height));
        } else {
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Left, LayoutRelation::Equal,
                                                   nullptr, LayoutAttribute::Left, 1.0, frame.x));
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Top, LayoutRelation::Equal, nullptr,
                                                   LayoutAttribute::Top, 1.0, frame.y));
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Width, LayoutRelation::Equal,
                                                   nullptr, LayoutAttribute::Width, 1.0, frame.width,
                                                   kRootSizePriority));
            added.push_back(m_engine.addConstraint(item, LayoutAttribute::Height, LayoutRelation::Equal,
                                                   nullptr, LayoutAttribute::Height, 1.0, frame.height,
                                                   kRootSizePriority));
        }
    } catch (const LayoutError&) {
        for (auto& c : added) m_engine.removeConstraint(c);
        throw;
    }
    return added;
}

void ViewTreeLayout::holdFrame(View& view, Rect frame) {
    auto it = m_frameEquations.find(&view);
    std::vector<LayoutConstraint> old;
    if (it != m_frameEquations.end()) old = std::move(it->second);
    for (auto& c : old) m_engine.removeConstraint(c);
    try {
        m_frameEquations[&view] = frameEquations(view, frame);
    } catch (const LayoutError& error) {
        if (!old.empty()) m_frameEquations[&view] = frameEquations(view, view.m_frame);
        throw LayoutError("the view " + view.description() +
                          " cannot keep the frame it is given: the required constraints of its view tree "
                          "contradict it (" +
                          error.what() +
                          "); switch off its autoresizing-mask translation and place it with constraints");
    }
    m_needsLayout = true;
}

void ViewTreeLayout::releaseFrame(View& view) {
    auto it = m_frameEquations.find(&view);
    if (it == m_frameEquations.end()) return;
    for (auto& c : it->second) m_engine.removeConstraint(c);
    m_frameEquations.erase(it);
    m_needsLayout = true;
}

std::vector<std::shared_ptr<ViewConstraint>> ViewTreeLayout::constraintsInside(View& subtreeRoot) {
    std::vector<std::shared_ptr<ViewConstraint>> inside;
    for (View* v : subtreeOf(subtreeRoot))
        inside.insert(inside.end(), v->m_constraints.begin(), v->m_constraints.end());
    return inside;
}

std::vector<std::shared_ptr<ViewConstraint>> ViewTreeLayout::takeSubtree(View& subtreeRoot) {
    std::vector<View*> views = subtreeOf(subtreeRoot);
    std::unordered_set<const View*> members(views.begin(), views.end());
    for (View* v : views) {
        if (!v->m_engaged) continue;
        for (const LayoutConstraint& equation : m_engine.constraintsInvolving(v->layoutItem())) {
            auto found = m_byEquation.find(equation.identity());
            if (found == m_byEquation.end()) continue;  // a frame equation
            ViewConstraint* c = found->second;
            m_byEquation.erase(found);
            if (members.count(c->m_owner)) continue;
            // Ties the subtree to the rest: it goes, wherever it was installed.
            View* owner = c->m_owner;
            auto keep = c->sharedAs<ViewConstraint>();
            c->m_owner = nullptr;
            c->m_handle.reset();
            std::erase(owner->m_constraints, keep);
        }
    }
    for (View* v : views)
        if (v->m_engaged) disengage(*v);
    auto inside = constraintsInside(subtreeRoot);
    for (auto& c : inside) {
        if (c->m_handle) m_byEquation.erase(c->m_handle->identity());
        c->m_handle.reset();
    }
    m_needsLayout = true;
    return inside;
}

void ViewTreeLayout::adoptDetached(View& root,
                                   const std::vector<std::shared_ptr<ViewConstraint>>& constraints) {
    if (constraints.empty()) return;
    ViewTreeLayout& layout = of(root);
    for (const auto& c : constraints) {
        try {
            c->m_handle = layout.add(*c, c->m_constant, c->m_priority);
        } catch (const LayoutError&) {
            // Part of a system that held, so this does not happen short of rounding; a
            // constraint that no longer fits is dropped rather than left half installed.
            View* owner = c->m_owner;
            c->m_owner = nullptr;
            c->m_handle.reset();
            if (owner) std::erase(owner->m_constraints, c);
        }
    }
}

void ViewTreeLayout::merge(View& subtreeRoot) {
    std::unique_ptr<ViewTreeLayout> own = std::move(subtreeRoot.m_treeLayout);
    std::vector<View*> views = subtreeOf(subtreeRoot);
    auto inside = constraintsInside(subtreeRoot);
    struct Saved {
        View* view;
        bool engaged;
    };
    std::vector<Saved> saved;
    std::unordered_map<View*, std::vector<LayoutConstraint>> savedFrames;
    for (View* v : views) {
        saved.push_back({v, v->m_engaged});
        v->m_engaged = false;
    }
    std::vector<LayoutConstraint> added;
    try {
        for (auto& c : inside) added.push_back(add(*c, c->m_constant, c->m_priority));
    } catch (const LayoutError&) {
        for (auto& equation : added) remove(equation);
        for (View* v : views)
            if (v->m_engaged) disengage(*v);
        for (auto& s : saved) s.view->m_engaged = s.engaged;
        subtreeRoot.m_treeLayout = std::move(own);
        throw;
    }
    for (size_t i = 0; i < inside.size(); ++i) inside[i]->m_handle = added[i];
    // `own` goes now, with the subtree's former frame equations.
}

void ViewTreeLayout::layout() {
    if (!m_needsLayout) return;
    m_engine.solve();
    for (View* v : m_engaged) {
        Rect frame = v->layoutItem().frame();
        if (View* super = v->m_superview) {
            Rect origin = super->layoutItem().frame();
            frame.x -= origin.x;
            frame.y -= origin.y;
        }
        v->m_frame = frame;
    }
    m_needsLayout = false;
}

}  // namespace platform
