#pragma once

// Timer: a timer object on the main run loop (NSTimer). While scheduled, the run loop holds it
// (a caller may drop its reference); invalidate() unschedules it and lets it go, and a one-shot
// timer invalidates itself before its block runs. A timer fires only while valid.
//
//   auto timer = std::make_shared<platform::Timer>(12h, false, [](platform::Timer&) { check(); });
//   timer->schedule();

#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Object.h"
#include "platform/runtime/RunLoop.h"

namespace platform {

class Timer : public Object {
public:
    using Block = std::function<void(Timer&)>;

    Timer(Duration interval, bool repeats, Block block)
        : m_interval(interval), m_repeats(repeats), m_block(std::move(block)) {}
    // No destructor work: while scheduled the run loop's block owns the timer, so a timer
    // only dies once the run loop has let go of it (invalidated, fired once, or loop reset).

    // Adds the timer to the main run loop in `modes`; a timer already scheduled stays as it is.
    // Needs the timer to be owned by a shared_ptr.
    void schedule(RunLoopModes modes = kDefaultMode);
    void invalidate();
    bool isValid() const;
    std::optional<TimePoint> fireDate() const;

    Duration timeInterval() const { return m_interval; }
    bool repeats() const { return m_repeats; }

private:
    void fire();

    Duration m_interval;
    bool m_repeats;
    Block m_block;
    std::optional<RunLoop::TimerId> m_id;
};

}  // namespace platform
