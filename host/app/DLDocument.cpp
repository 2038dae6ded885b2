#include "host/app/DLDocument.h"

#include "host/app/DLMainWindow.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Application.h"

ZANDREL_REGISTER_CLASS(DLDocument)

std::shared_ptr<DLMainWindowController> DLDocument::firstOrderedMainWindowController() const {
    std::shared_ptr<DLMainWindowController> hidden;
    for (const auto& window : platform::Application::shared().windows()) {
        for (const auto& controller : windowControllers()) {
            auto main = std::dynamic_pointer_cast<DLMainWindowController>(controller);
            if (main && main->isWindowLoaded() && main->window() == window) return main;
        }
    }
    for (const auto& controller : windowControllers())
        if (auto main = std::dynamic_pointer_cast<DLMainWindowController>(controller); main && !hidden)
            hidden = main;
    return hidden;
}

std::shared_ptr<platform::Document> mcFirstDocumentWithKindOfClass(const platform::Application& application,
                                                                   const platform::Class* cls) {
    if (!cls) return nullptr;
    for (const auto& document : application.documents())
        if (cls->isInstance(document.get())) return document;
    return nullptr;
}
