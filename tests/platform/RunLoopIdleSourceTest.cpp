// A source that only the outside world wakes (a display connection) must not stop the virtual
// clock from jumping to the next timer; a source with work of its own holds time until done.

#include <gtest/gtest.h>

#include "platform/runtime/RunLoop.h"
#include "tests/support/UiTestSupport.h"

namespace {

using namespace platform;

class CountingSource : public RunLoopSource {
public:
    explicit CountingSource(int busyPasses) : m_busyPasses(busyPasses) {}
    void collectPollFds(std::vector<pollfd>&) override {}
    void perform(std::span<const pollfd>) override {
        ++performed;
        if (m_busyPasses > 0) --m_busyPasses;
    }
    bool holdsVirtualTime() override { return m_busyPasses > 0; }
    int performed = 0;

private:
    int m_busyPasses;
};

class RunLoopIdleSourceTest : public testsupport::UiTest {};

TEST_F(RunLoopIdleSourceTest, TimeJumpsOnlyOnceNoSourceHoldsIt) {
    struct Case {
        int busyPasses;
    };
    for (const Case& c : {Case{0}, Case{1}, Case{5}}) {
        CountingSource source(c.busyPasses);
        loop.addSource(&source, kCommonModes);
        auto start = clock->now();
        bool fired = false;
        TimePoint firedAt{};
        loop.scheduleTimer(std::chrono::hours(12), false, [&] {
            fired = true;
            firedAt = clock->now();
        });
        loop.runUntil(RunLoopMode::Default, [&] { return fired; });
        EXPECT_EQ(firedAt - start, std::chrono::hours(12)) << c.busyPasses;
        // The busy passes all ran before time moved; the idle source is still polled afterwards.
        EXPECT_GE(source.performed, c.busyPasses + 1) << c.busyPasses;
        loop.removeSource(&source);
    }
}

TEST_F(RunLoopIdleSourceTest, AnIdleSourceStillKeepsTheLoopFromStalling) {
    // Nothing queued and no timer, but a display is there: a person may still act, so the loop
    // waits rather than declaring a stall -- bounded here by the condition.
    CountingSource source(0);
    loop.addSource(&source, kCommonModes);
    EXPECT_NO_THROW(loop.runUntil(RunLoopMode::Default, [&] { return source.performed >= 3; }));
    loop.removeSource(&source);
    EXPECT_THROW(loop.runUntil(RunLoopMode::Default, [] { return false; }), RunLoopStalled);
}

}  // namespace
