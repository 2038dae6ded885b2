#pragma once

// SignalSource: POSIX signals delivered as run-loop events. The signal handler itself only
// writes the signal's number to a pipe (all it may safely do); the run loop reads the pipe and
// calls the handler registered for that signal on the main thread, where it may draw, save and
// quit like any other event. Signals that arrive while the main thread is busy are not lost:
// each delivery is one byte, read on the next pass.
//
// One source may exist at a time (the handler writes to a single pipe). Destroying it puts back
// the dispositions it found.
//
// Emergency exit. Once armed, a further delivery of one of the armed signals -- or the deadline
// passing (SIGALRM) -- writes the armed message to standard error and ends the process at once
// with the armed status, from the handler itself: the way out when the main thread is stuck
// (a save waiting on a locked database, say) and the person or the system insists.

#include <signal.h>

#include <chrono>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "platform/runtime/RunLoop.h"

namespace platform {

class SignalSource : public RunLoopSource {
public:
    SignalSource();
    ~SignalSource() override;
    SignalSource(const SignalSource&) = delete;
    SignalSource& operator=(const SignalSource&) = delete;

    // Catches `signo` from now on and calls `handler` on the main thread for each delivery.
    void handle(int signo, std::function<void()> handler);
    // Puts back the disposition `signo` had before handle().
    void release(int signo);
    // Reads the pipe in every run-loop mode (a dialog waiting for an answer still hears them).
    void start();
    void stop();

    void armEmergencyExit(std::vector<int> signals, const std::string& message, int status,
                          std::chrono::seconds deadline);
    void disarmEmergencyExit();

    // How many times `signo` has arrived while a SignalSource handled it (ever, in this
    // process): a wait that blocks the main thread compares it with its value at the start to
    // hear Ctrl-C without the run loop.
    static uint64_t deliveries(int signo);

    // Stops the process as the terminal's suspend key would (SIGTSTP with its default action),
    // returning once it is continued. For a handler of SIGTSTP that has put the terminal right.
    static void stopProcess();

    // RunLoopSource
    void collectPollFds(std::vector<pollfd>& fds) override;
    void perform(std::span<const pollfd> polled) override;

private:
    struct Entry {
        std::function<void()> handler;
        struct sigaction previous;
    };
    int m_readFd = -1;
    int m_writeFd = -1;
    bool m_started = false;
    bool m_alarmArmed = false;
    struct sigaction m_previousAlarm {};
    std::map<int, Entry> m_entries;
};

}  // namespace platform
