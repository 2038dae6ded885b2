#include "bench/support/BenchHost.h"

#include <fmt/format.h>

#include <filesystem>
#include <stdexcept>

#include "host/app/DLPluginObject.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWUser.h"
#include "host/database/store/StoreFactory.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Menu.h"

namespace bench {

using platform::Array;
using platform::Value;

void BenchHost::check(const platform::Status& status) {
    if (!status) throw std::runtime_error(status.message());
}

void BenchHost::fill(CustomRecordDefinition& field, int64_t i) {
    field.setActive(true);
    field.setDefaultValue(i % 3 == 0 ? Value("Medium") : Value());
    field.setDetails(fmt::format("Field number {}", i));
    field.setName(fmt::format("Field {}", i));
    field.setOptions(i % 3 == 0 ? Value(Array{"Low", "Medium", "High"}) : Value());
    field.setTypeCode(i % 5);
}

BenchHost::BenchHost(const std::string& address, int64_t fields) {
    {
        host::StoreFactory::Options create;
        create.createSchema = true;
        auto store = host::StoreFactory::open(address, create);
        if (!store) throw std::runtime_error(store.status().message());
        auto setup = DLPObjectContext::withoutUser(*store);
        auto user = setup->createObject<GWUser>(true);
        if (!user) throw std::runtime_error(user.status().message());
        (*user)->setLoginName("bench");
        (*user)->setName("Bench Mark");
        (*user)->setActive(true);
        auto form = setup->createObject<CustomRecordSetDefinition>();
        if (!form) throw std::runtime_error(form.status().message());
        (*form)->setName("Source");
        (*form)->setActive(true);
        for (int64_t i = 0; i < fields; ++i) {
            auto field = setup->createObject<CustomRecordDefinition>();
            if (!field) throw std::runtime_error(field.status().message());
            fill(**field, i);
            check((*form)->addToCustomRecordDefinitions(*field));
        }
        check(setup->saveChanges());
    }
    m_app = host::HostApplication::create(
        {address, std::filesystem::path(ZANDREL_PLUGIN_BUNDLE).parent_path(), ZANDREL_HOST_BUNDLE});
    check(m_app->openDatabase());
    // No update check: a reply on its way holds a desktop script back, and the benchmarks
    // measure the duplicate, not the network.
    DLPluginObject::HostOverrides noUpdateCheck;
    noUpdateCheck.updateURL = std::string();
    DLPluginObject::setHostOverrides(noUpdateCheck);
    check(m_app->loadPluginBundle(ZANDREL_PLUGIN_BUNDLE));
    auto plugins = platform::Application::shared().mainMenu()->itemWithTitle("Plug-ins");
    auto zandrel = plugins ? plugins->submenu()->itemWithTitle("Zandrel") : nullptr;
    m_duplicate = zandrel ? zandrel->submenu()->itemAtIndex(0) : nullptr;
    if (!m_duplicate)
        throw std::runtime_error("the plug-in bundle " + std::string(ZANDREL_PLUGIN_BUNDLE) +
                                 " added no Plug-ins > Zandrel command: build the Zandrel target");
}

BenchHost::~BenchHost() {
    m_duplicate.reset();
    m_app.reset();
    platform::Application::shared().resetForTesting();
    platform::RunLoop::main().resetForTesting();
}

std::shared_ptr<platform::MenuItem> BenchHost::duplicateCommand() const {
    return m_duplicate;
}

bool BenchHost::duplicateThroughDialog(platform::ScriptedFrontEnd& driver, const std::string& name) const {
    driver.clearAlerts();
    m_duplicate->performAction();
    driver.selectPopUpItem("template", "Source");
    driver.typeText("name", name);
    driver.answerAlert("Thanks!");
    driver.pressButton("duplicate");
    platform::RunLoop::main().runPending();
    check(m_app->saveChanges());
    return !driver.alerts().empty() && driver.alerts().back().title == "Success!";
}

std::vector<std::string> BenchHost::duplicateScript(const std::string& name) {
    return {"menu Plug-ins > Zandrel > Duplicate Form Template...", "select template Source",
            fmt::format("type name \"{}\"", name), "press duplicate", "answer Thanks!"};
}

}  // namespace bench
