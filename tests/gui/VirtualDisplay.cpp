#include "tests/gui/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

namespace {

pid_t spawn(const std::vector<std::string>& argv, int keepFd) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    // Standard error stays: a display server that cannot start says why in the test's log.
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    (void)keepFd;
    ::execvp(args[0], args.data());
    ::_exit(127);
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace

VirtualDisplay::VirtualDisplay() {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("cannot make a pipe for Xvfb");
    m_xvfb = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten",
                    "tcp", "-noreset"},
                   fds[1]);
    ::close(fds[1]);
    // Xvfb writes the display number when it is ready to take clients.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline && number.find('\n') == std::string::npos) {
        if (::poll(&p, 1, 100) <= 0) continue;
        char buffer[32];
        ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (number.empty() || number.find('\n') == std::string::npos) {
        stop(m_xvfb);
        throw std::runtime_error("Xvfb did not start: install it with scripts/setup (package xvfb)");
    }
    number.erase(number.find('\n'));
    m_name = ":" + number;
    ::setenv("DISPLAY", m_name.c_str(), 1);
    ::setenv("GTK_A11Y", "none", 1);
    ::setenv("NO_AT_BRIDGE", "1", 1);
    ::unsetenv("WAYLAND_DISPLAY");
    // No GPU behind a virtual display: GTK draws with cairo instead of probing Mesa's software
    // GL (which says so on standard error and keeps driver state for the life of the process).
    ::setenv("GDK_DEBUG", "gl-disable", 1);
    ::setenv("GSK_RENDERER", "cairo", 1);
    // The hosts these tests start under the sanitizers: fontconfig's process-lifetime caches
    // are not leaks of ours.
    std::string lsan = std::getenv("LSAN_OPTIONS") ? std::getenv("LSAN_OPTIONS") : "";
    lsan += std::string(lsan.empty() ? "" : ":") + "suppressions=" ZANDREL_SOURCE_DIR
                                                   "/tests/gui/lsan-gtk.supp:print_suppressions=0";
    ::setenv("LSAN_OPTIONS", lsan.c_str(), 1);
    m_windowManager = spawn({"openbox", "--sm-disable"}, -1);
    // Windows mapped before the window manager runs are not given the focus: wait until it
    // answers for the desktops it manages.
    auto managed = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < managed) {
        pid_t probe = spawn({"sh", "-c", "exec xdotool get_num_desktops 2>/dev/null"}, -1);
        int status = 0;
        ::waitpid(probe, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

VirtualDisplay::~VirtualDisplay() {
    stop(m_windowManager);
    stop(m_xvfb);
}

}  // namespace testsupport
