// The upgrade reminder through real GTK widgets: zandrel-host --gui asks a loopback server for
// the upgrade document at launch, the reminder sheet shows it, and a script answers it. Checked:
// what the widgets show (texts, the download button following the confirmation box), what each
// answer leaves in the user defaults and whether the next launch reminds again, the address
// handed to the desktop's browser, and the screenshots.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/gui/GuiScriptSupport.h"
#include "tests/support/DocumentServer.h"

namespace {

namespace fs = std::filesystem;
using guitest::parseShows;
using guitest::Screenshot;

const std::string kDownload = "https://downloads.example/Zandrel-Pro-2.0.zip";
const std::string kReminderTitle = "window \"Update Available\" modal";

class GuiUpgradeReminderTest : public guitest::GuiScriptTest {
protected:
    void SetUp() override {
        server.serve(
            "/upgrade.json", 200,
            R"({ "latest-version": "2.0", "min-version-daylite": "6.0", "download-url": ")" + kDownload +
                R"(", "localized": { "default": { "info": "Now with reports.", "changes": ["Reports"],
                         "confirmationString": "I have read the licence" } } })");
        // Zandrel alone: each loaded plug-in would ask the same address and show its own reminder.
        fs::create_directories(plugins);
        fs::create_directory_symlink(
            fs::path(testsupport::builtProgram("zandrel-host")).parent_path().parent_path() / "PlugIns" /
                "Zandrel.plugin",
            plugins / "Zandrel.plugin");
        installBrowser();
        db = newDatabase("reminder.sqlite");
    }
    void TearDown() override {
        if (opened >= 0) ::close(opened);
    }

    std::vector<std::string> arguments() {
        return {"--db",         db.string(), "--plugins",     plugins.string(),
                "--update-url", "",          "--upgrade-url", server.url("/upgrade.json")};
    }
    testsupport::ProcessResult run(const std::string& script, std::vector<std::string> extra = {}) {
        auto args = arguments();
        args.insert(args.end(), extra.begin(), extra.end());
        auto r = runGui(args, script);
        expectNoGtkComplaints(r.err);
        return r;
    }

    // The versions the user chose to skip, as stored in the host's user defaults.
    std::vector<std::string> skippedVersions() {
        std::ifstream in(dir / "config" / "zandrel" / "zandrel-host.json");
        if (!in) return {};
        auto defaults = nlohmann::json::parse(in);
        std::vector<std::string> versions;
        for (const auto& [key, value] : defaults.items())
            if (key.find("VersionSkipList") != std::string::npos &&
                key.find("com.zandrel.daylite.plugin.Zandrel") != std::string::npos)
                for (const auto& v : value) versions.push_back(v.get<std::string>());
        return versions;
    }

    // The desktop's web browser for this test: a handler of http(s) addresses that writes the
    // address it is given into a pipe the test reads.
    void installBrowser() {
        fs::path fifo = dir / "browser.fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // Open before any writer: reading never blocks, and a writer's open does not wait.
        opened = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(opened, 0);
        fs::create_directories(dir / "data" / "applications");
        dir.write("data/applications/zandrel-test-browser.desktop",
                  "[Desktop Entry]\nType=Application\nName=Test browser\nNoDisplay=true\n"
                  "MimeType=x-scheme-handler/https;x-scheme-handler/http;\n"
                  "Exec=/bin/sh -c 'printf \"%%s\\\\n\" \"$1\" >> \"" +
                      fifo.string() + "\"' browser %u\n");
        fs::create_directories(dir / "config");
        dir.write("config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/https=zandrel-test-browser.desktop\n"
                  "x-scheme-handler/http=zandrel-test-browser.desktop\n");
    }
    // What the browser was given: waits up to `patience` for the first address.
    std::string browserGot(std::chrono::milliseconds patience) {
        pollfd p{opened, POLLIN, 0};
        std::string text;
        if (::poll(&p, 1, static_cast<int>(patience.count())) <= 0) return text;
        char buffer[512];
        for (ssize_t n; (n = ::read(opened, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }

    testsupport::DocumentServer server;
    fs::path plugins = dir / "plugins";
    fs::path db;
    int opened = -1;
};

TEST_F(GuiUpgradeReminderTest, ShowsTheDocumentAndDownloadFollowsTheConfirmationBox) {
    auto r = run("show\ntick confirm\nshow\ntick confirm\nshow\npress later\nshow\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    auto shows = parseShows(r.out);
    ASSERT_EQ(shows.size(), 4u) << r.out;
    struct Expected {
        const char* confirm;
        const char* download;
    };
    const std::vector<Expected> states{{"check box \"\" off", "button \"Download\" default disabled"},
                                       {"check box \"\" on", "button \"Download\" default"},
                                       {"check box \"\" off", "button \"Download\" default disabled"}};
    for (size_t i = 0; i < states.size(); ++i) {
        SCOPED_TRACE("show " + std::to_string(i + 1));
        const auto& controls = shows[i].controls;
        EXPECT_EQ(shows[i].title, kReminderTitle);
        EXPECT_EQ(controls.at("title").line, "label \"Zandrel 2.0 is available\"");
        EXPECT_EQ(controls.at("message").line,
                  "label \"An upgrade of Zandrel is available.\\n\\nNow with reports.\\n\\nWhat's new in "
                  "version 2.0:\\n\\n\u2022 Reports\\n\"");
        EXPECT_EQ(controls.at("confirmLabel").line, "label \"I have read the licence\"");
        EXPECT_EQ(controls.at("skip").line, "button \"Skip This Version\"");
        EXPECT_EQ(controls.at("later").line, "button \"Not Now\"");
        EXPECT_EQ(controls.at("confirm").line, states[i].confirm);
        EXPECT_EQ(controls.at("download").line, states[i].download);
    }
    // Not Now closed the sheet: the main window is the key window again.
    EXPECT_NE(shows[3].title, kReminderTitle);
    EXPECT_EQ(shows[3].controls.count("templates"), 1u);
    EXPECT_EQ(server.hits("/upgrade.json"), 1);
}

TEST_F(GuiUpgradeReminderTest, EachAnswerIsKeptAsItShouldBe) {
    struct Case {
        const char* name;
        std::string script;
        int exitCode;
        std::vector<std::string> skipped;  // in the user defaults afterwards
        bool opens;                        // the download address goes to the browser
        bool remindsAgain;                 // at the next launch
    };
    const std::vector<Case> cases{
        {"not now", "press later\n", 0, {}, false, true},
        {"skip", "press skip\n", 0, {"2.0"}, false, false},
        {"download", "tick confirm\npress download\n", 0, {}, true, true},
        // A disabled button cannot be pressed; the script stops and the sheet is closed unanswered.
        {"download unconfirmed", "press download\n", 4, {}, false, true},
        {"closed at the end", "show\n", 0, {}, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir / "config" / "zandrel" / "zandrel-host.json");
        auto r = run(c.script);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out << r.err;
        EXPECT_EQ(skippedVersions(), c.skipped);
        if (c.opens) {
            EXPECT_EQ(browserGot(std::chrono::seconds(10)), kDownload + "\n");
        } else {
            // The host has exited: an address it handed over would be on its way already.
            EXPECT_EQ(browserGot(std::chrono::milliseconds(0)), "");
        }
        auto next = run("show\n");
        ASSERT_EQ(next.exitCode, 0) << next.err;
        auto shows = parseShows(next.out);
        ASSERT_EQ(shows.size(), 1u) << next.out;
        EXPECT_EQ(shows[0].title == kReminderTitle, c.remindsAgain) << next.out;
    }
    EXPECT_EQ(browserGot(std::chrono::milliseconds(0)), "") << "nothing else was opened";
}

TEST_F(GuiUpgradeReminderTest, AnUpdateAlertTheScriptLeavesUnansweredIsDeclined) {
    server.serve("/version.json", 200,
                 R"({ "latest-version": "2.0", "download-url": "https://downloads.example/update.zip",
                      "changelogs": { "default": ["Faster"] } })");
    auto args = arguments();
    args[5] = server.url("/version.json");  // --update-url
    args[7] = "";                           // --upgrade-url
    auto r = runGui(args, "show\n");
    expectNoGtkComplaints(r.err);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(
        r.out.find(
            "(no more input: alert \"A new version of Zandrel is available: 2.0\" answered \"Not Now\")"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("default button"), std::string::npos) << r.out;
    // The host has exited: an address it handed over would be on its way already.
    EXPECT_EQ(browserGot(std::chrono::milliseconds(0)), "");
}

TEST_F(GuiUpgradeReminderTest, ASilentServerHoldsTheScriptBackOnlyOnce) {
    // Answers long after the script is done (cut short when the test ends).
    server.serve("/upgrade.json", {200, "{}", std::chrono::seconds(60)});
    auto r = run("show\nshow\nshow\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    auto shows = parseShows(r.out);
    ASSERT_EQ(shows.size(), 3u) << r.out;
    for (const auto& shown : shows) EXPECT_EQ(shown.controls.count("templates"), 1u) << "the main window";
    EXPECT_EQ(server.hits("/upgrade.json"), 1);
}

TEST_F(GuiUpgradeReminderTest, ScreenshotsShowTheControlsWhereTheyWereLaidOut) {
    fs::path shots = dir / "shots";
    auto r = run("show\ntick confirm\nshow\n", {"--screenshot-dir", shots.string()});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    auto shows = parseShows(r.out);
    ASSERT_EQ(shows.size(), 2u) << r.out;
    Screenshot unconfirmed(shots / "001.png"), confirmed(shots / "002.png");
    ASSERT_TRUE(unconfirmed.loaded() && confirmed.loaded()) << unconfirmed.message << confirmed.message;

    const auto& controls = shows[0].controls;
    for (const char* id :
         {"icon", "title", "message", "confirm", "confirmLabel", "skip", "later", "download"}) {
        SCOPED_TRACE(id);
        const auto& control = controls.at(id);
        ASSERT_GT(control.width, 0);
        ASSERT_GT(control.height, 0);
        EXPECT_LE(control.x + control.width, unconfirmed.width);
        EXPECT_LE(control.y + control.height, unconfirmed.height);
        auto [drawn, colours] = unconfirmed.ink(control);
        EXPECT_GT(drawn, 30u) << "the control is not drawn where it was laid out";
        EXPECT_GT(colours, 3u) << "one flat colour: no text or frame there";
        EXPECT_EQ(shows[1].controls.at(id).x, control.x) << "ticking moves nothing";
        EXPECT_EQ(shows[1].controls.at(id).y, control.y);
    }
    // Ticking the box changes the box and the download button, and nothing else.
    for (const char* id : {"confirm", "download"})
        EXPECT_NE(unconfirmed.region(controls.at(id)), confirmed.region(controls.at(id))) << id;
    for (const char* id : {"title", "message", "confirmLabel", "skip", "later"})
        EXPECT_EQ(unconfirmed.region(controls.at(id)), confirmed.region(controls.at(id))) << id;
    // The enabled default button is drawn in more colour than the disabled one.
    auto distinct = [](const std::vector<uint32_t>& pixels) {
        return std::set<uint32_t>(pixels.begin(), pixels.end()).size();
    };
    EXPECT_GT(confirmed.ink(controls.at("download")).first, unconfirmed.ink(controls.at("download")).first);
    EXPECT_GT(distinct(confirmed.region(controls.at("download"))), 3u);
}

}  // namespace
