#include "VEXAHelper.h"

#include <dlfcn.h>

#include <filesystem>

#include "host/app/DLDocument.h"
#include "host/app/DLMainWindow.h"
#include "host/database/DLPObjectContext.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Application.h"

namespace {
constexpr const char* kHostDocumentClassName = "DLDocument";
constexpr const char* kFrameworkStringTable = "VEXAFramework";
}  // namespace

std::shared_ptr<platform::Bundle> KOPAHelper::frameworkBundle() {
    // The bundle is the folder holding the shared library this function lives in.
    static std::shared_ptr<platform::Bundle> bundle = []() -> std::shared_ptr<platform::Bundle> {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&KOPAHelper::frameworkBundle), &info) || !info.dli_fname)
            return nullptr;
        auto opened = platform::Bundle::open(std::filesystem::path(info.dli_fname).parent_path());
        if (!opened) {
            platform::Log::write(opened.status().message());
            return nullptr;
        }
        return opened.value();
    }();
    return bundle;
}

std::string KOPAHelper::VEXAlocalizeString(const std::string& key) {
    auto bundle = frameworkBundle();
    return bundle ? bundle->localizedStringForKey(key, "", kFrameworkStringTable) : key;
}

std::shared_ptr<platform::Document> KOPAHelper::mainDocument() {
    auto cls = platform::ClassRegistry::shared().classNamed(kHostDocumentClassName);
    return mcFirstDocumentWithKindOfClass(platform::Application::shared(), cls.get());
}

std::shared_ptr<DLMainWindowController> KOPAHelper::activeMainWindowController() {
    auto document = std::dynamic_pointer_cast<DLDocument>(mainDocument());
    return document ? document->firstOrderedMainWindowController() : nullptr;
}

std::shared_ptr<platform::Window> KOPAHelper::activeMainWindow() {
    auto controller = activeMainWindowController();
    return controller ? controller->window() : nullptr;
}

std::shared_ptr<DLPObjectContext> KOPAHelper::objectContext() {
    auto window = std::dynamic_pointer_cast<DLMainWindow>(activeMainWindow());
    return window ? window->objectContext() : nullptr;
}

std::shared_ptr<MCUserDefaults> KOPAHelper::mcUserDefaults() {
    auto context = objectContext();
    return context ? std::shared_ptr<MCUserDefaults>(context, &context->userDefaults()) : nullptr;
}

std::shared_ptr<GWUser> KOPAHelper::activeUser() {
    auto context = objectContext();
    return context ? context->user() : nullptr;
}
