#pragma once

// Document: an open document of the application, with the window controllers that show it.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"

namespace platform {

class WindowController;

class Document : public Object {
public:
    const std::string& displayName() const { return m_displayName; }
    void setDisplayName(std::string name) { m_displayName = std::move(name); }

    const std::vector<std::shared_ptr<WindowController>>& windowControllers() const {
        return m_windowControllers;
    }
    void addWindowController(const std::shared_ptr<WindowController>& controller);
    void removeWindowController(const WindowController* controller);

private:
    std::string m_displayName;
    std::vector<std::shared_ptr<WindowController>> m_windowControllers;
};

}  // namespace platform
