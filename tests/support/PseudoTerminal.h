#pragma once

// PseudoTerminal: runs a program on a pseudo-terminal, as a person at a terminal would -- keys in
// (real byte sequences: arrows, Ctrl-letters, Tab), the screen's bytes out. Waits are bounded by
// a deadline and end as soon as the expected text has appeared; nothing sleeps a fixed time.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class PseudoTerminal {
public:
    struct Options {
        std::vector<std::string> argv;
        std::map<std::string, std::string> environment;  // set on top of the test's own
        unsigned short columns = 100;
        unsigned short rows = 40;
    };

    explicit PseudoTerminal(Options options);
    // Kills the program if it still runs.
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    pid_t pid() const { return m_pid; }
    void send(std::string_view keys);
    void signal(int signo);
    void resize(unsigned short columns, unsigned short rows);

    // Everything the program wrote, with the terminal's carriage returns left out.
    std::string output() const;
    // Output written after the last mark() (all of it before the first).
    std::string sinceMark() const;
    void mark();
    // Reads until `text` appears after the mark or `deadline` passes; true when it appeared.
    bool waitFor(std::string_view text, std::chrono::milliseconds deadline = std::chrono::seconds(15));
    // Reads until `text` has appeared after the mark and the screen ends in a prompt ("> ") after
    // it: the program has drawn everything and waits for keys.
    bool waitForPrompt(std::string_view text, std::chrono::milliseconds deadline = std::chrono::seconds(15));
    // Waits for the program to end (reading what it writes meanwhile): its exit status, or none
    // when it did not end by the deadline or ended on a signal.
    std::optional<int> waitForExit(std::chrono::milliseconds deadline = std::chrono::seconds(15));
    bool hasExited() const { return m_exited; }

private:
    // Reads what is there, waiting at most `wait`; false when the program's side has closed.
    bool pump(std::chrono::milliseconds wait);

    int m_master = -1;
    pid_t m_pid = -1;
    bool m_exited = false;
    std::optional<int> m_exitStatus;
    std::string m_output;
    size_t m_mark = 0;
};

}  // namespace testsupport
