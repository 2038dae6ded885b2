#pragma once

// Timers as session objects: a KOPATimer is a platform timer that the session registry can
// dispose of, so a timer registered with it stops at sign-off.
//
//   auto timer = KOPATimer::scheduledTimer(5min, true, [](platform::Timer&) { poll(); });
//   KOPAPluginSession::sharedPluginSession()->registerSessionObject(timer);

#include <memory>

#include "platform/runtime/Timer.h"
#include "plugin/framework/Classes/VEXAPluginSession.h"

class KOPATimer : public platform::Timer, public KOPAPluginSessionObject {
public:
    using platform::Timer::Timer;

    // A timer scheduled on the main run loop in the default mode.
    static std::shared_ptr<KOPATimer> scheduledTimer(platform::Duration interval, bool repeats, Block block);

    // Invalidates the timer.
    void dispose() override { invalidate(); }
};
