#pragma once

// FrontEnd: what shows the headless UI model to someone and brings their answers back. The
// terminal front end draws on a terminal and reads commands; the test driver answers from a
// script. The application asks the installed front end to run alert panels and tells it when a
// window changed so it can redraw.

#include <string>

namespace platform {

class Window;

// NSRunAlertPanel's return values.
inline constexpr int kAlertDefaultReturn = 1;
inline constexpr int kAlertAlternateReturn = 0;
inline constexpr int kAlertOtherReturn = -1;

struct AlertRequest {
    std::string title;
    std::string message;  // shown literally: never a format
    std::string defaultButton;
    std::string alternateButton;  // empty: none
    std::string otherButton;      // empty: none
    bool informational = false;
};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // Shows an application-modal alert and returns when it is answered, with one of the
    // kAlert...Return values.
    virtual int runAlert(const AlertRequest& alert) = 0;
    // A window appeared, changed, was asked to display, or closed.
    virtual void windowChanged(Window& window) {}
    // Opens a URL for the user (the workspace's openURL); false when it cannot.
    virtual bool openURL(const std::string& url) { return false; }
};

}  // namespace platform
