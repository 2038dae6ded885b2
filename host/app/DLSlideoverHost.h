#pragma once

// DLSlideoverHost: the protocol of the host views a slide-over panel can be attached to (the tab
// views of the main window's lists and of the calendar). mcFirstEnclosingSlideoverHost is the
// host's addition to every view: the nearest such view, starting with the view itself.

#include <memory>

namespace platform {
class View;
}

class DLSlideoverHost {
public:
    virtual ~DLSlideoverHost() = default;
};

// The view itself or its nearest ancestor that is a slide-over host; none when there is none.
std::shared_ptr<platform::View> mcFirstEnclosingSlideoverHost(platform::View& view);
