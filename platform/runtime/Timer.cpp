#include "platform/runtime/Timer.h"

namespace platform {

void Timer::schedule(RunLoopModes modes) {
    if (isValid()) return;
    auto self = std::static_pointer_cast<Timer>(shared_from_this());
    m_id = RunLoop::main().scheduleTimer(
        m_interval, m_repeats, [self] { self->fire(); }, modes);
}

void Timer::invalidate() {
    if (!m_id) return;
    auto id = *m_id;
    m_id.reset();
    // Dropping the run loop's block may release the last reference to this timer: nothing
    // after this line touches a member.
    RunLoop::main().invalidateTimer(id);
}

bool Timer::isValid() const {
    return m_id && RunLoop::main().isTimerValid(*m_id);
}

std::optional<TimePoint> Timer::fireDate() const {
    return m_id ? RunLoop::main().fireDate(*m_id) : std::nullopt;
}

void Timer::fire() {
    auto keep = std::static_pointer_cast<Timer>(shared_from_this());
    // The run loop has already dropped a one-shot timer.
    if (!m_repeats) m_id.reset();
    if (m_block) m_block(*this);
}

}  // namespace platform
