// The upgrade check against a real HTTP server on 127.0.0.1: its conditions, the reminder's three
// answers, sign-off while it is shown, and the update alert coming first.

#include <string>
#include <vector>

#include "tests/plugin/UpdateTestSupport.h"

namespace plugintest {
namespace {

const std::string kDownload = "https://downloads.example/Zandrel-2.zip";

std::string upgradeDocument(const std::string& versions, const std::string& downloadURL = kDownload) {
    return "{ " + versions + R"(, "download-url": ")" + downloadURL + R"(",
      "localized": { "default": { "info": "A big release", "changes": ["One", "Two"],
                                  "confirmationString": "I have a licence for it" } } })";
}

class UpgradeCheckTest : public UpdateTest {
protected:
    // Runs the upgrade check alone and gives the reminder it shows, or none.
    std::shared_ptr<KOPAUpgradeReminderDialogController> checkNow(const std::string& document) {
        server.serve("/upgrade.json", 200, document);
        plugin->upgradeURL = server.url("/upgrade.json");
        plugin->checkForUpgrades();
        waitForReplies();
        return openReminder();
    }
    void answer(const std::shared_ptr<KOPAUpgradeReminderDialogController>& dialog,
                const std::string& button) {
        auto window = dialog->window();
        if (button == "download") {
            ASSERT_TRUE(ui->tickCheckBox("confirm", window.get()));
        }
        ASSERT_TRUE(ui->pressButton(button, window.get()));
        EXPECT_FALSE(window->isVisible());
        loop.runPending();
    }
};

TEST_F(UpgradeCheckTest, TheConditionsDecideWhetherTheReminderIsShown) {
    struct Case {
        const char* what;
        std::string versions;
        std::optional<std::string> host = "6.2.1";
        std::optional<std::string> system = "12";
        std::vector<std::string> skipped = {};
        bool shown = true;
    };
    const std::vector<Case> cases = {
        {"newer, no minimum versions", R"("latest-version": "1.3")"},
        {"not newer", R"("latest-version": "1.2")", "6.2.1", "12", {}, false},
        {"no latest version", R"("other": "1.3")", "6.2.1", "12", {}, false},
        {"skipped", R"("latest-version": "1.3")", "6.2.1", "12", {"1.3"}, false},
        {"a skip matches by exact text only", R"("latest-version": "1.3.0")", "6.2.1", "12", {"1.3"}, true},
        {"host too old",
         R"("latest-version": "1.3", "min-version-daylite": "7.0")",
         "6.9.3",
         "12",
         {},
         false},
        {"host just new enough", R"("latest-version": "1.3", "min-version-daylite": "6.2.1")"},
        {"no host version against a minimum",
         R"("latest-version": "1.3", "min-version-daylite": "1")",
         std::nullopt,
         "12",
         {},
         false},
        {"system equal to its minimum", R"("latest-version": "1.3", "min-version-osx": "10.12")", "6.2.1",
         "10.12"},
        {"system newer by a component", R"("latest-version": "1.3", "min-version-osx": "10.12")", "6.2.1",
         "10.12.0.1"},
        {"system older, compared as numbers",
         R"("latest-version": "1.3", "min-version-osx": "10.12")",
         "6.2.1",
         "10.9",
         {},
         false},
        {"no system version against a minimum",
         R"("latest-version": "1.3", "min-version-osx": "10.12")",
         "6.2.1",
         std::nullopt,
         {},
         false},
        {"no system version and no minimum", R"("latest-version": "1.3")", "6.2.1", std::nullopt},
        {"a latest version that is no text", R"("latest-version": 1.3)", "6.2.1", "12", {}, false},
        {"a minimum that is no text",
         R"("latest-version": "1.3", "min-version-osx": 10)",
         "6.2.1",
         "12",
         {},
         false},
        {"a minimum that is null",
         R"("latest-version": "1.3", "min-version-daylite": null)",
         "6.2.1",
         "12",
         {},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(
            platform::UserDefaults::standard().removeObjectForKey(plugin->upgradeSkipListUserDefaultsKey()));
        for (const auto& version : c.skipped) plugin->addVersionToUpgradeSkipList(version);
        setHostVersion(c.host);
        platform::ProcessInfo::setOperatingSystemProductVersionForTesting(c.system);
        auto dialog = checkNow(upgradeDocument(c.versions));
        EXPECT_EQ(dialog != nullptr, c.shown);
        if (dialog) answer(dialog, "later");
        EXPECT_TRUE(opened.empty());
    }
}

TEST_F(UpgradeCheckTest, DocumentsOfTheWrongShapeShowNothing) {
    struct Case {
        int status;
        std::string body;
    };
    const std::vector<Case> cases = {
        {404, upgradeDocument(R"("latest-version": "1.3")")},
        {500, upgradeDocument(R"("latest-version": "1.3")")},
        {200, "not json"},
        {200, R"(["latest-version", "1.3"])"},
        {200, "null"},
        {200, std::string(100000, '[')},
        {200, R"({ "latest-version": "1.3", "localized": [1, 2] })"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        server.serve("/upgrade.json", cases[i].status, cases[i].body);
        plugin->upgradeURL = server.url("/upgrade.json");
        plugin->checkForUpgrades();
        waitForReplies();
        auto dialog = openReminder();
        // The last one is readable: a newer version whose texts are of the wrong kind.
        EXPECT_EQ(dialog != nullptr, i + 1 == cases.size());
        if (dialog) answer(dialog, "later");
    }
}

TEST_F(UpgradeCheckTest, SkippingListsTheVersionForGood) {
    auto dialog = checkNow(upgradeDocument(R"("latest-version": "1.3")"));
    ASSERT_TRUE(dialog);
    answer(dialog, "skip");
    EXPECT_TRUE(plugin->isVersionOnUpgradeSkipList("1.3"));
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(checkNow(upgradeDocument(R"("latest-version": "1.3")")));
    auto newer = checkNow(upgradeDocument(R"("latest-version": "1.4")"));
    ASSERT_TRUE(newer);
    answer(newer, "later");
}

TEST_F(UpgradeCheckTest, NotNowSavesNothingAndTheReminderComesAgain) {
    for (int round = 0; round < 2; ++round) {
        auto dialog = checkNow(upgradeDocument(R"("latest-version": "1.3")"));
        ASSERT_TRUE(dialog) << "round " << round;
        answer(dialog, "later");
        EXPECT_EQ(dialog->result(), 0);
    }
    EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList("1.3"));
    EXPECT_TRUE(
        platform::UserDefaults::standard().objectForKey(plugin->upgradeSkipListUserDefaultsKey()).isNull());
    EXPECT_TRUE(opened.empty());
}

TEST_F(UpgradeCheckTest, DownloadingNeedsTheConfirmationAndOpensOnlyAWebAddress) {
    auto dialog = checkNow(upgradeDocument(R"("latest-version": "1.3")"));
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(ui->pressButton("download", dialog->window().get())) << "disabled until confirmed";
    answer(dialog, "download");
    EXPECT_EQ(dialog->result(), KOPAUpgradeReminderDialogController::kDownloadResult);
    EXPECT_EQ(opened, std::vector<std::string>{kDownload});
    EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList("1.3"));

    for (const std::string hostile :
         {"file:///etc/passwd", "x-apple.systempreferences:", "javascript:x", "ftp://a/b"}) {
        SCOPED_TRACE(hostile);
        opened.clear();
        auto again = checkNow(upgradeDocument(R"("latest-version": "1.3")", hostile));
        ASSERT_TRUE(again);
        size_t logged = log->lines.size();
        answer(again, "download");
        EXPECT_TRUE(opened.empty());
        EXPECT_EQ(log->lines.size(), logged + 1) << "the refusal is logged";
    }
}

TEST_F(UpgradeCheckTest, AReminderLeftOpenIsNotJoinedByASecondOne) {
    auto first = checkNow(upgradeDocument(R"("latest-version": "1.3")"));
    ASSERT_TRUE(first);
    auto again = checkNow(upgradeDocument(R"("latest-version": "1.4")"));
    EXPECT_EQ(again, first);
    size_t shown = 0;
    for (const auto& window : app.windows())
        shown += window->isVisible() && window->title() == first->window()->title();
    EXPECT_EQ(shown, 1u);
    answer(first, "later");
    auto later = checkNow(upgradeDocument(R"("latest-version": "1.4")"));
    ASSERT_TRUE(later);
    EXPECT_NE(later, first);
    answer(later, "later");
}

TEST_F(UpgradeCheckTest, SignOffClosesTheReminderWithoutSavingOrOpening) {
    auto dialog = checkNow(upgradeDocument(R"("latest-version": "1.3")"));
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(ui->tickCheckBox("confirm", dialog->window().get()));
    platform::NotificationCenter::defaultCenter().post(KOPAUserSignedOffNotification, plugin);
    loop.runPending();
    EXPECT_FALSE(dialog->window()->isVisible());
    EXPECT_EQ(dialog->result(), 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList("1.3"));
    EXPECT_FALSE(openReminder());
}

TEST_F(UpgradeCheckTest, TheUpdateAlertComesFirstAndTheUpgradeDocumentIsFetchedAfterIt) {
    server.serve("/version.json", 200,
                 R"({ "latest-version": "1.3", "download-url": "https://d.example/u" })");
    server.serve("/upgrade.json", 200, upgradeDocument(R"("latest-version": "1.3")"));
    plugin->updateURL = server.url("/version.json");
    plugin->upgradeURL = server.url("/upgrade.json");
    ui->answerAlertWithReturn(platform::kAlertDefaultReturn);
    plugin->checkForUpdates();
    waitForReplies();
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().title, "A new version of Zandrel is available: 1.3");
    EXPECT_FALSE(ui->lastAlert().sheetOpen) << "no reminder yet while the alert is shown";
    EXPECT_EQ(server.log(), (std::vector<std::string>{"/version.json", "/upgrade.json"}));
    auto dialog = openReminder();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(opened, std::vector<std::string>{"https://d.example/u"});
    answer(dialog, "later");
}

}  // namespace
}  // namespace plugintest
