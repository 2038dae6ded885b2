#pragma once

// HostApplication: the host program's application delegate. It opens the database file, loads
// the plug-in bundles, shows the login window, signs users in and off, keeps the menu bar (with
// the Plug-ins menu the plug-ins fill), and stores the signed-in user's unsaved changes.
//
// Sign-in opens a DLDocument on a new object context and shows its main window, which becomes
// main. Sign-off saves first (a failure leaves the user signed in, changes pending), then brings
// the login window back as main (plug-ins close their dialogs), then closes the document.
//
// Saving. The host saves after every completed user command and at sign-off and quit. A failed
// save is reported in an alert and in the log; the changes stay pending in the context, so the
// next save can still store them. When the database cannot be reached (a server restarting or
// failing over), the alert says so once and the host retries by itself with growing pauses
// (2 s up to 30 s) until a save goes through. The main window's list is read again after every
// save and whenever the window becomes key, so it shows what other hosts stored.
//
// Preferences. The host registers (in memory, see UserDefaults::registerDefaults) an empty
// contextual menu for each class of object it shows, so a plug-in has an entry to add its items
// to; the file holds the configuration only once a plug-in has changed it, and a stored one of
// any shape wins over the registered one and is never rewritten by the host.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/app/DLPluginObject.h"
#include "platform/foundation/Status.h"
#include "platform/runtime/Clock.h"
#include "platform/ui/ActionTarget.h"
#include "platform/ui/Menu.h"

class DLDocument;
class DLLoginController;
class DLMainWindowController;
namespace host {
class Store;
}
namespace platform {
class UserDefaults;
}

namespace host {

class HostApplication : public platform::Object, public platform::ActionTarget {
public:
    struct Options {
        std::filesystem::path database;
        std::filesystem::path pluginsDirectory;  // every *.plugin folder in it is loaded
        std::filesystem::path hostBundle;        // the host application's own bundle
        // Grows when the person asks to stop waiting for the database (see StoreFactory::Options);
        // by default the deliveries of SIGINT (Ctrl-C).
        std::function<uint64_t()> databaseInterrupts{};
    };

    // Builds the application: main bundle, menu bar. Nothing is opened yet.
    static std::shared_ptr<HostApplication> create(Options options);
    // The installed host, or none.
    static std::shared_ptr<HostApplication> current();
    // The host's registered preferences: "MCContextualMenuConfiguration" with a class entry
    // { "Classname", "MenuItems": [] } for each class the host shows. create() registers them
    // with the standard user defaults.
    static platform::Dictionary registeredDefaults();
    static void registerDefaults(platform::UserDefaults& defaults);

    platform::Status openDatabase();
    // Uses a store opened elsewhere (an embedding program, a test), shown under `name`.
    void openDatabase(std::shared_ptr<host::Store> store, std::string name);
    platform::Status loadPlugins();
    platform::Status loadPluginBundle(const std::filesystem::path& bundlePath);

    std::vector<std::string> signInNames() const;
    void showLoginWindow();
    platform::Status signIn(const std::string& signInName);
    platform::Status signOff();
    bool isSignedIn() const { return m_document != nullptr; }

    // Saves every open document's changes; on failure shows the error and keeps the changes.
    platform::Status saveChanges();
    // The save after a completed user command: like saveChanges, but after a failure it waits
    // for new changes before trying (and alerting) again.
    platform::Status saveChangesAfterCommand();
    // Saves, then asks the run loop owner to stop (see quitRequested).
    void terminate();
    bool quitRequested() const { return m_quitRequested; }

    const std::shared_ptr<DLDocument>& document() const { return m_document; }
    // The open database: a file or a server (see StoreFactory).
    const std::shared_ptr<host::Store>& database() const { return m_database; }
    const std::vector<std::shared_ptr<DLPluginObject>>& plugins() const { return m_plugins; }
    const std::shared_ptr<platform::Menu>& pluginsMenu() const { return m_pluginsMenu; }
    const Options& options() const { return m_options; }

    bool respondsToAction(const std::string& action) const override;
    bool performAction(const std::string& action, platform::Object* sender) override;

    static constexpr platform::Duration kFirstSaveRetry = std::chrono::seconds(2);
    static constexpr platform::Duration kMaxSaveRetry = std::chrono::seconds(30);

private:
    HostApplication() = default;
    void buildMenuBar();
    void scheduleSaveRetry();
    void cancelSaveRetry();

    Options m_options;
    std::shared_ptr<host::Store> m_database;
    std::string m_databaseName;  // for window titles
    std::vector<std::shared_ptr<DLPluginObject>> m_plugins;
    std::vector<void*> m_libraries;
    std::shared_ptr<platform::Menu> m_pluginsMenu;
    std::shared_ptr<DLLoginController> m_login;
    std::shared_ptr<DLDocument> m_document;
    std::shared_ptr<DLMainWindowController> m_mainController;
    bool m_quitRequested = false;
    std::optional<uint64_t> m_failedSaveGeneration;  // the context's generation at the last failed save
    std::optional<uint64_t> m_saveRetryTimer;
    platform::Duration m_saveRetryDelay = platform::Duration::zero();
};

}  // namespace host
