#include "sdk/testing/KOPATestHost.h"

#include <cstdlib>
#include <fstream>
#include <optional>

#include "host/app/DLPluginObject.h"
#include "host/app/HostApplication.h"
#include "host/database/model/DemoDatabase.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Menu.h"

struct KOPATestHost::State {
    std::shared_ptr<platform::VirtualClock> clock;
    std::shared_ptr<host::HostApplication> host;
    std::optional<std::string> savedLanguage;
};

platform::Result<std::unique_ptr<KOPATestHost>> KOPATestHost::start(Options options) {
    namespace fs = std::filesystem;
    std::unique_ptr<KOPATestHost> made(new KOPATestHost);
    made->m_state = std::make_unique<State>();
    State& state = *made->m_state;
    // The plug-ins' strings in English whatever the machine's locale, so tests compare texts.
    if (const char* language = std::getenv("LANGUAGE")) state.savedLanguage = language;
    setenv("LANGUAGE", "en", 1);

    platform::RunLoop::main().resetForTesting();
    state.clock = std::make_shared<platform::VirtualClock>();
    platform::RunLoop::main().setClock(state.clock);
    platform::Application::shared().resetForTesting();
    made->m_ui = std::make_unique<platform::ScriptedFrontEnd>();

    std::error_code ec;
    fs::create_directories(options.folder / "Host", ec);
    fs::create_directories(options.folder / "PlugIns", ec);
    if (ec) return platform::Status::error("cannot make " + options.folder.string() + ": " + ec.message());
    platform::UserDefaults::setStandardPath(options.folder / "defaults.json");
    // The update check starts at sign-in: a test reaches no server.
    DLPluginObject::setHostOverrides({std::string(), std::string(), std::nullopt});
    std::ofstream(options.folder / "Host" / "Info.json")
        << R"({ "CFBundleIdentifier": "com.zandrel.host.test", "CFBundleName": "Test Host",)"
        << R"( "CFBundleShortVersionString": "6.2.1" })";

    const fs::path database = options.folder / "demo.sqlite";
    if (!fs::exists(database))
        if (auto status = host::DemoDatabase::create(database); !status) return status;
    host::HostApplication::Options hostOptions;
    hostOptions.database = database;
    hostOptions.pluginsDirectory = options.folder / "PlugIns";
    hostOptions.hostBundle = options.folder / "Host";
    state.host = host::HostApplication::create(hostOptions);
    if (auto status = state.host->openDatabase(); !status) return status;
    for (const auto& bundle : options.bundles)
        if (auto status = state.host->loadPluginBundle(bundle); !status) return status;
    if (!options.user.empty())
        if (auto status = state.host->signIn(options.user); !status) return status;
    made->runPending();
    return made;
}

KOPATestHost::~KOPATestHost() {
    if (!m_state) return;
    m_state->host.reset();
    m_ui.reset();
    DLPluginObject::setHostOverrides({});
    platform::Bundle::setMainBundle(nullptr);
    platform::Application::shared().resetForTesting();
    platform::RunLoop::main().resetForTesting();
    platform::RunLoop::main().setClock(std::make_shared<platform::RealClock>());
    if (m_state->savedLanguage)
        setenv("LANGUAGE", m_state->savedLanguage->c_str(), 1);
    else
        unsetenv("LANGUAGE");
}

std::vector<std::string> KOPATestHost::pluginsMenuTitles() const {
    std::vector<std::string> titles;
    if (const auto& menu = m_state->host->pluginsMenu())
        for (const auto& item : menu->itemArray()) titles.push_back(item->title());
    return titles;
}

void KOPATestHost::runPending(platform::Duration by) {
    if (by > platform::Duration::zero()) m_state->clock->advance(by);
    platform::RunLoop::main().runPending();
}
