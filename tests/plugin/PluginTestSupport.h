#pragma once

// Fixtures for the plug-in tests: a clean "process" per case (run loop on a virtual clock,
// application, plug-in state, session registry), the process log captured, a scripted front end,
// notification recording, and a real host on a real SQLite file with the real plug-in bundle.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes/VEXADialogController.h"
#include "framework/Classes/VEXAPlugin.h"
#include "framework/Classes/VEXAPluginSession.h"
#include "host/app/DLDocument.h"
#include "host/app/DLMainWindow.h"
#include "host/app/HostApplication.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/DemoDatabase.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/TextField.h"
#include "tests/support/TempDir.h"
#include "tests/support/UiTestSupport.h"

namespace plugintest {

// Captures the process log for the life of the object. `onLine` runs after each line is kept.
class LogCapture {
public:
    LogCapture() {
        m_previous = platform::Log::setSink([this](std::string_view text) {
            lines.emplace_back(text);
            if (onLine) onLine(lines.back());
        });
    }
    ~LogCapture() { platform::Log::setSink(std::move(m_previous)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines;
    std::function<void(const std::string&)> onLine;

private:
    platform::Log::Sink m_previous;
};

// Records the names of the notifications it is told to watch, in delivery order, into a shared
// event list (so tests can interleave them with other events).
class NotificationRecorder {
public:
    NotificationRecorder(std::vector<std::string>& events, std::vector<std::string> names) {
        auto& center = platform::NotificationCenter::defaultCenter();
        for (const auto& name : names)
            m_tokens.push_back(
                center.addObserver(name, nullptr, [&events, this](const platform::Notification& n) {
                    events.push_back(n.name);
                    senders.push_back(n.object);
                }));
    }
    ~NotificationRecorder() {
        for (auto token : m_tokens) platform::NotificationCenter::defaultCenter().removeObserver(token);
    }
    NotificationRecorder(const NotificationRecorder&) = delete;
    NotificationRecorder& operator=(const NotificationRecorder&) = delete;

    std::vector<platform::ObjectPtr> senders;

private:
    std::vector<platform::NotificationCenter::Token> m_tokens;
};

// Writes a host application bundle (its Info.json) into `folder`; no version leaves the key out.
inline std::filesystem::path writeHostBundle(const std::filesystem::path& folder,
                                             std::optional<std::string> version) {
    std::filesystem::create_directories(folder);
    std::string info = R"({ "CFBundleIdentifier": "com.zandrel.host.test", "CFBundleName": "Test Host")";
    if (version) info += R"(, "CFBundleShortVersionString": ")" + *version + "\"";
    info += " }";
    std::ofstream(folder / "Info.json") << info;
    return folder;
}

// Forgets every registered session object without disposing of it.
inline void dropSessionObjects() {
    auto session = KOPAPluginSession::sharedPluginSession();
    for (const auto& object : session->sessionObjects()) session->unregisterSessionObject(object.get());
}

// A host document opened by hand (as a second database window would be): the document with
// `context` (none: a document without a database) and its main window, added to the
// application's documents but not shown.
struct OpenDocument {
    std::shared_ptr<DLDocument> document;
    std::shared_ptr<DLMainWindowController> controller;

    static OpenDocument add(std::shared_ptr<DLPObjectContext> context, const std::string& title) {
        OpenDocument opened;
        opened.document = std::make_shared<DLDocument>(std::move(context));
        opened.controller = DLMainWindowController::make(title);
        opened.document->addWindowController(opened.controller);
        platform::Application::shared().addDocument(opened.document);
        return opened;
    }
    std::shared_ptr<platform::Window> window() const { return controller->window(); }
};

// A bundle holding the description of a small test dialog: a text field, a button tagged 2 and
// an untagged one, both sending closeWithTagOfSenderAsResult: to the controller.
inline std::shared_ptr<platform::Bundle> writeDialogBundle(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder / "Resources");
    std::ofstream(folder / "Info.json") << R"({ "CFBundleIdentifier": "com.zandrel.tests.dialogs" })";
    std::ofstream(folder / "Resources" / "TestDialog.window.json") << R"({
      "window": { "title": "Test Dialog", "width": 300, "height": 120, "closable": true },
      "views": [
        { "class": "TextField", "id": "name" },
        { "class": "Button", "id": "two", "title": "Two", "tag": 2, "action": "closeWithTagOfSenderAsResult:" },
        { "class": "Button", "id": "untagged", "title": "Untagged", "action": "closeWithTagOfSenderAsResult:" }
      ],
      "outlets": { "nameField": "name" }
    })";
    auto bundle = platform::Bundle::open(folder);
    EXPECT_TRUE(bundle) << bundle.status().message();
    return bundle ? bundle.value() : nullptr;
}

// A dialog of the framework as a product would write one: it adds an outlet and notes each
// windowDidLoad (and whether the window was loaded by then).
class TestDialog : public KOPADialogController {
public:
    TestDialog() { bindOutlet("nameField", m_nameField); }
    void windowDidLoad() override {
        KOPADialogController::windowDidLoad();
        windowLoadedAtDidLoad.push_back(isWindowLoaded());
        outletAtDidLoad.push_back(m_nameField.lock() != nullptr);
    }
    bool shouldSetFirstResponderToNilOnWindowWillClose() const override { return commitEditsOnClose; }
    std::shared_ptr<platform::TextField> nameField() const { return m_nameField.lock(); }

    std::vector<bool> windowLoadedAtDidLoad;
    std::vector<bool> outletAtDidLoad;
    bool commitEditsOnClose = true;

private:
    std::weak_ptr<platform::TextField> m_nameField;
};

inline std::shared_ptr<TestDialog> makeTestDialog(const std::shared_ptr<platform::Bundle>& bundle) {
    auto dialog = std::make_shared<TestDialog>();
    EXPECT_TRUE(dialog->initWithWindowNibName("TestDialog", bundle));
    return dialog;
}

inline bool isRegistered(const platform::Object* object) {
    return KOPAPluginSession::sharedPluginSession()->containsSessionObject(object);
}

class PluginTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        if (const char* language = std::getenv("LANGUAGE")) savedLanguage = language;
        setenv("LANGUAGE", "en", 1);
        KOPAPlugin::resetForTesting();
        dropSessionObjects();
        // Signing in starts the update check: no test reaches the maker's server.
        DLPluginObject::setHostOverrides({std::string(), std::string(), std::nullopt});
        log = std::make_unique<LogCapture>();
        ui = std::make_unique<platform::ScriptedFrontEnd>();
    }
    void TearDown() override {
        dropSessionObjects();
        KOPAPlugin::resetForTesting();
        DLPluginObject::setHostOverrides({});
        host.reset();
        ui.reset();
        log.reset();
        platform::ProcessInfo::setOperatingSystemVersionStringForTesting(std::nullopt);
        platform::ProcessInfo::setOperatingSystemProductVersionForTesting(std::nullopt);
        platform::Bundle::setMainBundle(nullptr);
        if (savedLanguage)
            setenv("LANGUAGE", savedLanguage->c_str(), 1);
        else
            unsetenv("LANGUAGE");
        UiTest::TearDown();
    }

    // A host on `file` (the demo database unless the file exists already) with the real plug-in
    // bundle loaded. Nobody is signed in and no window is shown yet.
    void startHost(const std::filesystem::path& file, std::optional<std::string> hostVersion = "6.2.1",
                   bool loadPlugin = true) {
        if (!std::filesystem::exists(file)) {
            auto status = host::DemoDatabase::create(file);
            ASSERT_TRUE(status) << status.message();
        }
        host::HostApplication::Options options;
        options.database = file;
        options.pluginsDirectory = dir / "PlugIns";
        options.hostBundle = writeHostBundle(dir / "Host", std::move(hostVersion));
        host = host::HostApplication::create(options);
        auto opened = host->openDatabase();
        ASSERT_TRUE(opened) << opened.message();
        if (!loadPlugin) return;
        auto loaded = host->loadPluginBundle(ZANDREL_PLUGIN_BUNDLE);
        ASSERT_TRUE(loaded) << loaded.message();
    }

    void signIn(const std::string& user = "ada") {
        auto status = host->signIn(user);
        ASSERT_TRUE(status) << status.message();
    }

    std::optional<std::string> savedLanguage;
    testsupport::TempDir dir;
    std::unique_ptr<LogCapture> log;
    std::unique_ptr<platform::ScriptedFrontEnd> ui;
    std::shared_ptr<host::HostApplication> host;
};

}  // namespace plugintest
