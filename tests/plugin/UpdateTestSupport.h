#pragma once

// Fixtures for the update notification tests: a plug-in object whose document addresses and
// request time-out a test sets, a loopback document server, a recording workspace, and the
// system's, host's and plug-in's versions pinned. Replies are waited for by running the loop
// (bounded in real time, since the network runs on real time); the virtual clock only moves when
// a test moves it, so the 12-hour timer never fires by itself.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/Classes/VEXAPlugin.h"
#include "framework/Classes/VEXAUpgradeReminderDialogController.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ASIHTTPRequest.h"
#include "platform/ui/Workspace.h"
#include "tests/plugin/PluginTestSupport.h"
#include "tests/support/DocumentServer.h"

namespace plugintest {

class UpdateTestPlugin : public KOPAPlugin {
public:
    std::optional<std::string> urlForUpdateInformation() const override { return updateURL; }
    std::optional<std::string> urlForUpgradeInformation() const override { return upgradeURL; }
    void checkForUpgrades() override {
        ++upgradeChecks;
        KOPAPlugin::checkForUpgrades();
    }

    std::optional<std::string> updateURL;
    std::optional<std::string> upgradeURL;
    double timeOut = KOPAPlugin::kDocumentTimeOutSeconds;
    int upgradeChecks = 0;

protected:
    double documentRequestTimeOutSeconds() const override { return timeOut; }
};

class UpdateTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        DLPluginObject::setHostOverrides({});  // the plug-in's own addresses count here
        platform::UserDefaults::setStandardPath(dir / "defaults.json");
        platform::Locale::setCurrentForTesting("en_US");
        platform::ProcessInfo::setOperatingSystemProductVersionForTesting(std::optional<std::string>("12"));
        platform::Workspace::shared().setOpenerForTesting([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
        setHostVersion("6.2.1");
        plugin = makePlugin("1.2");
    }
    void TearDown() override {
        waitForReplies();
        platform::Workspace::shared().setOpenerForTesting(nullptr);
        platform::ProcessInfo::setOperatingSystemProductVersionForTesting(std::nullopt);
        platform::Locale::setCurrentForTesting(std::nullopt);
        DLPluginObject::setHostOverrides({});
        DLPluginObject::setBundleBeingLoaded(nullptr);
        plugin.reset();
        platform::UserDefaults::setStandardPath(dir / "unused.json");
        PluginTest::TearDown();
    }

    // A plug-in bundle whose Info.json gives `version` (none: no version key), made the shared
    // plug-in object.
    std::shared_ptr<UpdateTestPlugin> makePlugin(std::optional<std::string> version,
                                                 const std::string& identifier = "com.example.Updating") {
        auto folder = dir / ("Plugin-" + identifier);
        std::filesystem::create_directories(folder);
        std::string info = R"({ "CFBundleIdentifier": ")" + identifier + "\"";
        if (version) info += R"(, "CFBundleShortVersionString": ")" + *version + "\"";
        std::ofstream(folder / "Info.json") << info << " }";
        auto bundle = platform::Bundle::open(folder);
        EXPECT_TRUE(bundle) << bundle.status().message();
        DLPluginObject::setBundleBeingLoaded(bundle.value());
        auto made = std::make_shared<UpdateTestPlugin>();
        EXPECT_TRUE(made->init());
        return made;
    }

    void setHostVersion(std::optional<std::string> version) {
        auto bundle = platform::Bundle::open(writeHostBundle(dir / "Host", std::move(version)));
        ASSERT_TRUE(bundle) << bundle.status().message();
        platform::Bundle::setMainBundle(bundle.value());
    }

    // Runs the loop until no request is under way and nothing is queued, or 20 s passed.
    void waitForReplies() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            loop.runOnce(platform::RunLoopMode::Default, std::chrono::milliseconds(10));
            if (platform::ASIHTTPRequest::activeRequestCount() == 0 && loop.pendingBlockCount() == 0) return;
        }
        ADD_FAILURE() << "the replies did not arrive within 20 seconds";
    }

    // The open upgrade reminder, found through the session registry, or none.
    std::shared_ptr<KOPAUpgradeReminderDialogController> openReminder() const {
        for (const auto& object : KOPAPluginSession::sharedPluginSession()->sessionObjects()) {
            auto dialog = std::dynamic_pointer_cast<KOPAUpgradeReminderDialogController>(object);
            if (dialog && dialog->isWindowLoaded() && dialog->window()->isVisible()) return dialog;
        }
        return nullptr;
    }

    size_t pendingTimers() const { return loop.timerCount(); }

    testsupport::DocumentServer server;
    std::shared_ptr<UpdateTestPlugin> plugin;
    std::vector<std::string> opened;
};

}  // namespace plugintest
