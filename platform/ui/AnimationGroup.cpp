#include "platform/ui/AnimationGroup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/runtime/RunLoop.h"

namespace platform {

namespace {

struct Running {
    TimePoint start;
    Duration duration;
    int64_t frames;  // the last one falls exactly at the end
    int64_t next = 1;
    std::function<void(double)> step;
    std::function<void()> completion;
};

void scheduleFrame(const std::shared_ptr<Running>& animation) {
    RunLoop& loop = RunLoop::main();
    TimePoint at = animation->start + animation->duration * animation->next / animation->frames;
    loop.scheduleTimer(
        std::max(at - loop.now(), Duration::zero()), false,
        [animation] {
            const int64_t frame = animation->next++;
            if (frame >= animation->frames) {
                if (animation->step) animation->step(1.0);
                if (animation->completion) RunLoop::main().dispatchAsync(animation->completion);
                return;
            }
            if (animation->step) animation->step(double(frame) / double(animation->frames));
            scheduleFrame(animation);
        },
        kCommonModes);
}

}  // namespace

void AnimationGroup::run(Duration duration, std::function<void(double)> step,
                         std::function<void()> completion) {
    duration = std::max(duration, Duration::zero());
    const int64_t frames =
        std::max<int64_t>(1, std::llround(double(duration.count()) / double(kFrameInterval.count())));
    auto animation = std::make_shared<Running>(
        Running{RunLoop::main().now(), duration, frames, 1, std::move(step), std::move(completion)});
    scheduleFrame(animation);
}

}  // namespace platform
