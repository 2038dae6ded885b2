#include "NSView+VEXAAutoLayout.h"

std::shared_ptr<platform::ViewConstraint> alignView(platform::View& receiver,
                                                    const std::shared_ptr<platform::View>& a,
                                                    const std::shared_ptr<platform::View>& b,
                                                    platform::LayoutAttribute attribute) {
    auto constraint =
        platform::ViewConstraint::make(a, attribute, platform::LayoutRelation::Equal, b, attribute, 1.0, 0.0);
    receiver.addConstraint(constraint);
    return constraint;
}

std::vector<std::shared_ptr<platform::ViewConstraint>> alignViews(
    platform::View& receiver, const std::vector<std::shared_ptr<platform::View>>& views,
    platform::LayoutAttribute attribute) {
    std::vector<std::shared_ptr<platform::ViewConstraint>> added;
    if (views.size() < 2) return added;
    const auto& anchor = views[1];
    try {
        for (const auto& view : views) added.push_back(alignView(receiver, view, anchor, attribute));
    } catch (...) {
        // Half an alignment is no alignment: take back what this call installed.
        receiver.removeConstraints(added);
        throw;
    }
    return added;
}
