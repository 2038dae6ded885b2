#pragma once

// Progress indicator extensions: showing and hiding it together with its animation.

namespace platform {
class ProgressIndicator;
}

// Resets the value to 0, sets the style, shows the indicator and starts it, in that order.
void kopaStartAnimationIndeterminate(platform::ProgressIndicator& indicator, bool indeterminate);
// Stops the animation, then hides the indicator.
void kopaStopAnimationAndHide(platform::ProgressIndicator& indicator);
