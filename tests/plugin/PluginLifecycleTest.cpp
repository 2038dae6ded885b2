// The plug-in object's life in the host: creation, the sign-in state machine driven by the
// host's real windows, the host and system versions it records, and its version documents.

#include <gtest/gtest.h>

#include "VXZandrel.h"
#include "framework/Classes/VEXAHelper.h"
#include "host/app/DLLoginController.h"
#include "platform/runtime/ClassRegistry.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

using plugintest::NotificationRecorder;
using plugintest::OpenDocument;

const std::string kIn = KOPAUserSignedInNotification;
const std::string kOff = KOPAUserSignedOffNotification;
const std::string kLaunch = "launch";

// A product plug-in that notes when the host has finished launching, and what it held then.
class CountingPlugin : public KOPAPlugin {
public:
    explicit CountingPlugin(std::vector<std::string>& events) : m_events(events) {}
    void dayliteHasFinishedLaunching() override {
        m_events.push_back(kLaunch);
        contextDuringLaunch = objectContext();
        KOPAPlugin::dayliteHasFinishedLaunching();
    }
    std::shared_ptr<DLPObjectContext> contextDuringLaunch;

private:
    std::vector<std::string>& m_events;
};

class PluginLifecycleTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        recorder = std::make_unique<NotificationRecorder>(events, std::vector<std::string>{kIn, kOff});
        startHost(dir / "demo.zandrel", "6.2.1", /*loadPlugin=*/false);
        plugin = std::make_shared<CountingPlugin>(events);
        ASSERT_TRUE(plugin->init());
    }
    void TearDown() override {
        recorder.reset();
        PluginTest::TearDown();
    }

    std::vector<std::string> events;
    std::unique_ptr<NotificationRecorder> recorder;
    std::shared_ptr<CountingPlugin> plugin;
};

TEST_F(PluginLifecycleTest, InitMakesTheObjectTheSharedPlugin) {
    EXPECT_EQ(KOPAPlugin::sharedPlugin(), plugin);
    auto later = std::make_shared<CountingPlugin>(events);
    ASSERT_TRUE(later->init());
    EXPECT_EQ(KOPAPlugin::sharedPlugin(), later);
}

TEST_F(PluginLifecycleTest, LoginWindowFirstPostsSignedOffThoughNobodySignedIn) {
    host->showLoginWindow();
    EXPECT_EQ(events, (std::vector<std::string>{kOff}));
    ASSERT_EQ(recorder->senders.size(), 1u);
    EXPECT_EQ(recorder->senders[0], plugin);
    EXPECT_EQ(plugin->objectContext(), nullptr);
    EXPECT_FALSE(KOPAPlugin::isUserSignedIn());
}

TEST_F(PluginLifecycleTest, LoginWindowBecomingMainTwicePostsSignedOffTwice) {
    host->showLoginWindow();
    auto login = app.mainWindow();
    ASSERT_TRUE(login);
    login->orderOut();
    ASSERT_EQ(app.mainWindow(), nullptr);
    host->showLoginWindow();
    EXPECT_EQ(app.mainWindow(), login);
    EXPECT_EQ(events, (std::vector<std::string>{kOff, kOff}));
    EXPECT_FALSE(KOPAPlugin::isUserSignedIn());
}

TEST_F(PluginLifecycleTest, FirstSignInLaunchesOnceThenPostsSignedIn) {
    host->showLoginWindow();
    signIn();
    EXPECT_EQ(events, (std::vector<std::string>{kOff, kLaunch, kIn}));
    // The launch runs before the signed-in handlers: the plug-in holds no context yet then.
    EXPECT_EQ(plugin->contextDuringLaunch, nullptr);
    auto context = host->document()->objectContext();
    ASSERT_TRUE(context);
    EXPECT_EQ(KOPAHelper::objectContext(), context);
    EXPECT_EQ(plugin->objectContext(), context);
    EXPECT_EQ(KOPAPlugin::classObjectContext(), context);
    EXPECT_TRUE(KOPAPlugin::isUserSignedIn());
}

TEST_F(PluginLifecycleTest, SignOffAndInAgainDoesNotLaunchASecondTime) {
    host->showLoginWindow();
    signIn("ada");
    auto first = plugin->objectContext();
    ASSERT_TRUE(host->signOff());
    EXPECT_EQ(plugin->objectContext(), nullptr);
    EXPECT_EQ(KOPAPlugin::classObjectContext(), nullptr);
    EXPECT_FALSE(KOPAPlugin::isUserSignedIn());
    signIn("grace");
    EXPECT_EQ(events, (std::vector<std::string>{kOff, kLaunch, kIn, kOff, kIn}));
    ASSERT_TRUE(plugin->objectContext());
    EXPECT_NE(plugin->objectContext(), first);
    EXPECT_EQ(plugin->objectContext(), host->document()->objectContext());
}

TEST_F(PluginLifecycleTest, SwitchingMainWindowsWhileSignedInPostsNothing) {
    host->showLoginWindow();
    signIn("ada");
    auto first = plugin->objectContext();
    auto firstWindow = app.mainWindow();
    auto other = DLPObjectContext::signIn(host->database(), "grace");
    ASSERT_TRUE(other) << other.status().message();
    auto second = OpenDocument::add(other.value(), "second database");
    events.clear();

    second.controller->showWindow();
    ASSERT_EQ(app.mainWindow(), second.window());
    firstWindow->makeKeyAndOrderFront();
    ASSERT_EQ(app.mainWindow(), firstWindow);
    second.controller->showWindow();

    EXPECT_TRUE(events.empty());
    EXPECT_EQ(plugin->objectContext(), first);
    EXPECT_TRUE(KOPAPlugin::isUserSignedIn());
}

TEST_F(PluginLifecycleTest, MainWindowWithoutContextPostsNothingUntilOneHasIt) {
    host->showLoginWindow();
    events.clear();
    // A document without a database: the helper finds no context.
    auto empty = OpenDocument::add(nullptr, "no database");
    empty.controller->showWindow();
    ASSERT_EQ(app.mainWindow(), empty.window());
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(KOPAPlugin::isUserSignedIn());
    EXPECT_EQ(plugin->objectContext(), nullptr);

    // The host drops that document and signs a user in: the next main window signs in.
    app.removeDocument(empty.document.get());
    signIn();
    EXPECT_EQ(events, (std::vector<std::string>{kLaunch, kIn}));
    EXPECT_EQ(plugin->objectContext(), host->document()->objectContext());
}

// Takes the host's login controller class out of the class lookup for one test.
class WithoutLoginControllerClass {
public:
    WithoutLoginControllerClass()
        : m_saved(platform::ClassRegistry::shared().classNamed("DLLoginController")) {
        platform::ClassRegistry::shared().unregisterClass("DLLoginController");
    }
    ~WithoutLoginControllerClass() {
        if (m_saved) platform::ClassRegistry::shared().registerClass(m_saved);
    }

private:
    std::shared_ptr<const platform::Class> m_saved;
};

TEST_F(PluginLifecycleTest, WithoutTheLoginClassNoWindowCountsAsLoginWindow) {
    WithoutLoginControllerClass missing;
    host->showLoginWindow();
    EXPECT_TRUE(events.empty());
    signIn();
    EXPECT_EQ(events, (std::vector<std::string>{kLaunch, kIn}));
    host->showLoginWindow();
    EXPECT_EQ(events, (std::vector<std::string>{kLaunch, kIn}));
    EXPECT_TRUE(KOPAPlugin::isUserSignedIn());
}

// --- versions recorded at creation

class HostVersionTest : public plugintest::PluginTest,
                        public ::testing::WithParamInterface<std::pair<std::optional<std::string>, int64_t>> {
};

TEST_P(HostVersionTest, MajorVersionComesFromTheMainBundle) {
    const auto& [version, expected] = GetParam();
    auto bundle = platform::Bundle::open(plugintest::writeHostBundle(dir / "Host", version));
    ASSERT_TRUE(bundle) << bundle.status().message();
    platform::Bundle::setMainBundle(bundle.value());
    auto plugin = std::make_shared<KOPAPlugin>();
    ASSERT_TRUE(plugin->init());
    EXPECT_EQ(plugin->majorDayliteVersionNumber(), expected);
}

INSTANTIATE_TEST_SUITE_P(Versions, HostVersionTest,
                         ::testing::Values(std::pair{std::optional<std::string>("6.2.1"), int64_t{6}},
                                           std::pair{std::optional<std::string>("10"), int64_t{10}},
                                           std::pair{std::optional<std::string>(std::nullopt), int64_t{0}},
                                           std::pair{std::optional<std::string>(""), int64_t{0}},
                                           std::pair{std::optional<std::string>("7beta.3"), int64_t{7}},
                                           std::pair{std::optional<std::string>("beta.3"), int64_t{0}},
                                           std::pair{std::optional<std::string>(".5"), int64_t{0}},
                                           std::pair{std::optional<std::string>("2024.1"), int64_t{2024}}));

using VersionTest = plugintest::PluginTest;

TEST_F(VersionTest, NoMainBundleGivesZero) {
    platform::Bundle::setMainBundle(nullptr);
    auto plugin = std::make_shared<KOPAPlugin>();
    ASSERT_TRUE(plugin->init());
    EXPECT_EQ(plugin->majorDayliteVersionNumber(), 0);
}

struct SystemVersionCase {
    std::optional<std::string> osRelease;  // VERSION_ID; none: os-release gives none
    const char* kernelText;
    std::optional<std::string> expected;
    bool meetsFive;  // a minimum system version of 5
};

class SystemVersionTest : public plugintest::PluginTest,
                          public ::testing::WithParamInterface<SystemVersionCase> {};

// One meaning of the system's version: os-release's VERSION_ID, whatever the kernel's release.
TEST_P(SystemVersionTest, IsTheOsReleaseVersionNeverTheKernels) {
    platform::ProcessInfo::setOperatingSystemVersionStringForTesting(GetParam().kernelText);
    platform::ProcessInfo::setOperatingSystemProductVersionForTesting(
        std::optional<std::optional<std::string>>(GetParam().osRelease));
    auto plugin = std::make_shared<KOPAPlugin>();
    ASSERT_TRUE(plugin->init());
    EXPECT_EQ(plugin->currentOSXVersion(), GetParam().expected);
    EXPECT_EQ(plugin->getCurrentOSXVersion(), GetParam().expected);
    EXPECT_EQ(plugin->currentOSXVersionIsHigherOrEqualToVersion("5"), GetParam().meetsFive);
    EXPECT_TRUE(plugin->currentOSXVersionIsHigherOrEqualToVersion(std::nullopt));
}

INSTANTIATE_TEST_SUITE_P(
    Systems, SystemVersionTest,
    ::testing::Values(SystemVersionCase{"12", "Linux 6.18.44 (Debian GNU/Linux 12 (bookworm))", "12", true},
                      SystemVersionCase{"4", "Linux 6.18.44", "4", false},
                      SystemVersionCase{"10.15.7", "Version 10.15.7 (Build 19H2)", "10.15.7", true},
                      SystemVersionCase{"24.04", "Linux 6.8.0", "24.04", true},
                      // No VERSION_ID (a rolling release): missing, so only a missing minimum is met.
                      SystemVersionCase{std::nullopt, "Linux 6.18.44", std::nullopt, false}));

TEST_F(VersionTest, SystemVersionIsTakenOnceAtCreation) {
    platform::ProcessInfo::setOperatingSystemProductVersionForTesting(std::optional<std::string>("11"));
    auto plugin = std::make_shared<KOPAPlugin>();
    ASSERT_TRUE(plugin->init());
    platform::ProcessInfo::setOperatingSystemProductVersionForTesting(std::optional<std::string>("12"));
    EXPECT_EQ(plugin->currentOSXVersion(), std::optional<std::string>("11"));
    EXPECT_EQ(plugin->getCurrentOSXVersion(), std::optional<std::string>("12"));
}

// --- version documents and the loaded product

using VersionDocumentTest = plugintest::PluginTest;

TEST_F(VersionDocumentTest, TheBaseNamesNoDocuments) {
    auto plugin = std::make_shared<KOPAPlugin>();
    ASSERT_TRUE(plugin->init());
    EXPECT_EQ(plugin->urlForUpdateInformation(), std::nullopt);
    EXPECT_EQ(plugin->urlForUpgradeInformation(), std::nullopt);
}

TEST_F(VersionDocumentTest, TheProductNamesItsVersionDocumentOnly) {
    startHost(dir / "demo.zandrel");
    auto plugin = std::dynamic_pointer_cast<VXZandrel>(KOPAPlugin::sharedPlugin());
    ASSERT_TRUE(plugin);
    auto url = plugin->urlForUpdateInformation();
    ASSERT_TRUE(url);
    EXPECT_TRUE(url->starts_with("http://")) << *url;
    EXPECT_TRUE(url->ends_with("/Daylite/Plugins/Zandrel_Version.json")) << *url;
    EXPECT_EQ(plugin->urlForUpdateInformation(), url);
    EXPECT_EQ(plugin->urlForUpgradeInformation(), std::nullopt);
}

TEST_F(VersionDocumentTest, TheHostCreatesThePrincipalClassOnceAsTheSharedPlugin) {
    startHost(dir / "demo.zandrel", "10.1");
    ASSERT_EQ(host->plugins().size(), 1u);
    auto plugin = std::dynamic_pointer_cast<VXZandrel>(host->plugins()[0]);
    ASSERT_TRUE(plugin);
    EXPECT_EQ(KOPAPlugin::sharedPlugin(), plugin);
    EXPECT_EQ(plugin->majorDayliteVersionNumber(), 10);
    ASSERT_TRUE(plugin->bundle());
    EXPECT_EQ(plugin->bundle()->bundleIdentifier(), "com.zandrel.daylite.plugin.Zandrel");
}

}  // namespace
