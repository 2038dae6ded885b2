#pragma once

// RunLoop: the main thread's event loop. Everything the system does after start-up arrives
// through it: main-queue blocks (dispatchAsync), timers, and I/O sources (network streams, the
// terminal). There is one loop, run by the main thread only; nothing here is locked.
//
// Modes. A source or timer is scheduled in a set of modes and only runs while the loop runs in
// one of them. Default is the normal mode; Modal is the mode of a modal loop (a blocking modal
// window or alert), so default-mode work such as an FTP upload pauses while a modal dialog
// runs. Main-queue blocks run in every mode.
//
// Nesting. A modal loop is a nested runUntil() inside a block, timer or source callback. The
// nested loop serves the same queue, so blocks keep their posting order across nesting, and
// nothing is dropped when a nested run ends.
//
// Timers. A one-shot timer is invalidated before its handler runs, so the handler may schedule
// it again. A repeating timer that fires late is rescheduled from now (no burst of catch-up
// fires). Timers due at the same instant fire in scheduling order.
//
// Clocks. With a VirtualClock the loop never waits for a timer: when nothing else can happen it
// moves the clock to the next timer in the current mode. runUntil() throws RunLoopStalled when
// nothing at all can happen any more (no blocks, no timers, no sources in the mode), which in a
// test means a dialog waits for an answer nobody will give.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/runtime/Clock.h"

namespace platform {

enum class RunLoopMode { Default, Modal };

// Bit set of modes a timer or source runs in.
using RunLoopModes = unsigned;
inline constexpr RunLoopModes kDefaultMode = 1u << 0;
inline constexpr RunLoopModes kModalMode = 1u << 1;
inline constexpr RunLoopModes kCommonModes = kDefaultMode | kModalMode;

class RunLoopStalled : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// An I/O source the loop waits on. Network streams and the terminal front end implement it.
class RunLoopSource {
public:
    virtual ~RunLoopSource() = default;
    // Appends the descriptors to wait on before the next perform(); may append none.
    virtual void collectPollFds(std::vector<pollfd>& fds) = 0;
    // The longest the loop may wait before calling perform() again; nullopt: no limit.
    virtual std::optional<std::chrono::milliseconds> maxWait() { return std::nullopt; }
    // Called once per pass after the wait, with the results for this source's descriptors.
    virtual void perform(std::span<const pollfd> polled) = 0;
    // Whether, with a virtual clock, the loop must keep polling this source rather than jump to
    // the next timer. A source only the outside world can wake (a display connection with no
    // event queued) answers false, so timers still fire in tests that have one.
    virtual bool holdsVirtualTime() { return true; }
};

class RunLoop {
public:
    using TimerId = uint64_t;

    static RunLoop& main();

    // The clock for timers. Replacing it keeps scheduled timers at the same distance from now.
    void setClock(std::shared_ptr<Clock> clock);
    const Clock& clock() const { return *m_clock; }
    TimePoint now() const { return m_clock->now(); }

    // Main-queue asynchronous dispatch: `block` runs on a later pass, after the current event.
    void dispatchAsync(std::function<void()> block);

    TimerId scheduleTimer(Duration interval, bool repeats, std::function<void()> fire,
                          RunLoopModes modes = kDefaultMode);
    void invalidateTimer(TimerId id);
    bool isTimerValid(TimerId id) const { return m_timers.count(id) != 0; }
    std::optional<TimePoint> fireDate(TimerId id) const;

    // Sources are not owned; a source must be removed before it is destroyed.
    void addSource(RunLoopSource* source, RunLoopModes modes = kDefaultMode);
    void removeSource(RunLoopSource* source);

    // One pass in `mode`: queued blocks, due timers, then a wait for I/O of at most `maxWait`
    // (shortened to the next timer). Returns true if any block, timer or source ran.
    bool runOnce(RunLoopMode mode, Duration maxWait);
    // Runs passes until `done` answers true. Throws RunLoopStalled when nothing can happen.
    void runUntil(RunLoopMode mode, const std::function<bool()>& done);
    // Runs what is ready now (blocks, due timers, I/O without waiting) until nothing is.
    void runPending(RunLoopMode mode = RunLoopMode::Default);
    // With a virtual clock: moves time forward by `d`, firing each timer at its own instant.
    void advanceBy(Duration d, RunLoopMode mode = RunLoopMode::Default);

    RunLoopMode currentMode() const { return m_currentMode; }
    int nestingDepth() const { return m_depth; }
    size_t pendingBlockCount() const { return m_blocks.size(); }
    size_t timerCount() const { return m_timers.size(); }

    // Drops every block, timer and source: tests start each case from a clean loop.
    void resetForTesting();

private:
    RunLoop();

    struct Timer {
        TimePoint fireAt;
        Duration interval;
        bool repeats;
        RunLoopModes modes;
        std::shared_ptr<std::function<void()>> fire;
    };
    struct SourceEntry {
        RunLoopSource* source;
        RunLoopModes modes;
    };

    static RunLoopModes bit(RunLoopMode mode) {
        return mode == RunLoopMode::Default ? kDefaultMode : kModalMode;
    }
    bool runBlocks();
    bool fireDueTimers(RunLoopModes modes);
    std::optional<TimePoint> nextTimer(RunLoopModes modes) const;
    bool pollSources(RunLoopModes modes, Duration maxWait);
    bool hasSources(RunLoopModes modes) const;
    bool hasSourcesHoldingTime(RunLoopModes modes) const;

    std::shared_ptr<Clock> m_clock;
    std::deque<std::function<void()>> m_blocks;
    std::map<TimerId, Timer> m_timers;
    TimerId m_nextTimerId = 1;
    std::vector<SourceEntry> m_sources;
    RunLoopMode m_currentMode = RunLoopMode::Default;
    int m_depth = 0;
};

}  // namespace platform
