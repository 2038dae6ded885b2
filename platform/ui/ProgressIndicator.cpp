#include "platform/ui/ProgressIndicator.h"

#include <algorithm>
#include <cmath>

namespace platform {

void ProgressIndicator::setDoubleValue(double value) {
    // A NaN would make every later comparison false; it shows as no progress.
    m_value = std::isnan(value) ? m_min : std::clamp(value, m_min, m_max);
}

}  // namespace platform
