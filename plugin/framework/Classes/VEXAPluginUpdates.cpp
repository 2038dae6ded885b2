// KOPAPlugin: the update and upgrade checks and the skip list of versions the user chose not
// to be told about again, apart from the life of the plug-in in VEXAPlugin.cpp.

#include <chrono>
#include <optional>
#include <string>

#include "VEXAHelper.h"
#include "VEXALog.h"
#include "VEXAPlugin.h"
#include "VEXAUpdateText.h"
#include "VEXAUpgradeReminderDialogController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DisplayText.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ASIHTTPRequest.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "platform/ui/Workspace.h"

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
                 platform::DisplayText::printable(*url, 200));
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
