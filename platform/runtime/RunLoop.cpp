#include "platform/runtime/RunLoop.h"

#include <algorithm>

namespace platform {

RunLoop& RunLoop::main() {
    // Never destroyed: objects destroyed at exit (documents, their stores) may still cancel their
    // timers, whatever order the statics go in.
    static RunLoop* loop = new RunLoop;
    return *loop;
}

RunLoop::RunLoop() : m_clock(std::make_shared<RealClock>()) {}

void RunLoop::setClock(std::shared_ptr<Clock> clock) {
    TimePoint oldNow = m_clock->now();
    TimePoint newNow = clock->now();
    for (auto& [id, timer] : m_timers) timer.fireAt = newNow + (timer.fireAt - oldNow);
    m_clock = std::move(clock);
}

void RunLoop::dispatchAsync(std::function<void()> block) {
    m_blocks.push_back(std::move(block));
}

RunLoop::TimerId RunLoop::scheduleTimer(Duration interval, bool repeats, std::function<void()> fire,
                                        RunLoopModes modes) {
    if (interval < Duration::zero()) interval = Duration::zero();
    TimerId id = m_nextTimerId++;
    m_timers.emplace(id, Timer{now() + interval, interval, repeats, modes,
                               std::make_shared<std::function<void()>>(std::move(fire))});
    return id;
}

void RunLoop::invalidateTimer(TimerId id) {
    m_timers.erase(id);
}

std::optional<TimePoint> RunLoop::fireDate(TimerId id) const {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return std::nullopt;
    return it->second.fireAt;
}

void RunLoop::addSource(RunLoopSource* source, RunLoopModes modes) {
    for (auto& entry : m_sources) {
        if (entry.source == source) {
            entry.modes |= modes;
            return;
        }
    }
    m_sources.push_back({source, modes});
}

void RunLoop::removeSource(RunLoopSource* source) {
    std::erase_if(m_sources, [source](const SourceEntry& e) { return e.source == source; });
}

bool RunLoop::runBlocks() {
    // Only the blocks queued before this pass run now; blocks they post wait for the next pass.
    // Blocks are popped one at a time so a nested loop started by one of them serves the rest
    // in order.
    size_t count = m_blocks.size();
    for (size_t i = 0; i < count && !m_blocks.empty(); ++i) {
        auto block = std::move(m_blocks.front());
        m_blocks.pop_front();
        block();
    }
    return count > 0;
}

std::optional<TimePoint> RunLoop::nextTimer(RunLoopModes modes) const {
    std::optional<TimePoint> next;
    for (const auto& [id, timer] : m_timers) {
        if ((timer.modes & modes) && (!next || timer.fireAt < *next)) next = timer.fireAt;
    }
    return next;
}

bool RunLoop::fireDueTimers(RunLoopModes modes) {
    // Fire each timer due at the start of the pass once, earliest first, ties by scheduling order.
    TimePoint start = now();
    std::vector<std::pair<TimePoint, TimerId>> due;
    for (const auto& [id, timer] : m_timers) {
        if ((timer.modes & modes) && timer.fireAt <= start) due.emplace_back(timer.fireAt, id);
    }
    std::sort(due.begin(), due.end());
    for (const auto& [when, id] : due) {
        auto it = m_timers.find(id);
        if (it == m_timers.end()) continue;  // invalidated by an earlier handler
        auto fire = it->second.fire;
        if (it->second.repeats) {
            // A late timer is rescheduled from now: missed fires are skipped, not caught up.
            Duration interval = std::max(it->second.interval, Duration(1));
            TimePoint next = it->second.fireAt + interval;
            it->second.fireAt = next > now() ? next : now() + interval;
        } else {
            m_timers.erase(it);
        }
        (*fire)();
    }
    return !due.empty();
}

bool RunLoop::hasSources(RunLoopModes modes) const {
    return std::any_of(m_sources.begin(), m_sources.end(),
                       [modes](const SourceEntry& e) { return e.modes & modes; });
}

bool RunLoop::hasSourcesHoldingTime(RunLoopModes modes) const {
    return std::any_of(m_sources.begin(), m_sources.end(), [modes](const SourceEntry& e) {
        return (e.modes & modes) && e.source->holdsVirtualTime();
    });
}

bool RunLoop::pollSources(RunLoopModes modes, Duration maxWait) {
    std::vector<SourceEntry> sources;
    for (const auto& e : m_sources)
        if (e.modes & modes) sources.push_back(e);

    std::vector<pollfd> fds;
    std::vector<std::pair<size_t, size_t>> slices;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(maxWait);
    for (const auto& e : sources) {
        size_t begin = fds.size();
        e.source->collectPollFds(fds);
        slices.emplace_back(begin, fds.size());
        if (auto limit = e.source->maxWait()) wait = std::min(wait, *limit);
    }
    if (wait < std::chrono::milliseconds::zero()) wait = std::chrono::milliseconds::zero();
    if (!fds.empty() || wait > std::chrono::milliseconds::zero()) {
        int rc = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
        if (rc < 0) {
            for (auto& fd : fds) fd.revents = 0;
        }
    }
    for (size_t i = 0; i < sources.size(); ++i) {
        // A source removed by an earlier source's callback is not called any more.
        bool stillThere = std::any_of(m_sources.begin(), m_sources.end(),
                                      [&](const SourceEntry& e) { return e.source == sources[i].source; });
        if (!stillThere) continue;
        auto [begin, end] = slices[i];
        sources[i].source->perform(std::span<const pollfd>(fds.data() + begin, end - begin));
    }
    return !sources.empty();
}

bool RunLoop::runOnce(RunLoopMode mode, Duration maxWait) {
    RunLoopModes modes = bit(mode);
    RunLoopMode outerMode = m_currentMode;
    m_currentMode = mode;
    ++m_depth;
    struct Restore {
        RunLoop* loop;
        RunLoopMode mode;
        ~Restore() {
            loop->m_currentMode = mode;
            --loop->m_depth;
        }
    } restore{this, outerMode};

    bool ran = runBlocks();
    ran |= fireDueTimers(modes);

    Duration wait = ran || !m_blocks.empty() ? Duration::zero() : maxWait;
    if (auto next = nextTimer(modes); next && !m_clock->isVirtual())
        wait = std::min(wait, std::max(Duration::zero(), *next - now()));
    if (hasSources(modes)) {
        ran |= pollSources(modes, wait);
    } else if (wait > Duration::zero() && !m_clock->isVirtual()) {
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait);
        ::poll(nullptr, 0, static_cast<int>(ms.count()));
    }
    return ran;
}

void RunLoop::runUntil(RunLoopMode mode, const std::function<bool()>& done) {
    RunLoopModes modes = bit(mode);
    while (!done()) {
        if (!m_blocks.empty()) {
            runOnce(mode, Duration::zero());
            continue;
        }
        auto next = nextTimer(modes);
        bool sources = hasSources(modes);
        if (!next && !sources)
            throw RunLoopStalled(
                "the run loop has nothing left to do: no queued blocks, timers or sources, "
                "so the condition it waits for can never become true");
        if (m_clock->isVirtual() && next && !hasSourcesHoldingTime(modes)) {
            // Nothing else can happen before the next timer: jump there.
            if (auto* virtualClock = dynamic_cast<VirtualClock*>(m_clock.get());
                virtualClock && *next > now())
                virtualClock->advance(*next - now());
            runOnce(mode, Duration::zero());
            continue;
        }
        runOnce(mode, std::chrono::milliseconds(m_clock->isVirtual() ? 50 : 1000));
    }
}

void RunLoop::runPending(RunLoopMode mode) {
    // Bounded so a repeating zero-interval timer cannot keep this going forever.
    for (int i = 0; i < 10000; ++i) {
        runOnce(mode, Duration::zero());
        auto next = nextTimer(bit(mode));
        if (m_blocks.empty() && !(next && *next <= now())) return;
    }
}

void RunLoop::advanceBy(Duration d, RunLoopMode mode) {
    auto* virtualClock = dynamic_cast<VirtualClock*>(m_clock.get());
    if (!virtualClock) throw std::logic_error("RunLoop::advanceBy needs a VirtualClock");
    TimePoint target = now() + d;
    runPending(mode);
    for (;;) {
        auto next = nextTimer(bit(mode));
        if (!next || *next > target) break;
        if (*next > now()) virtualClock->advance(*next - now());
        runPending(mode);
    }
    if (target > now()) virtualClock->advance(target - now());
    runPending(mode);
}

void RunLoop::resetForTesting() {
    m_blocks.clear();
    m_timers.clear();
    m_sources.clear();
}

}  // namespace platform
