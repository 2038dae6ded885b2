#include "host/app/DLTabViewSlideoverContainer.h"

#include <stdexcept>

#include "host/app/DLTabView.h"

std::shared_ptr<DLTabViewSlideoverContainer> DLTabViewSlideoverContainer::pushTabViewSlideoverForHostView(
    const std::shared_ptr<platform::View>& hostView, const std::shared_ptr<platform::Object>& model,
    bool editing) {
    if (!hostView) throw std::invalid_argument("a slide-over needs a host view; pass the list's tab view");
    auto tabView = std::dynamic_pointer_cast<DLTabView>(hostView);
    if (!tabView)
        throw std::invalid_argument("a slide-over can only be pushed on a slide-over host, not on " +
                                    hostView->className());
    if (!model) throw std::invalid_argument("a slide-over needs the object it shows");
    auto slideover = std::make_shared<DLTabViewSlideoverContainer>(hostView, model, editing);
    tabView->addSlideover(slideover);
    return slideover;
}
