#pragma once

// KOPAPlugin: the framework's plug-in object. The host creates one instance of the bundle's
// principal class (a subclass); it becomes the process-wide shared plug-in object, records the
// host's major version and the system's version, and turns the host's window activity into
// three events: the host has finished launching (once per process), a user signed in, and a
// user signed off.
//
// Sign-in tracking. The class initialisation observes "a window became main" for the life of
// the process. When the host's login window (its controller is of the class named
// "DLLoginController") becomes main, KOPAUserSignedOffNotification is posted. When any other
// window becomes main while the host has a current object context and nobody counts as signed
// in, dayliteHasFinishedLaunching runs (first time only) and then
// KOPAUserSignedInNotification is posted. Both are posted with the shared plug-in object as
// sender, synchronously, on the main thread.
//
// Class operations. Where the plug-in object has an instance operation and a class operation
// of the same name, the class one is spelled with a "class" prefix here (classObjectContext,
// classHandleError, ...): each sends the instance operation to the shared plug-in object and
// does nothing when there is none.
//
// Error reporting ends here: every message, exception or error is written to the log in the
// framework's line form, then shown in an application-modal alert titled with the product name.
//
// Update notification. checkForUpdates() (run when the host has finished launching) fetches the
// version document and schedules the next check 12 hours after its start; a higher published
// version is announced in an alert that can open the download address. Every complete reply,
// and every check of a plug-in without an update address, then runs checkForUpgrades(): the
// upgrade document, the skip list and the minimum host and system versions decide whether the
// upgrade reminder is shown as a sheet. Failed transfers end silently; the next timer retries.
//
// Version texts ("2.1.3", "2.1b4"): the first lower-case "b" splits the main part from the beta
// part (up to a second "b"); the main part's "."-separated components and the beta number read
// as strtoll does (leading blanks, sign, digits; "3rc1" is 3, "x" is 0). Components compare as
// numbers, position by position; when all shared positions are equal the longer main part is the
// higher one (1.2.0 > 1.2). Only when the main parts are the same text does the beta part
// decide a strict comparison: the higher beta number wins, and a release is higher than its own
// betas (1.2 > 1.2b3, 1.2b3 is not higher than 1.2). A missing version (nullopt) has no
// components: it is lower than any present one and equal to another missing one.

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/app/DLPluginObject.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/ActionTarget.h"

class DLPObjectContext;

extern const char* const KOPAUserSignedInNotification;
extern const char* const KOPAUserSignedOffNotification;

class KOPAPlugin : public DLPluginObject, public platform::ActionTarget {
public:
    KOPAPlugin();

    // Creation: called once by whoever creates the object (the host's class lookup does). False
    // when the base initialisation fails.
    virtual bool init();

    static void initialize();
    static std::shared_ptr<KOPAPlugin> sharedPlugin();
    static std::shared_ptr<DLPObjectContext> classObjectContext();

    virtual void dayliteHasFinishedLaunching();
    virtual void userDidSignIn(const platform::Notification& notification);
    virtual void userDidSignOff(const platform::Notification& notification);
    virtual std::optional<std::string> urlForUpdateInformation() const { return std::nullopt; }
    virtual std::optional<std::string> urlForUpgradeInformation() const { return std::nullopt; }

    // --- update notification
    static constexpr double kUpdateCheckInterval = 43200.0;  // seconds: 12 hours
    static constexpr double kDocumentTimeOutSeconds = 30.0;
    // A version or upgrade document larger than this is a failed transfer.
    static constexpr size_t kMaxDocumentBytes = size_t{2} << 20;

    virtual void checkForUpdates();
    virtual void checkForUpgrades();
    // The timer of the next update check, or 0 before the first check.
    platform::RunLoop::TimerId updateCheckTimer() const { return m_updateTimer; }

    // The addresses and version the checks use: the host's overrides for this run when it gives
    // them (an empty address meaning none), else urlForUpdateInformation(),
    // urlForUpgradeInformation() and the bundle's CFBundleShortVersionString.
    std::optional<std::string> effectiveUpdateURL() const;
    std::optional<std::string> effectiveUpgradeURL() const;
    std::optional<std::string> runningPluginVersion() const;

    // --- version texts and the skip list
    using VersionText = std::optional<std::string_view>;
    static bool compareVersionStrings(VersionText a, VersionText b, bool orEqual);
    bool versionStringIsHigherThan(VersionText a, VersionText b) const {
        return compareVersionStrings(a, b, false);
    }
    bool versionStringIsHigherThanOrEqualTo(VersionText a, VersionText b) const {
        return compareVersionStrings(a, b, true);
    }
    bool versionStringIsHigherThanOrEqual(VersionText a, VersionText b, bool orEqual) const {
        return compareVersionStrings(a, b, orEqual);
    }
    bool currentOSXVersionIsHigherOrEqualToVersion(VersionText version) const {
        return compareVersionStrings(m_currentOSXVersion ? VersionText(*m_currentOSXVersion) : std::nullopt,
                                     version, true);
    }
    // "VEXAPluginVersionSkipList.%@" (the two characters literally) followed by the bundle's
    // identifier; the list is an array of texts in the standard user defaults.
    std::string upgradeSkipListUserDefaultsKey() const;
    bool isVersionOnUpgradeSkipList(std::string_view version) const;
    void addVersionToUpgradeSkipList(const std::string& version);

    // The system's version: VERSION_ID of os-release (12 on Debian 12), the one meaning every
    // version check of the system uses (an upgrade's "min-version-osx" included), never the
    // kernel's release. None when os-release gives none: a missing version, lower than any.
    std::optional<std::string> getCurrentOSXVersion() const;
    int64_t majorDayliteVersionNumber() const { return m_majorDayliteVersionNumber; }
    const std::optional<std::string>& currentOSXVersion() const { return m_currentOSXVersion; }
    const std::shared_ptr<DLPObjectContext>& objectContext() const { return m_objectContext; }

    // Messages and errors.
    void presentMessageWithTitleSubtitleMessage(const std::string& title,
                                                const std::optional<std::string>& subtitle,
                                                const std::string& message);
    void reportErrorWithLcalizableMessage(const std::string& key);
    void handleException(const std::exception& exception);
    void handleError(const platform::Error& error);
    void checkError(const platform::Error* error);
    bool presentError(const platform::Error& error);

    static void classReportErrorWithLcalizableMessage(const std::string& key);
    static void classHandleException(const std::exception& exception);
    static void classHandleError(const platform::Error& error);
    static void classCheckError(const platform::Error* error);

    bool respondsToAction(const std::string& action) const override { return false; }
    bool performAction(const std::string& action, platform::Object* sender) override { return false; }

    // The process-wide sign-in state, for tests that start a fresh "process".
    static void resetForTesting();
    static bool isUserSignedIn();

protected:
    // How long a document request may take; products keep the default (tests shorten it).
    virtual double documentRequestTimeOutSeconds() const { return kDocumentTimeOutSeconds; }
    // Opens a download address from a document: web addresses only, anything else is logged.
    void openDownloadURL(const platform::Value& document) const;

private:
    static void windowDidBecomeMain(const platform::Notification& notification);
    void handleUpdateReply(int status, const std::string& body,
                           const std::optional<std::string>& runningVersion);
    void handleUpgradeReply(int status, const std::string& body,
                            const std::optional<std::string>& runningVersion);

    int64_t m_majorDayliteVersionNumber = 0;
    std::optional<std::string> m_currentOSXVersion;
    std::shared_ptr<DLPObjectContext> m_objectContext;
    platform::RunLoop::TimerId m_updateTimer = 0;
    std::weak_ptr<platform::Object> m_openReminder;  // the upgrade reminder while it is shown
};
