#pragma once

// Short names for the three relations, so that constraint tables in tests read like equations.

#include "platform/ui/layout/LayoutConstraint.h"

namespace testsupport {

inline constexpr auto EQ = platform::LayoutRelation::Equal;
inline constexpr auto LE = platform::LayoutRelation::LessOrEqual;
inline constexpr auto GE = platform::LayoutRelation::GreaterOrEqual;

}  // namespace testsupport
