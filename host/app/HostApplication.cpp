#include "host/app/HostApplication.h"

#include <dlfcn.h>
#include <fmt/format.h>

#include <algorithm>
#include <csignal>

#include "host/app/DLDocument.h"
#include "host/app/DLLoginController.h"
#include "host/app/DLMainWindow.h"
#include "host/app/MCMenuManager.h"
#include "host/app/UserDirectory.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/runtime/RunLoop.h"
#include "platform/runtime/SignalSource.h"
#include "platform/ui/Application.h"

namespace host {

namespace {
std::weak_ptr<HostApplication>& currentHost() {
    static std::weak_ptr<HostApplication> host;
    return host;
}
// Set while quit saves, so a failure says that quitting was stopped (and why).
bool g_savingToQuit = false;
}  // namespace

std::shared_ptr<HostApplication> HostApplication::create(Options options) {
    std::shared_ptr<HostApplication> app(new HostApplication());
    app->m_options = std::move(options);
    if (auto bundle = platform::Bundle::open(app->m_options.hostBundle)) {
        platform::Bundle::setMainBundle(bundle.value());
    } else {
        platform::Log::write(bundle.status().message());
    }
    app->buildMenuBar();
    registerDefaults(platform::UserDefaults::standard());
    currentHost() = app;
    return app;
}

std::shared_ptr<HostApplication> HostApplication::current() {
    return currentHost().lock();
}

platform::Dictionary HostApplication::registeredDefaults() {
    // The classes whose objects the host shows: form templates in the main window, contacts.
    platform::Array entries;
    for (const char* className : {"CustomRecordSetDefinition", "GWContact"})
        entries.push_back(platform::Dictionary{{"Classname", className}, {"MenuItems", platform::Array{}}});
    return platform::Dictionary{
        {MCMenuManager::kContextualMenuConfigurationKey, platform::Value(std::move(entries))}};
}

void HostApplication::registerDefaults(platform::UserDefaults& defaults) {
    defaults.registerDefaults(registeredDefaults());
}

void HostApplication::buildMenuBar() {
    auto bar = std::make_shared<platform::Menu>("Main Menu");
    auto self = sharedAs<HostApplication>();

    auto appMenu = std::make_shared<platform::Menu>("Zandrel Host");
    appMenu->addItemWithTitle("Quit", "terminate:", "q")->setTarget(self);
    auto appItem = bar->addItemWithTitle("Zandrel Host", "", "");
    appItem->setSubmenu(appMenu);

    auto fileMenu = std::make_shared<platform::Menu>("File");
    fileMenu->addItemWithTitle("Save", "save:", "s")->setTarget(self);
    fileMenu->addItemWithTitle("Sign Off", "signOff:", "")->setTarget(self);
    bar->addItemWithTitle("File", "", "")->setSubmenu(fileMenu);

    m_pluginsMenu = std::make_shared<platform::Menu>("Plug-ins");
    bar->addItemWithTitle("Plug-ins", "", "")->setSubmenu(m_pluginsMenu);
    platform::Application::shared().setMainMenu(bar);
}

platform::Status HostApplication::openDatabase() {
    const std::string address = m_options.database.string();
    host::StoreFactory::Options options;
    // Ctrl-C stops a wait for the server (the run loop, which would hear it, waits too).
    options.interrupts = m_options.databaseInterrupts ? m_options.databaseInterrupts : [] {
        return platform::SignalSource::deliveries(SIGINT);
    };
    auto db = host::StoreFactory::open(address, options);
    if (!db) return db.status();
    m_database = db.value();
    // A server's database by its name, a file by its own.
    m_databaseName = host::StoreFactory::isServerAddress(address) ? m_database->displayName()
                                                                  : m_options.database.filename().string();
    return platform::Status::ok();
}

void HostApplication::openDatabase(std::shared_ptr<host::Store> store, std::string name) {
    m_database = std::move(store);
    m_databaseName = std::move(name);
}

platform::Status HostApplication::loadPlugins() {
    std::error_code ec;
    if (!std::filesystem::is_directory(m_options.pluginsDirectory, ec))
        return platform::Status::error(fmt::format("plug-in folder {} does not exist; pass --plugins DIR",
                                                   m_options.pluginsDirectory.string()));
    std::vector<std::filesystem::path> bundles;
    for (const auto& entry : std::filesystem::directory_iterator(m_options.pluginsDirectory, ec))
        if (entry.path().extension() == ".plugin") bundles.push_back(entry.path());
    std::sort(bundles.begin(), bundles.end());
    for (const auto& path : bundles) {
        // One broken plug-in must not keep the others (or the host) from starting.
        if (auto status = loadPluginBundle(path); !status) platform::Log::write(status.message());
    }
    return platform::Status::ok();
}

platform::Status HostApplication::loadPluginBundle(const std::filesystem::path& bundlePath) {
    auto bundle = platform::Bundle::open(bundlePath);
    if (!bundle) return bundle.status();
    auto executable = bundle.value()->executablePath();
    if (!executable)
        return platform::Status::error(
            fmt::format("plug-in {}: Info.json names no CFBundleExecutable", bundlePath.string()));
    void* library = dlopen(executable->c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!library)
        return platform::Status::error(fmt::format("plug-in {}: cannot load {}: {}", bundlePath.string(),
                                                   executable->string(), dlerror()));
    m_libraries.push_back(library);  // never unloaded: the plug-in lives as long as the process
    std::string principal = bundle.value()->infoDictionary().value("NSPrincipalClass", std::string_view{});
    auto cls = platform::ClassRegistry::shared().classNamed(principal);
    if (!cls || !cls->canCreate())
        return platform::Status::error(fmt::format("plug-in {}: principal class \"{}\" not found in {}",
                                                   bundlePath.string(), principal, executable->string()));
    DLPluginObject::setBundleBeingLoaded(bundle.value());
    platform::ObjectPtr object;
    try {
        object = cls->create();
    } catch (const std::exception& e) {
        // A plug-in whose start failed (a broken resource of its own) is left out; the host
        // and the other plug-ins carry on.
        DLPluginObject::setBundleBeingLoaded(nullptr);
        return platform::Status::error(
            fmt::format("plug-in {} is disabled: it could not start: {}", bundlePath.string(), e.what()));
    }
    DLPluginObject::setBundleBeingLoaded(nullptr);
    auto plugin = std::dynamic_pointer_cast<DLPluginObject>(object);
    if (!plugin)
        return platform::Status::error(fmt::format("plug-in {}: principal class \"{}\" did not initialise",
                                                   bundlePath.string(), principal));
    m_plugins.push_back(plugin);
    plugin->addSubmenusForPluginsMenu(*m_pluginsMenu);
    return platform::Status::ok();
}

std::vector<std::string> HostApplication::signInNames() const {
    if (!m_database) return {};
    auto users = host::UserDirectory::activeSignInNames(m_database);
    return users ? users.value() : std::vector<std::string>{};
}

void HostApplication::showLoginWindow() {
    if (!m_login) {
        std::weak_ptr<HostApplication> weak = sharedAs<HostApplication>();
        m_login = DLLoginController::make(signInNames(), [weak](const std::string& name) {
            if (auto app = weak.lock()) {
                if (auto status = app->signIn(name); !status)
                    platform::Application::shared().runAlertPanel(
                        {"Sign In", status.message(), "OK", "", "", false});
            }
        });
    }
    m_login->showWindow();
}

platform::Status HostApplication::signIn(const std::string& signInName) {
    if (m_document) return platform::Status::error("a user is already signed in; sign off first");
    if (!m_database) return platform::Status::error("no database is open");
    auto context = DLPObjectContext::signIn(m_database, signInName);
    if (!context) return context.status();
    m_document = std::make_shared<DLDocument>(context.value());
    m_document->setDisplayName(m_databaseName);
    m_mainController = DLMainWindowController::make(fmt::format("{} - {}", m_databaseName, signInName));
    m_document->addWindowController(m_mainController);
    platform::Application::shared().addDocument(m_document);
    if (m_login && m_login->isWindowLoaded()) m_login->window()->orderOut();
    // Becoming key reads the templates (DLMainWindowController refreshes then).
    m_mainController->showWindow();
    return platform::Status::ok();
}

platform::Status HostApplication::signOff() {
    if (!m_document) return platform::Status::error("nobody is signed in");
    // Stored first, while the user is still signed in: if it fails, nothing about the session
    // changes and the user can deal with it (the changes stay pending).
    if (platform::Status saved = saveChanges(); !saved) return saved;
    showLoginWindow();  // becomes main: plug-ins hear of the sign-off and close their dialogs
    if (platform::Status saved = saveChanges(); !saved) {
        // Something a closing dialog changed could not be stored: back to the signed-in window.
        m_mainController->showWindow();
        return saved;
    }
    if (m_mainController && m_mainController->isWindowLoaded()) m_mainController->window()->close();
    platform::Application::shared().removeDocument(m_document.get());
    m_document.reset();
    m_mainController.reset();
    m_failedSaveGeneration.reset();
    showLoginWindow();
    return platform::Status::ok();
}

platform::Status HostApplication::saveChangesAfterCommand() {
    auto context = m_document ? m_document->objectContext() : nullptr;
    // After a failed save, retry only once a command has changed something: the same failure
    // again after every keystroke would bury the user in alerts. Save and quit always retry.
    if (context && m_failedSaveGeneration && *m_failedSaveGeneration == context->changeGeneration())
        return platform::Status::error("the last save failed and nothing has changed since");
    return saveChanges();
}

platform::Status HostApplication::saveChanges() {
    if (!m_document || !m_document->objectContext()) return platform::Status::ok();
    auto& context = *m_document->objectContext();
    if (!context.hasChanges() && !m_failedSaveGeneration) return platform::Status::ok();
    platform::Status status = context.saveChanges();
    // Shown afresh after every save, done or not, so the list also shows what other hosts stored.
    if (m_mainController) m_mainController->refresh();
    if (status) {
        if (m_failedSaveGeneration)
            platform::Log::format("The kept changes are saved to {}", m_database->displayName());
        m_failedSaveGeneration.reset();
        cancelSaveRetry();
        return status;
    }
    const bool alreadyReported = m_failedSaveGeneration.has_value();
    m_failedSaveGeneration = context.changeGeneration();
    platform::Log::format("Saving {} failed: {}", m_database->displayName(), status.message());
    // A database that cannot be reached may answer again (a restarted or failed-over server):
    // the host tries again by itself and says so once, rather than at every try.
    const bool unreachable = status.code() == platform::Status::Code::Unavailable ||
                             status.code() == platform::Status::Code::Unknown;
    if (unreachable) scheduleSaveRetry();
    if (unreachable && alreadyReported && !g_savingToQuit) return status;
    std::string kept = unreachable
                           ? fmt::format(
                                 "Your changes are kept. The host tries to save them again by itself "
                                 "every {} seconds or less and when you quit",
                                 std::chrono::duration_cast<std::chrono::seconds>(kMaxSaveRetry).count())
                           : "They are kept and will be saved with the next change or at quit";
    if (status.code() == platform::Status::Code::Unknown)
        kept =
            "The database did not confirm whether the last save was stored; the host asks it when it "
            "answers again and saves what is missing, never twice. " +
            kept;
    if (g_savingToQuit)
        platform::Application::shared().runAlertPanel(
            {"The changes could not be saved, so the host did not quit",
             fmt::format("{}\n\nQuitting was stopped so they are not lost. They are kept and will be "
                         "saved with the next change, on File > Save, or when you quit again.",
                         status.message()),
             "OK", "", "", false});
    else
        platform::Application::shared().runAlertPanel(
            {unreachable ? "The database cannot be reached" : "The changes could not be saved",
             fmt::format("{}\n\n{}.", status.message(), kept), "OK", "", "", false});
    return status;
}

void HostApplication::scheduleSaveRetry() {
    auto& loop = platform::RunLoop::main();
    if (m_saveRetryTimer && loop.isTimerValid(*m_saveRetryTimer)) return;
    // Back-off: 2, 4, 8 ... seconds, at most kMaxSaveRetry, so a server that is down for long
    // is not hammered and one that is back soon is used soon.
    m_saveRetryDelay =
        m_saveRetryDelay.count() == 0 ? kFirstSaveRetry : std::min(m_saveRetryDelay * 2, kMaxSaveRetry);
    std::weak_ptr<HostApplication> weak = std::static_pointer_cast<HostApplication>(shared_from_this());
    m_saveRetryTimer = loop.scheduleTimer(m_saveRetryDelay, false, [weak] {
        if (auto app = weak.lock()) {
            app->m_saveRetryTimer.reset();
            if (app->m_failedSaveGeneration) (void)app->saveChanges();
        }
    });
}

void HostApplication::cancelSaveRetry() {
    if (m_saveRetryTimer) platform::RunLoop::main().invalidateTimer(*m_saveRetryTimer);
    m_saveRetryTimer.reset();
    m_saveRetryDelay = platform::Duration::zero();
}

void HostApplication::terminate() {
    struct SavingToQuit {
        SavingToQuit() { g_savingToQuit = true; }
        ~SavingToQuit() { g_savingToQuit = false; }
    } savingToQuit;
    if (saveChanges()) m_quitRequested = true;
}

bool HostApplication::respondsToAction(const std::string& action) const {
    return action == "terminate:" || action == "signOff:" || action == "save:";
}

bool HostApplication::performAction(const std::string& action, platform::Object*) {
    if (action == "terminate:") {
        terminate();
    } else if (action == "signOff:") {
        // A failed save has been reported by saveChanges itself; other refusals are said here.
        if (auto status = signOff(); !status && !m_failedSaveGeneration)
            platform::Application::shared().runAlertPanel(
                {"Sign Off", status.message(), "OK", "", "", false});
    } else if (action == "save:") {
        (void)saveChanges();
    } else {
        return false;
    }
    return true;
}

}  // namespace host
