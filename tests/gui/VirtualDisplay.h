#pragma once

// VirtualDisplay: an Xvfb server with openbox as its window manager, for tests that open real
// windows. Xvfb picks a free display number itself (-displayfd), so parallel test runs do not
// collide. The environment is set as a desktop session sets it: DISPLAY, the accessibility bus
// switched off (GTK_A11Y=none, NO_AT_BRIDGE=1) since no session bus runs here, and drawing with
// cairo since no GPU is there (GDK_DEBUG=gl-disable, GSK_RENDERER=cairo).

#include <sys/types.h>

#include <string>

namespace testsupport {

class VirtualDisplay {
public:
    // Starts both; throws with what is missing when Xvfb cannot start.
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return m_name; }  // ":N"

private:
    pid_t m_xvfb = -1;
    pid_t m_windowManager = -1;
    std::string m_name;
};

}  // namespace testsupport
