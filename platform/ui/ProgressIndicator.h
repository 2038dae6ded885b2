#pragma once

// ProgressIndicator: a bar showing how far work has come, or, indeterminate, that work goes on
// (NSProgressIndicator). The value is clamped to the range from minValue to maxValue. Starting
// and stopping the animation are virtual so a front end can follow them.

#include "platform/ui/View.h"

namespace platform {

class ProgressIndicator : public View {
public:
    using View::View;

    double doubleValue() const { return m_value; }
    virtual void setDoubleValue(double value);
    double minValue() const { return m_min; }
    double maxValue() const { return m_max; }
    bool isIndeterminate() const { return m_indeterminate; }
    virtual void setIndeterminate(bool indeterminate) { m_indeterminate = indeterminate; }

    bool isAnimating() const { return m_animating; }
    virtual void startAnimation() { m_animating = true; }
    virtual void stopAnimation() { m_animating = false; }

private:
    double m_value = 0;
    double m_min = 0;
    double m_max = 100;
    bool m_indeterminate = true;
    bool m_animating = false;
};

}  // namespace platform
