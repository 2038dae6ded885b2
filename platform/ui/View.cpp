#include "platform/ui/View.h"

#include <algorithm>

#include "platform/ui/Window.h"

namespace platform {

View::~View() {
    for (auto& sub : m_subviews) {
        sub->m_superview = nullptr;
        sub->setWindowRecursively(nullptr);
    }
}

void View::addSubview(std::shared_ptr<View> view) {
    if (!view || view.get() == this) return;
    auto keep = view;  // removeFromSuperview may drop the last other reference
    view->removeFromSuperview();
    view->m_superview = this;
    view->setWindowRecursively(m_window);
    m_subviews.push_back(std::move(keep));
}

void View::removeFromSuperview() {
    if (!m_superview) return;
    if (m_window && m_window->firstResponder() == this) m_window->makeFirstResponder(nullptr);
    auto& siblings = m_superview->m_subviews;
    auto self =
        std::find_if(siblings.begin(), siblings.end(), [this](const auto& v) { return v.get() == this; });
    m_superview = nullptr;
    setWindowRecursively(nullptr);
    if (self != siblings.end()) siblings.erase(self);  // may destroy this view: nothing after it
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
