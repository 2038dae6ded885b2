#include "VEXAPlugin.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>

#include "VEXAHelper.h"
#include "VEXALog.h"
#include "host/database/model/DLPObjectContext.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowController.h"

const char* const KOPAUserSignedInNotification = "KOPAUserSignedInNotification";
const char* const KOPAUserSignedOffNotification = "KOPAUserSignedOffNotification";

namespace {
struct ProcessState {
    std::shared_ptr<KOPAPlugin> sharedPlugin;
    bool calledDayliteHasFinishedLaunching = false;
    // True exactly while a user counts as signed in (despite its name).
    bool lastWindowControllerWasLoginController = false;
};

ProcessState& state() {
    static ProcessState s;
    return s;
}

void post(const char* name) {
    platform::NotificationCenter::defaultCenter().post(name, state().sharedPlugin);
}
}  // namespace

KOPAPlugin::KOPAPlugin() {
    initialize();
}

void KOPAPlugin::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::NotificationCenter::defaultCenter().addObserver(platform::kWindowDidBecomeMainNotification,
                                                                  nullptr, &KOPAPlugin::windowDidBecomeMain);
    });
}

void KOPAPlugin::windowDidBecomeMain(const platform::Notification& notification) {
    auto window = std::dynamic_pointer_cast<platform::Window>(notification.object);
    auto controller = window ? window->windowController() : nullptr;
    if (platform::isKindOfClassNamed(controller.get(), "DLLoginController")) {
        post(KOPAUserSignedOffNotification);
        state().lastWindowControllerWasLoginController = false;
        return;
    }
    if (KOPAHelper::objectContext() && !state().lastWindowControllerWasLoginController) {
        state().lastWindowControllerWasLoginController = true;
        if (!state().calledDayliteHasFinishedLaunching) {
            if (auto plugin = state().sharedPlugin) plugin->dayliteHasFinishedLaunching();
            state().calledDayliteHasFinishedLaunching = true;
        }
        post(KOPAUserSignedInNotification);
    }
}

bool KOPAPlugin::init() {
    auto self = sharedAs<KOPAPlugin>();
    state().sharedPlugin = self;
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(self, &KOPAPlugin::userDidSignOff, KOPAUserSignedOffNotification, nullptr);
    center.addObserver(self, &KOPAPlugin::userDidSignIn, KOPAUserSignedInNotification, nullptr);

    m_majorDayliteVersionNumber = 0;
    if (auto main = platform::Bundle::mainBundle()) {
        std::string version = main->infoDictionary().value("CFBundleShortVersionString", std::string_view{});
        std::string first = version.substr(0, version.find('.'));
        size_t digits = 0;
        while (digits < first.size() && std::isdigit(static_cast<unsigned char>(first[digits]))) ++digits;
        // Bounded to 18 digits so an absurd version text cannot overflow.
        if (digits > 0)
            m_majorDayliteVersionNumber = std::stoll(first.substr(0, std::min<size_t>(digits, 18)));
    }
    m_currentOSXVersion = getCurrentOSXVersion();
    return true;
}

std::shared_ptr<KOPAPlugin> KOPAPlugin::sharedPlugin() {
    return state().sharedPlugin;
}

std::shared_ptr<DLPObjectContext> KOPAPlugin::classObjectContext() {
    auto plugin = sharedPlugin();
    return plugin ? plugin->objectContext() : nullptr;
}

void KOPAPlugin::dayliteHasFinishedLaunching() {
    checkForUpdates();
}

void KOPAPlugin::userDidSignIn(const platform::Notification&) {
    m_objectContext = KOPAHelper::objectContext();
}

void KOPAPlugin::userDidSignOff(const platform::Notification&) {
    m_objectContext.reset();
}

std::optional<std::string> KOPAPlugin::getCurrentOSXVersion() const {
    return platform::ProcessInfo::operatingSystemProductVersion();
}

void KOPAPlugin::presentMessageWithTitleSubtitleMessage(const std::string& title,
                                                        const std::optional<std::string>& subtitle,
                                                        const std::string& message) {
    std::string shown = subtitle ? *subtitle + "\n\n" + message : message;
    // The text is passed as an argument, never as a format: "%d" in it stays "%d".
    platform::Application::shared().runAlertPanel({title, shown, localizeString("OK"), "", "", false});
}

void KOPAPlugin::reportErrorWithLcalizableMessage(const std::string& key) {
    std::string message = localizeString(key);
    KOPA_LOG("Error: {}", message);
    presentMessageWithTitleSubtitleMessage(KOPAProductName, std::nullopt, message);
}

void KOPAPlugin::handleException(const std::exception& exception) {
    KOPA_LOG("Unhandled exception: {}", exception.what());
    presentMessageWithTitleSubtitleMessage(KOPAProductName, std::nullopt, exception.what());
}

void KOPAPlugin::handleError(const platform::Error& error) {
    KOPA_LOG("Unhandled error: {}", error.description());
    presentMessageWithTitleSubtitleMessage(KOPAProductName, std::nullopt, error.localizedDescription());
}

void KOPAPlugin::checkError(const platform::Error* error) {
    if (error) handleError(*error);
}

bool KOPAPlugin::presentError(const platform::Error& error) {
    return platform::Application::shared().presentError(error.localizedDescription());
}

void KOPAPlugin::classReportErrorWithLcalizableMessage(const std::string& key) {
    if (auto plugin = sharedPlugin()) plugin->reportErrorWithLcalizableMessage(key);
}
void KOPAPlugin::classHandleException(const std::exception& exception) {
    if (auto plugin = sharedPlugin()) plugin->handleException(exception);
}
void KOPAPlugin::classHandleError(const platform::Error& error) {
    if (auto plugin = sharedPlugin()) plugin->handleError(error);
}
void KOPAPlugin::classCheckError(const platform::Error* error) {
    if (auto plugin = sharedPlugin()) plugin->checkError(error);
}

void KOPAPlugin::resetForTesting() {
    state() = ProcessState{};
}

bool KOPAPlugin::isUserSignedIn() {
    return state().lastWindowControllerWasLoginController;
}
