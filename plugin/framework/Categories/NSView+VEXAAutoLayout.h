#pragma once

// View extensions: aligning views by constraints installed on a common ancestor (the receiver).
// Every constraint is "a.attribute == b.attribute" with multiplier 1, constant 0 and the
// required priority. The receiver must contain the views; otherwise, or when the tree's required
// constraints contradict the alignment, LayoutError is thrown and nothing is installed.

#include <memory>
#include <vector>

#include "platform/ui/View.h"
#include "platform/ui/ViewConstraint.h"
#include "platform/ui/layout/LayoutItem.h"

// a.attribute == b.attribute, installed on `receiver`; returns the constraint.
std::shared_ptr<platform::ViewConstraint> alignView(platform::View& receiver,
                                                    const std::shared_ptr<platform::View>& a,
                                                    const std::shared_ptr<platform::View>& b,
                                                    platform::LayoutAttribute attribute);
// v.attribute == views[1].attribute for every v of `views` in order (the second view's own
// constraint holds trivially); fewer than two views add nothing. All or none are installed.
std::vector<std::shared_ptr<platform::ViewConstraint>> alignViews(
    platform::View& receiver, const std::vector<std::shared_ptr<platform::View>>& views,
    platform::LayoutAttribute attribute);
