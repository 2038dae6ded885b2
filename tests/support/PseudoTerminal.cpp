#include "tests/support/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace testsupport {

PseudoTerminal::PseudoTerminal(Options options) {
    if (options.argv.empty()) throw std::invalid_argument("PseudoTerminal needs a program to run");
    winsize size{};
    size.ws_col = options.columns;
    size.ws_row = options.rows;
    // Prepared before fork: the child only calls what is safe between fork and exec.
    std::vector<char*> args;
    for (auto& a : options.argv) args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        std::string entry(*e);
        std::string name = entry.substr(0, entry.find('='));
        if (!options.environment.count(name) && name != "COLUMNS" && name != "LINES")
            environment.push_back(entry);
    }
    for (const auto& [name, value] : options.environment) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    m_pid = ::forkpty(&m_master, nullptr, nullptr, &size);
    if (m_pid < 0) throw std::runtime_error(std::string("forkpty failed: ") + std::strerror(errno));
    if (m_pid == 0) {
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal() {
    if (!m_exited) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    ::close(m_master);
}

void PseudoTerminal::send(std::string_view keys) {
    while (!keys.empty()) {
        ssize_t n = ::write(m_master, keys.data(), keys.size());
        if (n > 0) {
            keys.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pump(std::chrono::milliseconds(50));  // the program is busy: take its output meanwhile
        } else {
            return;
        }
    }
}

void PseudoTerminal::signal(int signo) {
    if (!m_exited) ::kill(m_pid, signo);
}

void PseudoTerminal::resize(unsigned short columns, unsigned short rows) {
    winsize size{};
    size.ws_col = columns;
    size.ws_row = rows;
    ::ioctl(m_master, TIOCSWINSZ, &size);  // the kernel tells the program with SIGWINCH
}

bool PseudoTerminal::pump(std::chrono::milliseconds wait) {
    pollfd fd{m_master, POLLIN, 0};
    int ready = ::poll(&fd, 1, static_cast<int>(wait.count()));
    if (ready <= 0) return ready == 0 || errno == EINTR;
    char buffer[8192];
    ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n <= 0) return false;  // EIO: every descriptor of the program's side is closed
    for (ssize_t i = 0; i < n; ++i)
        if (buffer[i] != '\r') m_output += buffer[i];
    return true;
}

std::string PseudoTerminal::output() const {
    return m_output;
}

std::string PseudoTerminal::sinceMark() const {
    return m_output.substr(std::min(m_mark, m_output.size()));
}

void PseudoTerminal::mark() {
    pump(std::chrono::milliseconds(0));
    m_mark = m_output.size();
}

bool PseudoTerminal::waitFor(std::string_view text, std::chrono::milliseconds deadline) {
    auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (m_output.find(text, m_mark) != std::string::npos) return true;
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (!pump(std::min(left, std::chrono::milliseconds(100))) &&
            m_output.find(text, m_mark) == std::string::npos)
            return false;
    }
}

bool PseudoTerminal::waitForPrompt(std::string_view text, std::chrono::milliseconds deadline) {
    auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        size_t at = m_output.find(text, m_mark);
        if (at != std::string::npos && m_output.size() >= at + text.size() + 2 && m_output.ends_with("> "))
            return true;
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        if (!pump(std::min(left, std::chrono::milliseconds(100)))) return false;
    }
}

std::optional<int> PseudoTerminal::waitForExit(std::chrono::milliseconds deadline) {
    if (m_exited) return m_exitStatus;
    auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_exited = true;
            for (;;) {  // what it wrote last is still in the terminal
                pollfd fd{m_master, POLLIN, 0};
                if (::poll(&fd, 1, 0) <= 0 || !(fd.revents & POLLIN) || !pump(std::chrono::milliseconds(0)))
                    break;
            }
            if (WIFEXITED(status)) m_exitStatus = WEXITSTATUS(status);
            return m_exitStatus;
        }
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        // Reading keeps the program from blocking on a full terminal; a closed side means the
        // exit is near, so the wait goes on with waitpid alone.
        if (!pump(std::min(left, std::chrono::milliseconds(50)))) {
            pollfd none{-1, 0, 0};
            ::poll(&none, 1, 20);
        }
    }
}

}  // namespace testsupport
