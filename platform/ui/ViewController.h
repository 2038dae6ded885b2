#pragma once

// ViewController: an object that manages one view, given to views that show "a controller's
// view" (a container's content).

#include <memory>

#include "platform/foundation/Object.h"
#include "platform/ui/View.h"

namespace platform {

class ViewController : public Object {
public:
    ViewController() = default;
    explicit ViewController(std::shared_ptr<View> view) : m_view(std::move(view)) {}

    const std::shared_ptr<View>& view() const { return m_view; }
    void setView(std::shared_ptr<View> view) { m_view = std::move(view); }

private:
    std::shared_ptr<View> m_view;
};

}  // namespace platform
