// The update check against a real HTTP server on 127.0.0.1: what each reply leads to, the alert's
// texts, the download address, failed transfers, and the 12-hour chain of checks on the virtual
// clock.

#include <chrono>
#include <string>
#include <vector>

#include "tests/plugin/UpdateTestSupport.h"

namespace plugintest {
namespace {

const std::string kAvailability =
    "A newer version of Zandrel has been published. Would you like to download it now?";

std::string versionDocument(const std::string& latest, const std::string& extra = "") {
    return R"({ "latest-version": ")" + latest +
           R"(", "download-url": "https://downloads.example/Zandrel.zip")" + extra + " }";
}

class UpdateCheckTest : public UpdateTest {
protected:
    void checkNow() {
        plugin->updateURL = server.url("/version.json");
        plugin->checkForUpdates();
        waitForReplies();
    }
};

TEST_F(UpdateCheckTest, WhatEachReplyLeadsTo) {
    struct Case {
        const char* what;
        int status;
        std::string body;
        bool alert;
    };
    const std::vector<Case> cases = {
        {"a higher version", 200, versionDocument("1.3"), true},
        {"1.2.0 is higher than 1.2", 200, versionDocument("1.2.0"), true},
        {"the same version", 200, versionDocument("1.2"), false},
        {"a lower version", 200, versionDocument("1.1.9"), false},
        {"404", 404, versionDocument("1.3"), false},
        {"500", 500, versionDocument("1.3"), false},
        {"invalid JSON", 200, "{ \"latest-version\": \"1.3\"", false},
        {"an empty body", 200, "", false},
        {"a top-level array", 200, R"(["latest-version", "1.3"])", false},
        {"a top-level text", 200, R"("1.3")", false},
        {"no latest version", 200, R"({ "download-url": "https://downloads.example/x" })", false},
        {"a latest version that is a number", 200, R"({ "latest-version": 13 })", false},
        {"a latest version that is an object", 200, R"({ "latest-version": { "v": "1.3" } })", false},
        // Change lists of the wrong kind make the document unreadable: no alert.
        {"changelogs that are a list", 200, versionDocument("1.3", R"(, "changelogs": ["a", "b"])"), false},
        {"changelogs that are a text", 200, versionDocument("1.3", R"(, "changelogs": "not an object")"),
         false},
        {"a chosen list holding other values", 200,
         versionDocument("1.3", R"(, "changelogs": { "en_US": [1, null, "real"] })"), false},
        {"a chosen entry that is no list", 200,
         versionDocument("1.3", R"(, "changelogs": { "en_US": "oops", "default": ["D"] })"), false},
        {"a default list holding objects", 200,
         versionDocument("1.3", R"(, "changelogs": { "default": [{"x": 1}] })"), false},
        // The search stops at the first entry there is, so a broken "default" behind it is unread.
        {"a broken default behind a good entry", 200,
         versionDocument("1.3", R"(, "changelogs": { "en_US": ["a"], "default": 5 })"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui->clearAlerts();
        plugin->upgradeChecks = 0;
        server.serve("/version.json", c.status, c.body);
        // An alert nobody expects finds no answer and fails the test.
        if (c.alert) ui->answerAlertWithReturn(platform::kAlertAlternateReturn);
        checkNow();
        EXPECT_EQ(ui->alerts().size(), c.alert ? 1u : 0u);
        EXPECT_EQ(ui->pendingAnswers(), 0u);
        // Every complete reply ends in the upgrade check, after the alert (if any) was answered.
        EXPECT_EQ(plugin->upgradeChecks, 1);
        EXPECT_TRUE(opened.empty());
    }
}

TEST_F(UpdateCheckTest, TheAlertShowsTitleAvailabilityAndTheChangesOfTheUsersLocale) {
    struct Case {
        const char* locale;
        std::string changelogs;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"en_US", R"({ "en_US": ["Faster", "Fixed 100% of crashes"], "default": ["x"] })",
         kAvailability + "\n\nWhat has changed:\n\n\u2022 Faster\n\u2022 Fixed 100% of crashes\n"},
        // Only the full identifier is tried before "default": de does not serve de_CH.
        {"de_CH", R"({ "de": ["Schneller"], "default": ["Faster"] })",
         kAvailability + "\n\nWhat has changed:\n\n\u2022 Faster\n"},
        // An existing empty list is used: the heading with nothing below it.
        {"en_US", R"({ "en_US": [], "default": ["Faster"] })", kAvailability + "\n\nWhat has changed:\n\n"},
        {"en_US", R"({ "fr_FR": ["Plus rapide"] })", kAvailability},
        // Placeholders and control characters from the network stay inert: shown escaped.
        {"en_US", R"({ "default": ["%@ and %d stay", "red \u001b[31mtext\u001b[0m", "bell\u0007"] })",
         kAvailability + "\n\nWhat has changed:\n\n\u2022 %@ and %d stay\n\u2022 red "
                         "\\x1b[31mtext\\x1b[0m\n\u2022 bell\\x07\n"},
        // A change cannot forge lines of its own or reorder or hide what it says.
        {"en_US",
         R"({ "default": ["one\nopen: https://evil.example\r\nanswer: Download", "\u202egnp.exe \u200bx\ufeff"] })",
         kAvailability +
             "\n\nWhat has changed:\n\n\u2022 one\\nopen: https://evil.example\\r\\nanswer: Download\n"
             "\u2022 \\u202egnp.exe \\u200bx\\ufeff\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changelogs);
        platform::Locale::setCurrentForTesting(c.locale);
        ui->clearAlerts();
        server.serve("/version.json", 200, versionDocument("1.3", R"(, "changelogs": )" + c.changelogs));
        ui->answerAlertWithReturn(platform::kAlertAlternateReturn);
        checkNow();
        ASSERT_EQ(ui->alerts().size(), 1u);
        const auto& alert = ui->lastAlert();
        EXPECT_EQ(alert.title, "A new version of Zandrel is available: 1.3");
        EXPECT_EQ(alert.message, c.message);
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Download", "Not Now"}));
        EXPECT_TRUE(alert.informational);
    }
}

TEST_F(UpdateCheckTest, AcceptingOpensTheDownloadAddressAndOnlyAWebAddress) {
    struct Case {
        std::string url;  // as in the document; empty: no key
        int answer;
        std::vector<std::string> opened;
    };
    const std::string good = "https://downloads.example/Zandrel-1.3.zip";
    const std::vector<Case> cases = {
        {good, platform::kAlertDefaultReturn, {good}},
        {"HTTP://downloads.example/z.zip", platform::kAlertDefaultReturn, {"HTTP://downloads.example/z.zip"}},
        {good, platform::kAlertAlternateReturn, {}},
        {"", platform::kAlertDefaultReturn, {}},
        {"file:///etc/passwd", platform::kAlertDefaultReturn, {}},
        {"javascript:alert(1)", platform::kAlertDefaultReturn, {}},
        {"/Applications/Calculator.app", platform::kAlertDefaultReturn, {}},
        {"smb://server/share", platform::kAlertDefaultReturn, {}},
        {"https://downloads.example/a b", platform::kAlertDefaultReturn, {}},
        {"https://", platform::kAlertDefaultReturn, {}},
        {"--help", platform::kAlertDefaultReturn, {}},
        // Refused and logged as one line: its line breaks and hidden characters shown escaped.
        {R"(javascript:x\n2026-01-01 forged log line\r\u202e)", platform::kAlertDefaultReturn, {}},
        // Long: cut after 200 characters, never inside one.
        {"ftp://" + std::string(97, 'x') +
             [] {
                 std::string umlauts;
                 for (int i = 0; i < 150; ++i) umlauts += "\xc3\xbc";
                 return umlauts;
             }(),
         platform::kAlertDefaultReturn,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        opened.clear();
        std::string document = R"({ "latest-version": "1.3")";
        if (!c.url.empty()) document += R"(, "download-url": ")" + c.url + "\"";
        server.serve("/version.json", 200, document + " }");
        ui->answerAlertWithReturn(c.answer);
        size_t logged = log->lines.size();
        checkNow();
        EXPECT_EQ(opened, c.opened);
        bool refused = !c.url.empty() && c.opened.empty() && c.answer == platform::kAlertDefaultReturn;
        EXPECT_EQ(log->lines.size() - logged, refused ? 1u : 0u)
            << (log->lines.empty() ? "" : log->lines.back());
        for (size_t k = logged; k < log->lines.size(); ++k) {
            EXPECT_EQ(log->lines[k].find_first_of("\n\r"), std::string::npos) << log->lines[k];
            EXPECT_EQ(log->lines[k].find("\xe2\x80\xae"), std::string::npos) << log->lines[k];
            EXPECT_EQ(log->lines[k].find("\\x"), std::string::npos) << "no character cut: " << log->lines[k];
        }
    }
    server.serve("/version.json", 200, R"({ "latest-version": "1.3", "download-url": 7 })");
    ui->answerAlertWithReturn(platform::kAlertDefaultReturn);
    opened.clear();
    checkNow();
    EXPECT_TRUE(opened.empty());
}

TEST_F(UpdateCheckTest, FailedTransfersShowNothingStartNoUpgradeCheckAndKeepTheSchedule) {
    struct Case {
        const char* what;
        std::function<std::string()> url;
    };
    std::string refusedURL;
    {
        testsupport::DocumentServer gone;
        refusedURL = gone.url("/version.json");
    }
    server.serve("/slow.json", {200, versionDocument("1.3"), std::chrono::milliseconds(5000)});
    server.serve("/huge.json", 200,
                 versionDocument("1.3", ", \"pad\": \"" + std::string(3 << 20, 'x') + "\""));
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"connection refused", refusedURL},
        {"slower than the time-out", server.url("/slow.json")},
        {"a document of several MiB", server.url("/huge.json")},
        {"not a web address", "file:///etc/passwd"},
        {"not an address at all", "::::"},
    };
    plugin->timeOut = 0.5;
    for (const auto& [what, url] : cases) {
        SCOPED_TRACE(what);
        plugin->upgradeChecks = 0;
        plugin->updateURL = url;
        plugin->checkForUpdates();
        waitForReplies();
        EXPECT_TRUE(ui->alerts().empty());
        EXPECT_EQ(plugin->upgradeChecks, 0);
        EXPECT_EQ(pendingTimers(), 1u);
        EXPECT_TRUE(loop.isTimerValid(plugin->updateCheckTimer()));
    }
}

TEST_F(UpdateCheckTest, EachCheckLeavesExactlyOneTimerTwelveHoursAfterItsStart) {
    server.serve("/version.json", 200, versionDocument("1.2"));
    plugin->updateURL = server.url("/version.json");
    auto start = loop.now();
    plugin->checkForUpdates();
    ASSERT_EQ(pendingTimers(), 1u);
    EXPECT_EQ(loop.fireDate(plugin->updateCheckTimer()), start + std::chrono::hours(12));
    // The reply comes later; the schedule stays counted from the start.
    clock->advance(std::chrono::seconds(5));
    waitForReplies();
    EXPECT_EQ(server.hits("/version.json"), 1);
    EXPECT_EQ(loop.fireDate(plugin->updateCheckTimer()), start + std::chrono::hours(12));

    for (int round = 2; round <= 4; ++round) {
        loop.advanceBy(std::chrono::hours(12) - std::chrono::seconds(5) - std::chrono::seconds(1));
        EXPECT_EQ(server.hits("/version.json"), round - 1) << "no check before the 12 hours are up";
        loop.advanceBy(std::chrono::seconds(1));
        auto fired = loop.now();
        ASSERT_EQ(pendingTimers(), 1u) << "round " << round;
        EXPECT_EQ(loop.fireDate(plugin->updateCheckTimer()), fired + std::chrono::hours(12));
        clock->advance(std::chrono::seconds(5));
        waitForReplies();
        EXPECT_EQ(server.hits("/version.json"), round);
        EXPECT_EQ(plugin->upgradeChecks, round);
    }
}

TEST_F(UpdateCheckTest, ACheckStartedByHandReplacesThePendingTimer) {
    plugin->checkForUpdates();
    auto first = plugin->updateCheckTimer();
    clock->advance(std::chrono::hours(1));
    plugin->checkForUpdates();
    EXPECT_EQ(pendingTimers(), 1u);
    EXPECT_FALSE(loop.isTimerValid(first));
    EXPECT_EQ(loop.fireDate(plugin->updateCheckTimer()), loop.now() + std::chrono::hours(12));
}

TEST_F(UpdateCheckTest, WithoutAnUpdateAddressOnlyTheUpgradeCheckRunsEveryTwelveHours) {
    plugin->updateURL.reset();
    plugin->checkForUpdates();
    EXPECT_EQ(plugin->upgradeChecks, 1);
    EXPECT_EQ(platform::ASIHTTPRequest::activeRequestCount(), 0u);
    EXPECT_EQ(pendingTimers(), 1u);
    loop.advanceBy(std::chrono::hours(12));
    EXPECT_EQ(plugin->upgradeChecks, 2);
    EXPECT_EQ(pendingTimers(), 1u);
}

TEST_F(UpdateCheckTest, TheHostsOverridesReplaceTheAddressAndTheRunningVersion) {
    server.serve("/other.json", 200, versionDocument("1.3"));
    plugin->updateURL = server.url("/version.json");
    DLPluginObject::setHostOverrides({server.url("/other.json"), std::nullopt, std::string("1.3")});
    plugin->checkForUpdates();
    waitForReplies();
    EXPECT_EQ(server.hits("/other.json"), 1);
    EXPECT_EQ(server.hits("/version.json"), 0);
    EXPECT_TRUE(ui->alerts().empty()) << "1.3 is not higher than the running 1.3";

    DLPluginObject::setHostOverrides({std::string(""), std::nullopt, std::nullopt});
    plugin->upgradeChecks = 0;
    plugin->checkForUpdates();
    EXPECT_EQ(plugin->upgradeChecks, 1) << "an empty address means none";
    EXPECT_EQ(server.hits("/other.json") + server.hits("/version.json"), 1);
}

TEST_F(UpdateCheckTest, TheEndOfHostStartUpStartsTheChainOnce) {
    startHost(dir / "db.sqlite");
    server.serve("/version.json", 200, versionDocument("1.0"));
    DLPluginObject::setHostOverrides({server.url("/version.json"), std::string(""), std::nullopt});
    host->showLoginWindow();
    signIn();
    EXPECT_EQ(pendingTimers(), 1u);
    waitForReplies();
    EXPECT_EQ(server.hits("/version.json"), 1);
    ASSERT_TRUE(host->signOff());
    signIn();
    waitForReplies();
    EXPECT_EQ(server.hits("/version.json"), 1) << "a later sign-in starts no second chain";
    EXPECT_EQ(pendingTimers(), 1u);
}

}  // namespace
}  // namespace plugintest
