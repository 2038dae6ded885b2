#pragma once

// KOPAHelper: how the framework finds its way into the running host -- its current document,
// main window, the database context behind that window, the settings store and the signed-in
// user -- and the framework's own texts. Every answer is derived afresh from the host's state
// on each call; nothing is cached. "The current database" means objectContext() everywhere.

#include <memory>
#include <string>

class DLMainWindowController;
class DLPObjectContext;
class GWUser;
class MCUserDefaults;

namespace platform {
class Bundle;
class Document;
class Window;
}  // namespace platform

class KOPAHelper {
public:
    // The framework string table "VEXAFramework" of the plug-in's own bundle; a missing key
    // gives the key itself.
    static std::string VEXAlocalizeString(const std::string& key);
    // The bundle this code was loaded from (the plug-in bundle), or none when it cannot be found.
    static std::shared_ptr<platform::Bundle> frameworkBundle();

    static std::shared_ptr<DLMainWindowController> activeMainWindowController();
    static std::shared_ptr<platform::Window> activeMainWindow();
    static std::shared_ptr<platform::Document> mainDocument();
    static std::shared_ptr<DLPObjectContext> objectContext();
    // Shares ownership of the context, so it stays valid however long the caller keeps it.
    static std::shared_ptr<MCUserDefaults> mcUserDefaults();
    static std::shared_ptr<GWUser> activeUser();
};
