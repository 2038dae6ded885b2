#include "NSProgressIndicator+VEXA.h"
#include "platform/ui/ProgressIndicator.h"

void kopaStartAnimationIndeterminate(platform::ProgressIndicator& indicator, bool indeterminate) {
    indicator.setDoubleValue(0.0);
    indicator.setIndeterminate(indeterminate);
    indicator.setHidden(false);
    indicator.startAnimation();
}

void kopaStopAnimationAndHide(platform::ProgressIndicator& indicator) {
    indicator.stopAnimation();
    indicator.setHidden(true);
}
