#pragma once

// Workspace: opens addresses with the user's default handler (the workspace's openURL).
//
// Only a well-formed absolute URL is opened: a scheme, a colon and a non-empty rest, all of it
// printable ASCII that a URL may hold, so no spaces, control characters, quotes or angle
// brackets. Which schemes are fit to open is the caller's decision.
//
// How an address is opened, first that applies:
//   - a test opener, when one is installed;
//   - xdg-open, when a desktop session is present (DISPLAY or WAYLAND_DISPLAY set) and xdg-open
//     is on PATH. It is started directly, never through a shell, with the address as its one
//     argument and standard input on /dev/null; the main run loop reaps it without blocking and
//     logs a failing exit status;
//   - the application's front end (the terminal prints the address);
//   - without a front end, the line "Open this address in a web browser: URL" on standard output.
// Refusals and failures are logged with their reason.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/RunLoop.h"

namespace platform {

class Workspace {
public:
    using Opener = std::function<bool(const std::string& url)>;

    static constexpr size_t kLongestURL = 32 * 1024;

    static Workspace& shared();

    // True when the address was handed to something that shows it to the user.
    bool openURL(const std::string& url);

    // Why `url` may not be opened, or nullopt when it may.
    static std::optional<std::string> refusalReason(const std::string& url);

    // Replaces how addresses are opened (tests record them instead). Returns the previous
    // opener; an empty opener restores the normal way.
    Opener setOpenerForTesting(Opener opener);

    // xdg-open processes started and not yet reaped.
    size_t pendingChildCount() const { return m_children.size(); }

private:
    Workspace() = default;

    std::optional<bool> openOnDesktop(const std::string& url);
    void watchChild(pid_t pid, const std::string& url);
    void reapChildren();

    struct Child {
        pid_t pid;
        std::string url;
    };

    Opener m_opener;
    std::vector<Child> m_children;
    RunLoop::TimerId m_reaper = 0;
};

}  // namespace platform
