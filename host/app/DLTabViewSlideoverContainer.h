#pragma once

// DLTabViewSlideoverContainer: a slide-over panel showing one database object over a host view
// (a DLTabView), for reading or for editing. Pushing attaches a new panel to the host view and
// returns it.
//
// Pushing with no host view, or with a view that is no slide-over host, or with no object, is
// a programming error of the caller and throws std::invalid_argument, as the host raises an
// exception in such a case.

#include <memory>

#include "platform/foundation/Object.h"

class DLPObject;
namespace platform {
class View;
}

class DLTabViewSlideoverContainer : public platform::Object {
public:
    static std::shared_ptr<DLTabViewSlideoverContainer> pushTabViewSlideoverForHostView(
        const std::shared_ptr<platform::View>& hostView, const std::shared_ptr<platform::Object>& model,
        bool editing);

    std::string className() const override { return "DLTabViewSlideoverContainer"; }
    std::shared_ptr<platform::View> hostView() const { return m_hostView.lock(); }
    const std::shared_ptr<platform::Object>& model() const { return m_model; }
    bool isEditing() const { return m_editing; }

    DLTabViewSlideoverContainer(const std::shared_ptr<platform::View>& hostView,
                                std::shared_ptr<platform::Object> model, bool editing)
        : m_hostView(hostView), m_model(std::move(model)), m_editing(editing) {}

private:
    std::weak_ptr<platform::View> m_hostView;
    std::shared_ptr<platform::Object> m_model;
    bool m_editing;
};
