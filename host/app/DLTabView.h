#pragma once

// DLTabView: the tab view of a list or of the calendar, and the view a slide-over panel is
// attached to. It remembers the panels pushed on it, the latest last.

#include <memory>
#include <vector>

#include "host/app/DLSlideoverHost.h"
#include "platform/ui/View.h"

class DLTabViewSlideoverContainer;

class DLTabView : public platform::View, public DLSlideoverHost {
public:
    using platform::View::View;
    std::string className() const override { return "DLTabView"; }

    const std::vector<std::shared_ptr<DLTabViewSlideoverContainer>>& slideovers() const {
        return m_slideovers;
    }
    void addSlideover(std::shared_ptr<DLTabViewSlideoverContainer> slideover) {
        m_slideovers.push_back(std::move(slideover));
    }

private:
    std::vector<std::shared_ptr<DLTabViewSlideoverContainer>> m_slideovers;
};
