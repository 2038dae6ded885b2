// zandrel-host check-updates: the real program, the real plug-in bundle, a demo database, and the
// two documents served by a real HTTP server on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/DocumentServer.h"
#include "tests/support/HostLauncher.h"

using testsupport::builtProgram;
using testsupport::ProcessResult;

namespace {

const std::string kUpdateDownload = "https://downloads.example/Zandrel-2.0.zip";
const std::string kUpgradeDownload = "https://downloads.example/Zandrel-Pro-2.0.zip";

std::string versionDocument(const std::string& download = kUpdateDownload) {
    return R"({ "latest-version": "2.0", "download-url": ")" + download +
           R"(", "changelogs": { "default": ["Faster start", "Fixed the 100% CPU bug"] } })";
}
std::string upgradeDocument(const std::string& download = kUpgradeDownload) {
    return R"({ "latest-version": "2.0", "min-version-daylite": "6.0", "download-url": ")" + download + R"(",
      "localized": { "default": { "info": "Now with reports.", "changes": ["Reports"],
                                  "confirmationString": "I have read the licence" } } })";
}

class CheckUpdatesCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Its own preferences file (the skip list) and English texts.
        host.with("LANGUAGE", "en").with("LANG", "en_US.UTF-8").with("LC_ALL", std::nullopt);
        host.with("LC_MESSAGES", std::nullopt);
        // Zandrel alone: every loaded plug-in checks the overridden addresses, and these runs count
        // one plug-in's requests.
        std::filesystem::create_directories(plugins);
        std::filesystem::create_directory_symlink(
            std::filesystem::path(builtProgram("zandrel-host")).parent_path().parent_path() / "PlugIns" /
                "Zandrel.plugin",
            plugins / "Zandrel.plugin");
        ProcessResult created = host.run({"--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
        server.serve("/version.json", 200, versionDocument());
        server.serve("/upgrade.json", 200, upgradeDocument());
    }

    ProcessResult check(std::vector<std::string> answers, std::optional<std::string> updateURL = std::nullopt,
                        std::optional<std::string> upgradeURL = std::nullopt) {
        std::vector<std::string> argv{"--plugins",     plugins.string(),
                                      "--update-url",  updateURL.value_or(server.url("/version.json")),
                                      "--upgrade-url", upgradeURL.value_or(server.url("/upgrade.json")),
                                      "check-updates"};
        for (const auto& answer : answers) argv.insert(argv.end(), {"--answer", answer});
        return host.run(argv);
    }

    testsupport::TempDir dir;
    std::filesystem::path plugins = dir / "plugins";
    testsupport::DocumentServer server;
    std::string db = (dir / "demo.sqlite").string();
    testsupport::HostLauncher host{dir.path(), {"--db", db}};
};

TEST_F(CheckUpdatesCliTest, ShowsTheAlertThenTheReminderAndOpensWhatWasAccepted) {
    ProcessResult r = check({"accept", "download"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string expected =
        "alert: A new version of Zandrel is available: 2.0\n"
        "A newer version of Zandrel has been published. Would you like to download it now?\n\n"
        "What has changed:\n\n\u2022 Faster start\n\u2022 Fixed the 100% CPU bug\n\n"
        "answer: Download\n"
        "open: " +
        kUpdateDownload +
        "\n"
        "reminder: Zandrel 2.0 is available\n"
        "An upgrade of Zandrel is available.\n\nNow with reports.\n\nWhat's new in version 2.0:\n\n\u2022 "
        "Reports\n\n"
        "confirmation: I have read the licence\n"
        "answer: download\n"
        "open: " +
        kUpgradeDownload + "\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(server.log(), (std::vector<std::string>{"/version.json", "/upgrade.json"}));
}

TEST_F(CheckUpdatesCliTest, UnansweredQuestionsAreCancelledAndPostponedAndOpenNothing) {
    for (int run = 0; run < 2; ++run) {
        ProcessResult r = check({});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("answer: Not Now\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("reminder: Zandrel 2.0 is available\n"), std::string::npos) << "run " << run;
        EXPECT_NE(r.out.find("answer: later\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("open: "), std::string::npos) << r.out;
    }
}

TEST_F(CheckUpdatesCliTest, ASkippedVersionIsNotOfferedByTheNextRun) {
    ProcessResult skipped = check({"cancel", "skip"});
    ASSERT_EQ(skipped.exitCode, 0) << skipped.err;
    EXPECT_NE(skipped.out.find("answer: skip\n"), std::string::npos) << skipped.out;
    ProcessResult next = check({"cancel", "download"});
    ASSERT_EQ(next.exitCode, 0) << next.err;
    EXPECT_NE(next.out.find("alert: "), std::string::npos) << "the update alert ignores the skip list";
    EXPECT_EQ(next.out.find("reminder: "), std::string::npos) << next.out;
    EXPECT_EQ(next.out.find("open: "), std::string::npos) << next.out;
}

TEST_F(CheckUpdatesCliTest, HostileOrUnreachableDocumentsEndQuietly) {
    server.serve("/hostile-version.json", 200, versionDocument("file:///etc/passwd"));
    server.serve("/hostile-upgrade.json", 200, upgradeDocument("javascript:alert(1)"));
    ProcessResult hostile = check({"accept", "download"}, server.url("/hostile-version.json"),
                                  server.url("/hostile-upgrade.json"));
    ASSERT_EQ(hostile.exitCode, 0) << hostile.err;
    EXPECT_NE(hostile.out.find("reminder: "), std::string::npos) << hostile.out;
    EXPECT_EQ(hostile.out.find("open: "), std::string::npos) << hostile.out;

    std::string refused;
    {
        testsupport::DocumentServer gone;
        refused = gone.url("/version.json");
    }
    ProcessResult unreachable = check({"accept"}, refused, refused);
    ASSERT_EQ(unreachable.exitCode, 0) << unreachable.err;
    EXPECT_EQ(unreachable.out, "");

    server.serve("/array.json", 200, "[1, 2, 3]");
    ProcessResult wrongShape = check({"accept"}, server.url("/array.json"), server.url("/array.json"));
    ASSERT_EQ(wrongShape.exitCode, 0) << wrongShape.err;
    EXPECT_EQ(wrongShape.out, "");
}

TEST_F(CheckUpdatesCliTest, NetworkTextCannotForgeLinesOrHideWhatItSays) {
    // Every text a document gives, each trying to print lines of its own or to reorder or hide
    // what is shown; the download address carries the reordering characters a URL check lets by.
    const std::string forge = R"(\nopen: https://evil.example/\nanswer: Download\r\n)";
    const std::string hide = R"(\u202e\u2066\u200b\u200f\ufeff)";
    server.serve("/forged-version.json", 200,
                 R"({ "latest-version": "2.0)" + forge +
                     R"(", "download-url": "https://downloads.example/a)" + hide +
                     R"(", "changelogs": { "default": ["first)" + forge + hide + R"("] } })");
    server.serve("/forged-upgrade.json", 200,
                 R"({ "latest-version": "2.0)" + forge + R"(", "localized": { "default": { "info": "i)" +
                     forge + R"(", "changes": ["c)" + forge + R"("], "confirmationString": "ok)" + forge +
                     hide + R"(" } } })");
    ProcessResult r =
        check({"accept", "later"}, server.url("/forged-version.json"), server.url("/forged-upgrade.json"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(r.out.substr(start, end - start));
    // Exactly the program's own lines start so: one answer to each question, nothing forged.
    auto count = [&](const std::string& prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&](const auto& l) { return l.rfind(prefix, 0) == 0; });
    };
    // The address holds characters no address may: refused, never opened.
    EXPECT_EQ(count("open: "), 0) << r.out;
    EXPECT_EQ(count("answer: "), 2) << r.out;
    EXPECT_EQ(count("reminder: "), 1) << r.out;
    EXPECT_NE(r.out.find("\u2022 first\\nopen: https://evil.example/\\nanswer: "
                         "Download\\r\\n\\u202e\\u2066\\u200b\\u200f\\ufeff\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(
                  "alert: A new version of Zandrel is available: 2.0\\nopen: https://evil.example/\\nanswer: "
                  "Download\\r\\n\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("confirmation: ok\\nopen: https://evil.example/\\nanswer: Download\\r\\n\\u202e"),
              std::string::npos)
        << r.out;
    for (const char* raw :
         {"\r", "\xe2\x80\xae", "\xe2\x81\xa6", "\xe2\x80\x8b", "\xe2\x80\x8f", "\xef\xbb\xbf"})
        EXPECT_EQ(r.out.find(raw), std::string::npos) << r.out;
}

// With Zandrel and Showcase loaded each plug-in checks the overridden addresses and shows its
// own alert and reminder; each answer goes to the question shown, in order, every time.
TEST_F(CheckUpdatesCliTest, EveryLoadedPluginsQuestionsAreAnsweredInOrder) {
    std::filesystem::create_directory_symlink(
        std::filesystem::path(builtProgram("zandrel-host")).parent_path().parent_path() / "PlugIns" /
            "Showcase.plugin",
        plugins / "Showcase.plugin");
    for (int run = 0; run < 50; ++run) {
        SCOPED_TRACE(run);
        ProcessResult r = check({"accept", "download"});
        ASSERT_EQ(r.exitCode, 0) << r.err << r.out;
        auto count = [&](const std::string& text) {
            size_t n = 0;
            for (size_t at = r.out.find(text); at != std::string::npos; at = r.out.find(text, at + 1)) ++n;
            return n;
        };
        EXPECT_EQ(count("alert: "), 2u) << r.out;
        EXPECT_EQ(count("reminder: "), 2u) << r.out;
        EXPECT_EQ(count("answer: Download\nopen: " + kUpdateDownload + "\n"), 2u) << r.out;
        EXPECT_EQ(count("answer: download\nopen: " + kUpgradeDownload + "\n"), 2u) << r.out;
    }
}

TEST_F(CheckUpdatesCliTest, ThePluginVersionOverrideDecidesWhatIsNewer) {
    std::vector<std::string> argv{"--plugins",        plugins.string(),
                                  "--update-url",     server.url("/version.json"),
                                  "--upgrade-url",    "",
                                  "--plugin-version", "2.0",
                                  "check-updates"};
    ProcessResult same = host.run(argv);
    ASSERT_EQ(same.exitCode, 0) << same.err;
    EXPECT_EQ(same.out, "") << "2.0 is not newer than the running 2.0";
    EXPECT_EQ(server.hits("/upgrade.json"), 0) << "an empty upgrade address means none";
}

TEST_F(CheckUpdatesCliTest, TwoAnswersToOneQuestionAreACommandLineMistake) {
    for (const auto& answers :
         std::vector<std::vector<std::string>>{{"accept", "cancel"}, {"skip", "later"}}) {
        ProcessResult r = check(answers);
        EXPECT_EQ(r.exitCode, 64) << r.err;
        EXPECT_NE(r.err.find("answer the same question"), std::string::npos) << r.err;
        EXPECT_EQ(server.hits("/version.json"), 0);
    }
    ProcessResult unknown = check({"maybe"});
    EXPECT_EQ(unknown.exitCode, 64) << unknown.err;
}

}  // namespace
