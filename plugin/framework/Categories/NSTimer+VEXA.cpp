#include "NSTimer+VEXA.h"

std::shared_ptr<KOPATimer> KOPATimer::scheduledTimer(platform::Duration interval, bool repeats, Block block) {
    auto timer = std::make_shared<KOPATimer>(interval, repeats, std::move(block));
    timer->schedule();
    return timer;
}
