#pragma once

// DLDocument: an open host database for the signed-in user. It holds the user's object context
// and the main window controllers that show it.

#include <memory>

#include "platform/ui/Document.h"

class DLPObjectContext;
class DLMainWindowController;

class DLDocument : public platform::Document {
public:
    explicit DLDocument(std::shared_ptr<DLPObjectContext> context = nullptr)
        : m_context(std::move(context)) {}

    const std::shared_ptr<DLPObjectContext>& objectContext() const { return m_context; }
    // The main window controller whose window is frontmost among the application's windows;
    // a controller whose window is not shown comes after those that are. None without any.
    std::shared_ptr<DLMainWindowController> firstOrderedMainWindowController() const;

private:
    std::shared_ptr<DLPObjectContext> m_context;
};

namespace platform {
class Application;
class Class;
}  // namespace platform

// The host's addition to the application object: its first open document whose class is, or
// derives from, `cls`; none when there is none or `cls` is none.
std::shared_ptr<platform::Document> mcFirstDocumentWithKindOfClass(const platform::Application& application,
                                                                   const platform::Class* cls);
