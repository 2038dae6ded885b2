#include "VEXAPlugin.h"

#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>

#include "VEXAHelper.h"
#include "VEXALog.h"
#include "VEXAUpdateText.h"
#include "VEXAUpgradeReminderDialogController.h"
#include "host/database/DLPObjectContext.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ASIHTTPRequest.h"
#include "platform/runtime/ClassRegistry.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowController.h"
#include "platform/ui/Workspace.h"

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

// ---------------------------------------------------------------- version texts

namespace {
// One side of a comparison: the main part [pos, mainEnd) and the beta part, if any.
struct VersionParts {
    const char* pos = nullptr;
    const char* mainEnd = nullptr;
    const char* betaBegin = nullptr;
    const char* betaEnd = nullptr;
    bool present = false;
    bool hasBeta = false;

    explicit VersionParts(KOPAPlugin::VersionText text) {
        if (!text) return;
        present = true;
        pos = text->data();
        const char* end = pos + text->size();
        auto* b = static_cast<const char*>(text->empty() ? nullptr : std::memchr(pos, 'b', text->size()));
        if (!b) {
            mainEnd = end;
            return;
        }
        mainEnd = b;
        hasBeta = true;
        betaBegin = b + 1;
        auto* second =
            static_cast<const char*>(std::memchr(betaBegin, 'b', static_cast<size_t>(end - betaBegin)));
        betaEnd = second ? second : end;
    }
    std::string_view main() const { return {pos, static_cast<size_t>(mainEnd - pos)}; }
};

// strtoll over [p, end): leading white space, an optional sign, decimal digits up to the first
// other character; 0 when there are none; clamped to the 64-bit range like strtoll.
inline int64_t leadingInteger(const char* p, const char* end) {
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    uint64_t value = 0;
    constexpr uint64_t kLimit = uint64_t{1} << 63;  // |INT64_MIN|
    bool overflow = false;
    for (; p < end && static_cast<unsigned char>(*p - '0') < 10; ++p) {
        unsigned digit = static_cast<unsigned char>(*p - '0');
        if (value > (kLimit - digit) / 10) {
            overflow = true;
        } else {
            value = value * 10 + digit;
        }
    }
    if (negative) return overflow || value >= kLimit ? INT64_MIN : -static_cast<int64_t>(value);
    return overflow || value >= kLimit ? INT64_MAX : static_cast<int64_t>(value);
}
}  // namespace

bool KOPAPlugin::compareVersionStrings(VersionText a, VersionText b, bool orEqual) {
    VersionParts pa(a), pb(b);
    // Components remain on a side while it is present and its last one is not yet read; a
    // present main part has at least one (an empty text is one empty component).
    bool restA = pa.present, restB = pb.present;
    const char* ca = pa.pos;
    const char* cb = pb.pos;
    while (restA && restB) {
        auto* endA = static_cast<const char*>(std::memchr(ca, '.', static_cast<size_t>(pa.mainEnd - ca)));
        auto* endB = static_cast<const char*>(std::memchr(cb, '.', static_cast<size_t>(pb.mainEnd - cb)));
        if (!endA) endA = pa.mainEnd;
        if (!endB) endB = pb.mainEnd;
        int64_t va = leadingInteger(ca, endA), vb = leadingInteger(cb, endB);
        // Different values mean different texts, so the beta parts never get a say here.
        if (va != vb) return va > vb;
        restA = endA != pa.mainEnd;
        restB = endB != pb.mainEnd;
        ca = endA + 1;
        cb = endB + 1;
    }
    bool result = orEqual ? !restB : (restA && !restB);
    if (result || !(pa.hasBeta || pb.hasBeta)) return result;
    if (pa.present != pb.present || (pa.present && pa.main() != pb.main())) return result;
    // Same main part, one side a beta: a release is higher than its own betas.
    if (!pa.hasBeta) return true;
    if (!pb.hasBeta) return false;
    return leadingInteger(pa.betaBegin, pa.betaEnd) > leadingInteger(pb.betaBegin, pb.betaEnd);
}

// ---------------------------------------------------------------- skip list

std::string KOPAPlugin::upgradeSkipListUserDefaultsKey() const {
    // "%@" is part of the key itself: lists saved under it must keep being found.
    std::string key = "VEXAPluginVersionSkipList.%@";
    if (bundle()) key += bundle()->bundleIdentifier();
    return key;
}

bool KOPAPlugin::isVersionOnUpgradeSkipList(std::string_view version) const {
    platform::Value list = platform::UserDefaults::standard().objectForKey(upgradeSkipListUserDefaultsKey());
    if (!list.isArray()) return false;
    for (const auto& entry : list.asArray())
        if (entry.isString() && entry.asString() == version) return true;
    return false;
}

void KOPAPlugin::addVersionToUpgradeSkipList(const std::string& version) {
    // No version text is that long: such an entry comes from a hostile document, and a list of
    // them would only grow the preferences file.
    constexpr size_t kMaxVersionBytes = 256;
    if (version.size() > kMaxVersionBytes) {
        KOPA_LOG("A skipped version of {} bytes is not kept (at most {})", version.size(), kMaxVersionBytes);
        return;
    }
    std::string key = upgradeSkipListUserDefaultsKey();
    // Read and written under the file's lock: a version another host skipped meanwhile stays.
    auto updated =
        platform::UserDefaults::standard().updateObjectForKey(key, [&](const platform::Value& current) {
            platform::Value list = current;
            if (!list.isArray()) {
                if (!list.isNull()) KOPA_LOG("The skip list under {} is not a list; it starts again", key);
                list = platform::Array{};
            }
            list.asArray().emplace_back(version);
            return list;
        });
    if (!updated)
        KOPA_LOG("The skipped version {} could not be saved: {}", version, updated.status().message());
}

// ---------------------------------------------------------------- update and upgrade checks

std::optional<std::string> KOPAPlugin::effectiveUpdateURL() const {
    const auto& host = hostOverrides();
    if (host.updateURL) return host.updateURL->empty() ? std::nullopt : host.updateURL;
    return urlForUpdateInformation();
}

std::optional<std::string> KOPAPlugin::effectiveUpgradeURL() const {
    const auto& host = hostOverrides();
    if (host.upgradeURL) return host.upgradeURL->empty() ? std::nullopt : host.upgradeURL;
    return urlForUpgradeInformation();
}

std::optional<std::string> KOPAPlugin::runningPluginVersion() const {
    if (hostOverrides().pluginVersion) return hostOverrides().pluginVersion;
    if (!bundle()) return std::nullopt;
    const platform::Value* version = bundle()->infoDictionary().find("CFBundleShortVersionString");
    if (!version || !version->isString()) return std::nullopt;
    return version->asString();
}

namespace {
// Starts a GET of `url` whose completion gets the status and body; a failed transfer runs
// nothing. The request is kept alive by the client until it finishes.
void fetchDocument(const std::string& url, double timeOut,
                   std::function<void(int status, const std::string& body)> reply) {
    auto request = platform::ASIHTTPRequest::requestWithURL(url);
    std::weak_ptr<platform::ASIHTTPRequest> weak = request;
    request->setCompletionBlock([weak, reply = std::move(reply)] {
        if (auto finished = weak.lock()) reply(finished->responseStatusCode(), finished->responseData());
    });
    request->setTimeOutSeconds(timeOut);
    request->setMaxResponseBytes(KOPAPlugin::kMaxDocumentBytes);
    request->startAsynchronous();
}

// The body as a JSON object; nothing for invalid JSON or any other top level.
std::optional<platform::Value> parseDocument(int status, const std::string& body) {
    if (status != 200 && status != 304) return std::nullopt;
    try {
        platform::Value document = platform::Value::parseJson(body);
        if (document.isDictionary()) return document;
    } catch (const platform::ValueError&) {
    }
    return std::nullopt;
}

KOPAPlugin::VersionText versionOf(const std::optional<std::string>& text) {
    return text ? KOPAPlugin::VersionText(*text) : std::nullopt;
}
}  // namespace

void KOPAPlugin::checkForUpdates() {
    auto self = sharedAs<KOPAPlugin>();
    if (auto url = effectiveUpdateURL()) {
        fetchDocument(*url, documentRequestTimeOutSeconds(),
                      [self, running = runningPluginVersion()](int status, const std::string& body) {
                          self->handleUpdateReply(status, body, running);
                      });
    } else {
        checkForUpgrades();
    }
    // One chain of checks, 12 hours apart counted from each start: a check started by hand
    // replaces the pending timer instead of starting a second chain.
    auto& loop = platform::RunLoop::main();
    if (m_updateTimer) loop.invalidateTimer(m_updateTimer);
    m_updateTimer = loop.scheduleTimer(
        std::chrono::duration_cast<platform::Duration>(std::chrono::duration<double>(kUpdateCheckInterval)),
        false, [self] { self->checkForUpdates(); });
}

void KOPAPlugin::handleUpdateReply(int status, const std::string& body,
                                   const std::optional<std::string>& runningVersion) {
    if (auto document = parseDocument(status, body)) {
        auto latest = KOPAUpdateText::stringForKey(*document, "latest-version");
        if (versionStringIsHigherThan(versionOf(latest), versionOf(runningVersion))) {
            std::string shownVersion = KOPAUpdateText::plainText(*latest);
            std::string message = KOPAUpdateText::format(
                KOPAHelper::VEXAlocalizeString("Update.AvailablityInfo"), {KOPAProductName});
            // The user's full locale first, then "default"; the first entry there is decides, an
            // empty list included. Change lists of the wrong kind make the document unreadable:
            // no alert rather than an offer built from what happened to parse.
            bool readable = true;
            if (const platform::Value* changelogs = document->find("changelogs")) {
                readable = changelogs->isDictionary();
                for (const std::string& key :
                     {platform::Locale::currentLocaleIdentifier(), std::string("default")}) {
                    const platform::Value* entry = readable ? changelogs->find(key) : nullptr;
                    if (!entry) continue;
                    auto list = KOPAUpdateText::bulletList(*entry);
                    readable = list.has_value();
                    if (list)
                        message += KOPAUpdateText::format(
                            "\n\n%@\n\n%@", {KOPAHelper::VEXAlocalizeString("Update.Changes"), *list});
                    break;
                }
            }
            if (!readable) {
                checkForUpgrades();
                return;
            }
            std::string title = KOPAUpdateText::format(KOPAHelper::VEXAlocalizeString("Update.Title"),
                                                       {KOPAProductName, shownVersion});
            // The message is shown as it stands: a "%" in a change stays a "%".
            int answer = platform::Application::shared().runAlertPanel(
                {title, message, KOPAHelper::VEXAlocalizeString("Update.Button.Accept"),
                 KOPAHelper::VEXAlocalizeString("Update.Button.Cancel"), "", true});
            if (answer == platform::kAlertDefaultReturn) openDownloadURL(*document);
        }
    }
    checkForUpgrades();
}

void KOPAPlugin::openDownloadURL(const platform::Value& document) const {
    auto url = KOPAUpdateText::stringForKey(document, "download-url");
    if (!url) return;
    if (!KOPAUpdateText::isWebURL(*url)) {
        KOPA_LOG("Not opening the download address \"{}\": only http and https addresses are opened",
                 KOPAUpdateText::plainText(url->substr(0, 200)));
        return;
    }
    platform::Workspace::shared().openURL(*url);
}

void KOPAPlugin::checkForUpgrades() {
    auto url = effectiveUpgradeURL();
    if (!url) return;
    auto self = sharedAs<KOPAPlugin>();
    fetchDocument(*url, documentRequestTimeOutSeconds(),
                  [self, running = runningPluginVersion()](int status, const std::string& body) {
                      self->handleUpgradeReply(status, body, running);
                  });
}

void KOPAPlugin::handleUpgradeReply(int status, const std::string& body,
                                    const std::optional<std::string>& runningVersion) {
    auto parsed = parseDocument(status, body);
    if (!parsed) return;
    auto document = std::make_shared<const platform::Value>(std::move(*parsed));
    // A version that is there but no text makes the document unreadable, not "no minimum".
    for (const char* key : {"latest-version", "min-version-osx", "min-version-daylite"})
        if (const platform::Value* v = document->find(key); v && !v->isString()) return;
    auto latest = KOPAUpdateText::stringForKey(*document, "latest-version");
    auto minOSX = KOPAUpdateText::stringForKey(*document, "min-version-osx");
    auto minHost = KOPAUpdateText::stringForKey(*document, "min-version-daylite");
    auto systemVersion = getCurrentOSXVersion();

    if (!versionStringIsHigherThan(versionOf(latest), versionOf(runningVersion))) return;
    if (isVersionOnUpgradeSkipList(*latest)) return;
    std::optional<std::string> hostVersion;
    if (auto main = platform::Bundle::mainBundle())
        if (const platform::Value* v = main->infoDictionary().find("CFBundleShortVersionString");
            v && v->isString())
            hostVersion = v->asString();
    if (!versionStringIsHigherThanOrEqualTo(versionOf(hostVersion), versionOf(minHost))) return;
    if (!versionStringIsHigherThanOrEqualTo(versionOf(systemVersion), versionOf(minOSX))) return;

    // A reminder still waiting for an answer (the user left it open for 12 hours) is not
    // joined by a second one.
    if (auto open = std::dynamic_pointer_cast<KOPAUpgradeReminderDialogController>(m_openReminder.lock());
        open && open->isWindowLoaded() && open->window()->isVisible())
        return;
    auto dialog = std::make_shared<KOPAUpgradeReminderDialogController>();
    if (!dialog->initWithWindowNibName("VEXAUpgradeReminderDialogController")) return;
    m_openReminder = dialog;
    dialog->setDataDict(*document);
    (void)dialog->window();  // loads and fills it
    auto self = sharedAs<KOPAPlugin>();
    std::string version = *latest;
    dialog->runSheetInWindowCompletion(
        platform::Application::shared().mainWindow(), [self, version, document](int64_t result) {
            if (result == KOPAUpgradeReminderDialogController::kDownloadResult)
                self->openDownloadURL(*document);
            else if (result == KOPAUpgradeReminderDialogController::kSkipResult)
                self->addVersionToUpgradeSkipList(version);
        });
}
