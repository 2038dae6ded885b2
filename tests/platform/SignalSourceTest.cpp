// Signals arrive as run-loop events on the main thread, one call per delivery; the emergency exit
// leaves at once when the main thread cannot.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/runtime/SignalSource.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

class SignalSourceTest : public testsupport::UiTest {};

TEST_F(SignalSourceTest, EachDeliveryRunsItsHandlerOnTheMainThreadInOrder) {
    SignalSource signals;
    std::vector<std::string> heard;
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMain = true;
    signals.handle(SIGUSR1, [&] {
        heard.push_back("usr1");
        onMain &= std::this_thread::get_id() == mainThread;
    });
    signals.handle(SIGUSR2, [&] { heard.push_back("usr2"); });
    signals.start();
    ::raise(SIGUSR1);
    ::raise(SIGUSR2);
    ::raise(SIGUSR1);
    EXPECT_TRUE(heard.empty()) << "handlers run from the loop, not from the signal handler";
    // Sent from another thread too: the handler still runs on the main thread.
    std::thread([] { ::kill(::getpid(), SIGUSR1); }).join();
    loop.runUntil(RunLoopMode::Default, [&] { return heard.size() == 4; });
    EXPECT_EQ(heard, (std::vector<std::string>{"usr1", "usr2", "usr1", "usr1"}));
    EXPECT_TRUE(onMain);
}

TEST_F(SignalSourceTest, HandlersAreHeardInAModalLoopToo) {
    SignalSource signals;
    int heard = 0;
    signals.handle(SIGUSR1, [&] { ++heard; });
    signals.start();
    ::raise(SIGUSR1);
    loop.runUntil(RunLoopMode::Modal, [&] { return heard == 1; });
    EXPECT_EQ(heard, 1);
}

TEST_F(SignalSourceTest, ReleaseAndDestructionPutBackWhatWasThere) {
    struct sigaction before {};
    ::sigaction(SIGUSR1, nullptr, &before);
    {
        SignalSource signals;
        signals.handle(SIGUSR1, [] {});
        struct sigaction during {};
        ::sigaction(SIGUSR1, nullptr, &during);
        EXPECT_NE(during.sa_handler, before.sa_handler);
        signals.release(SIGUSR1);
        struct sigaction after {};
        ::sigaction(SIGUSR1, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler);
        signals.handle(SIGUSR1, [] {});
    }
    struct sigaction destroyed {};
    ::sigaction(SIGUSR1, nullptr, &destroyed);
    EXPECT_EQ(destroyed.sa_handler, before.sa_handler);
}

TEST_F(SignalSourceTest, AReleasedSignalWaitingInThePipeIsDropped) {
    SignalSource signals;
    int heard = 0;
    bool released = false;
    signals.handle(SIGUSR1, [&] { ++heard; });
    signals.handle(SIGUSR2, [&] {
        signals.release(SIGUSR1);
        released = true;
    });
    signals.start();
    ::raise(SIGUSR2);
    ::raise(SIGUSR1);  // delivered while handled; its byte waits behind SIGUSR2's
    loop.runUntil(RunLoopMode::Default, [&] { return released; });
    for (int i = 0; i < 3; ++i) loop.runOnce(RunLoopMode::Default, Duration::zero());
    EXPECT_EQ(heard, 0);
}

TEST_F(SignalSourceTest, OnlyOneMayExistAtATimeAndSignalsItCannotTakeAreRefused) {
    SignalSource signals;
    EXPECT_THROW(SignalSource second, std::logic_error);
    EXPECT_THROW(signals.handle(SIGALRM, [] {}), std::invalid_argument);
    EXPECT_THROW(signals.handle(0, [] {}), std::invalid_argument);
    EXPECT_THROW(signals.handle(200, [] {}), std::invalid_argument);
}

TEST_F(SignalSourceTest, ManyDeliveriesBeforeTheLoopRunsNeitherBlockNorCrash) {
    SignalSource signals;
    int heard = 0;
    signals.handle(SIGUSR1, [&] { ++heard; });
    signals.start();
    for (int i = 0; i < 100000; ++i) ::raise(SIGUSR1);  // far more than the pipe holds
    loop.runUntil(RunLoopMode::Default, [&] { return heard > 0; });
    for (int i = 0; i < 100; ++i) loop.runOnce(RunLoopMode::Default, Duration::zero());
    EXPECT_GT(heard, 1000);
    EXPECT_LE(heard, 100000);
}

// Runs `body` in a child process and returns its exit status and what it wrote on stderr.
std::pair<int, std::string> inChild(const std::function<void()>& body) {
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 2);
        ::close(pipeFds[0]);
        body();
        ::_exit(77);
    }
    ::close(pipeFds[1]);
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST_F(SignalSourceTest, AnArmedSignalEndsTheProcessAtOnceWithTheMessage) {
    auto [status, err] = inChild([] {
        SignalSource signals;
        signals.handle(SIGTERM, [] {});
        signals.armEmergencyExit({SIGTERM}, "lost: the last copy\n", 9, std::chrono::seconds(0));
        ::raise(SIGTERM);  // the main thread never gets back to the loop
        ::_exit(3);
    });
    EXPECT_EQ(status, 9);
    EXPECT_EQ(err, "lost: the last copy\n");
}

TEST_F(SignalSourceTest, TheDeadlineEndsAProcessStuckOnTheMainThread) {
    auto [status, err] = inChild([] {
        SignalSource signals;
        signals.armEmergencyExit({}, "deadline passed\n", 5, std::chrono::seconds(1));
        for (;;) ::pause();  // stuck: no loop runs
    });
    EXPECT_EQ(status, 5);
    EXPECT_EQ(err, "deadline passed\n");
}

TEST_F(SignalSourceTest, DisarmedTheSignalIsAnEventAgain) {
    auto [status, err] = inChild([] {
        SignalSource signals;
        int heard = 0;
        signals.handle(SIGTERM, [&] { ++heard; });
        signals.start();
        signals.armEmergencyExit({SIGTERM}, "should not be said\n", 9, std::chrono::seconds(1));
        signals.disarmEmergencyExit();
        ::raise(SIGTERM);
        RunLoop::main().runUntil(RunLoopMode::Default, [&] { return heard == 1; });
        ::alarm(0);
        ::_exit(heard == 1 ? 0 : 4);
    });
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err, "");
}

}  // namespace
