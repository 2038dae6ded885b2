#include "VEXAContainerView.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/ui/AnimationGroup.h"
#include "platform/ui/DrawingContext.h"
#include "platform/ui/ViewConstraint.h"
#include "plugin/framework/Classes/VEXAAssertion.h"

using platform::AnimationGroup;
using platform::LayoutAttribute;
using platform::LayoutRelation;
using platform::View;
using platform::ViewConstraint;

namespace {

constexpr auto kPhase = std::chrono::duration_cast<platform::Duration>(
    std::chrono::duration<double>(KOPAContainerView::kSwapPhaseSeconds));

}  // namespace

void KOPAContainerView::removeContent() {
    // Only from this container: a content view someone moved elsewhere stays where it is.
    if (m_contentView && m_contentView->superview() == this) m_contentView->removeFromSuperview();
}

void KOPAContainerView::pinContent(const std::shared_ptr<View>& view) {
    auto self = sharedAs<View>();
    View::addSubview(view);
    // "H:|[contentView]|" and "V:|[contentView]|".
    addConstraints({
        ViewConstraint::make(view, LayoutAttribute::Leading, LayoutRelation::Equal, self,
                             LayoutAttribute::Leading, 1.0, 0.0),
        ViewConstraint::make(self, LayoutAttribute::Trailing, LayoutRelation::Equal, view,
                             LayoutAttribute::Trailing, 1.0, 0.0),
        ViewConstraint::make(view, LayoutAttribute::Top, LayoutRelation::Equal, self, LayoutAttribute::Top,
                             1.0, 0.0),
        ViewConstraint::make(self, LayoutAttribute::Bottom, LayoutRelation::Equal, view,
                             LayoutAttribute::Bottom, 1.0, 0.0),
    });
}

void KOPAContainerView::setContentView(const std::shared_ptr<View>& view) {
    removeContent();
    m_contentView = view;
    if (!view) return;
    if (m_useAutoLayout) {
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        pinContent(view);
    } else {
        View::addSubview(view);
        view->setFrame({0, 0, frame().width, frame().height});
        view->setAutoresizingMask(WidthSizable | HeightSizable);
    }
}

void KOPAContainerView::setContentView(const std::shared_ptr<View>& view, bool animated,
                                       std::function<void()> completion) {
    if (!animated) {
        setContentView(view);
        if (completion) completion();
        return;
    }
    // Only pinned content can be measured and resized by constraints.
    if (!m_useAutoLayout) KOPAAssertionFailure(__FILE__, __LINE__, "self.useAutoLayout");
    if (view) view->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto self = sharedAs<KOPAContainerView>();
    const double startAlpha = alphaValue();
    AnimationGroup::run(
        kPhase, [self, startAlpha](double p) { self->setAlphaValue(startAlpha * (1.0 - p)); },
        [self, view, completion] {
            self->removeContent();
            if (!view) {
                self->m_contentView = nullptr;
                self->fadeIn(completion);
                return;
            }
            const platform::Rect held = self->frame();
            auto width =
                ViewConstraint::make(self, LayoutAttribute::Width, LayoutRelation::Equal, held.width);
            auto height =
                ViewConstraint::make(self, LayoutAttribute::Height, LayoutRelation::Equal, held.height);
            width->setPriority(kSizeHoldPriority);
            height->setPriority(kSizeHoldPriority);
            self->addConstraints({width, height});
            const platform::Rect target = view->frame();
            AnimationGroup::run(
                kPhase,
                [self, width, height, held, target](double p) {
                    width->setConstant(held.width + (target.width - held.width) * p);
                    height->setConstant(held.height + (target.height - held.height) * p);
                    self->layoutSubtreeIfNeeded();
                },
                [self, view, width, height, completion] {
                    self->removeConstraints({width, height});
                    const platform::Rect size = view->frame();
                    self->setFrame({self->frame().x, self->frame().y, size.width, size.height});
                    self->m_contentView = view;
                    self->pinContent(view);
                    self->layoutSubtreeIfNeeded();
                    self->fadeIn(completion);
                });
        });
}

void KOPAContainerView::fadeIn(std::function<void()> completion) {
    auto self = sharedAs<KOPAContainerView>();
    const double startAlpha = alphaValue();
    AnimationGroup::run(
        kPhase, [self, startAlpha](double p) { self->setAlphaValue(startAlpha + (1.0 - startAlpha) * p); },
        [completion] {
            if (completion) completion();
        });
}

void KOPAContainerView::setContentViewController(
    const std::shared_ptr<platform::ViewController>& controller) {
    m_contentViewController = controller;
    setContentView(controller ? controller->view() : nullptr);
}

void KOPAContainerView::setContentViewController(const std::shared_ptr<platform::ViewController>& controller,
                                                 bool animated, std::function<void()> completion) {
    m_contentViewController = controller;
    setContentView(controller ? controller->view() : nullptr, animated, std::move(completion));
}

void KOPAContainerView::drawRect(platform::DrawingContext& context, const platform::Rect& dirty) const {
    if (m_backgroundColor) context.fillRect(dirty, *m_backgroundColor);
}
