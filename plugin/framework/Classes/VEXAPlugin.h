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

#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "host/app/DLPluginObject.h"
#include "platform/foundation/Error.h"
#include "platform/runtime/NotificationCenter.h"
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
    // The update check started at the end of host start-up. It does nothing yet.
    virtual void checkForUpdates() {}

    // The dotted system version out of the platform's version text ("10.15.7" out of
    // "Version 10.15.7 (Build 19H2)"). A text without one gives "0" so comparisons still work.
    std::string getCurrentOSXVersion() const;
    int64_t majorDayliteVersionNumber() const { return m_majorDayliteVersionNumber; }
    const std::string& currentOSXVersion() const { return m_currentOSXVersion; }
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

private:
    static void windowDidBecomeMain(const platform::Notification& notification);

    int64_t m_majorDayliteVersionNumber = 0;
    std::string m_currentOSXVersion;
    std::shared_ptr<DLPObjectContext> m_objectContext;
};
