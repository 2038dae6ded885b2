#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/runtime/RunLoop.h"

using namespace platform;
using namespace std::chrono_literals;

class RunLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        loop.resetForTesting();
        clock = std::make_shared<VirtualClock>();
        loop.setClock(clock);
    }
    void TearDown() override {
        loop.resetForTesting();
        loop.setClock(std::make_shared<RealClock>());
    }
    RunLoop& loop = RunLoop::main();
    std::shared_ptr<VirtualClock> clock;
};

TEST_F(RunLoopTest, BlocksRunInPostingOrderAndLaterPostsWaitAPass) {
    std::vector<std::string> log;
    loop.dispatchAsync([&] {
        log.push_back("a");
        loop.dispatchAsync([&] { log.push_back("c"); });
    });
    loop.dispatchAsync([&] { log.push_back("b"); });
    loop.runOnce(RunLoopMode::Default, Duration::zero());
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
    loop.runOnce(RunLoopMode::Default, Duration::zero());
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(RunLoopTest, NestedLoopKeepsQueueOrderAndReturnsToOuterMode) {
    std::vector<std::string> log;
    bool stop = false;
    loop.dispatchAsync([&] {
        log.push_back("outer");
        loop.dispatchAsync([&] {
            log.push_back("inner-posted");
            stop = true;
        });
        loop.runUntil(RunLoopMode::Modal, [&] { return stop; });
        EXPECT_EQ(loop.currentMode(), RunLoopMode::Default);
    });
    loop.dispatchAsync([&] { log.push_back("second"); });
    loop.runPending();
    EXPECT_EQ(log, (std::vector<std::string>{"outer", "second", "inner-posted"}));
}

TEST_F(RunLoopTest, TimersFireOnTheVirtualClockOnlyInTheirModes) {
    int defaultFires = 0, commonFires = 0;
    loop.scheduleTimer(
        10s, false, [&] { ++defaultFires; }, kDefaultMode);
    loop.scheduleTimer(
        10s, false, [&] { ++commonFires; }, kCommonModes);
    clock->advance(10s);
    loop.runOnce(RunLoopMode::Modal, Duration::zero());
    EXPECT_EQ(defaultFires, 0);
    EXPECT_EQ(commonFires, 1);
    loop.runOnce(RunLoopMode::Default, Duration::zero());
    EXPECT_EQ(defaultFires, 1);
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST_F(RunLoopTest, OneShotHandlerMayRescheduleAndRepeatingTimerDoesNotBurst) {
    int oneShot = 0;
    std::function<void()> rearm = [&] {
        ++oneShot;
        if (oneShot < 3) loop.scheduleTimer(1h, false, rearm);
    };
    loop.scheduleTimer(1h, false, rearm);
    loop.advanceBy(5h);
    EXPECT_EQ(oneShot, 3);

    int repeats = 0;
    auto id = loop.scheduleTimer(1min, true, [&] { ++repeats; });
    clock->advance(10min);  // late by nine intervals
    loop.runPending();
    EXPECT_EQ(repeats, 1);
    EXPECT_EQ(*loop.fireDate(id), loop.now() + 1min);
    loop.advanceBy(2min);
    EXPECT_EQ(repeats, 3);
    loop.invalidateTimer(id);
    EXPECT_FALSE(loop.isTimerValid(id));
}

TEST_F(RunLoopTest, RunUntilJumpsToTheNextTimerAndReportsAStall) {
    bool fired = false;
    auto start = loop.now();
    loop.scheduleTimer(12h, false, [&] { fired = true; });
    loop.runUntil(RunLoopMode::Default, [&] { return fired; });
    EXPECT_EQ(loop.now() - start, Duration(12h));
    EXPECT_THROW(loop.runUntil(RunLoopMode::Default, [] { return false; }), RunLoopStalled);
}
