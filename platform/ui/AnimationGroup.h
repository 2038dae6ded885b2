#pragma once

// AnimationGroup: an animation on the main run loop. The step is called with the progress, from
// 0 to 1 in proportion to the time passed, once a frame (the duration split into frames of about
// 1/60 second), the last frame with exactly 1 at the end of the duration; the completion then
// runs, on a later pass of the loop. Frames are timers of the loop in every mode, so a virtual
// clock drives an animation without waiting.

#include <functional>
#include <memory>

#include "platform/runtime/Clock.h"

namespace platform {

class AnimationGroup {
public:
    static constexpr Duration kFrameInterval = Duration(1'000'000'000 / 60);

    // Starts the animation; a duration of 0 or less steps straight to 1.
    static void run(Duration duration, std::function<void(double progress)> step,
                    std::function<void()> completion);
};

}  // namespace platform
