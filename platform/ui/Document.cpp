#include "platform/ui/Document.h"

#include <algorithm>

#include "platform/ui/WindowController.h"

namespace platform {

void Document::addWindowController(const std::shared_ptr<WindowController>& controller) {
    if (std::find(m_windowControllers.begin(), m_windowControllers.end(), controller) ==
        m_windowControllers.end()) {
        m_windowControllers.push_back(controller);
        controller->setDocument(sharedAs<Document>());
    }
}

void Document::removeWindowController(const WindowController* controller) {
    std::erase_if(m_windowControllers, [controller](const auto& c) { return c.get() == controller; });
}

}  // namespace platform
