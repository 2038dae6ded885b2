#include "NSWindow+VEXA.h"
#include "platform/ui/ViewConstraint.h"
#include "platform/ui/Window.h"

bool kopaStayOnTop(const platform::Window& window) {
    return window.level() == platform::Window::FloatingLevel;
}

void setKopaStayOnTop(platform::Window& window, bool stayOnTop) {
    window.setLevel(stayOnTop ? platform::Window::FloatingLevel : platform::Window::NormalLevel);
}

bool kopaAddViewToRightEdgeOfTitleBar(platform::Window& window, const std::shared_ptr<platform::View>& view) {
    const auto& content = window.contentView();
    if (!content || !view) return false;
    // The content view's superview is the frame view; a window makes its own on first use.
    platform::View* frameView = content->superview() ? content->superview() : window.frameView().get();
    auto frame = frameView->sharedAs<platform::View>();
    bool translated = view->translatesAutoresizingMaskIntoConstraints();
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    frameView->addSubview(view);
    using platform::LayoutAttribute;
    using platform::LayoutRelation;
    auto top = platform::ViewConstraint::make(view, LayoutAttribute::Top, LayoutRelation::Equal, frame,
                                              LayoutAttribute::Top, 1.0, 2.0);
    auto right = platform::ViewConstraint::make(frame, LayoutAttribute::Right, LayoutRelation::Equal, view,
                                                LayoutAttribute::Right, 1.0, 8.0);
    try {
        frameView->addConstraint(top);
        frameView->addConstraint(right);
    } catch (...) {
        view->removeFromSuperview();
        view->setTranslatesAutoresizingMaskIntoConstraints(translated);
        throw;
    }
    return true;
}
