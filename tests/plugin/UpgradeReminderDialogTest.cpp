// The upgrade reminder on its own: the texts for the user's language, the confirmation gating the
// download button, and the icon fetched from a real loopback server without blocking.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/plugin/UpdateTestSupport.h"

namespace plugintest {
namespace {

constexpr char kPngBytes[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0";
const std::string kPng(kPngBytes, sizeof kPngBytes - 1);

// A real picture: the host's own icon, 64 × 64.
std::string realPng() {
    std::ifstream in(std::filesystem::path(ZANDREL_SOURCE_DIR) / "host/Resources/DLAppIcon.png",
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class UpgradeReminderDialogTest : public UpdateTest {
protected:
    std::shared_ptr<KOPAUpgradeReminderDialogController> show(
        const std::string& json, KOPADialogController::Completion completion = nullptr) {
        auto dialog = std::make_shared<KOPAUpgradeReminderDialogController>();
        EXPECT_TRUE(dialog->initWithWindowNibName("VEXAUpgradeReminderDialogController"));
        EXPECT_FALSE(dialog->isWindowLoaded()) << "creation must not load the window";
        dialog->setDataDict(platform::Value::parseJson(json));
        EXPECT_TRUE(dialog->window());
        dialog->runSheetInWindowCompletion(nullptr, std::move(completion));
        return dialog;
    }
    void closeAll() {
        if (auto dialog = openReminder()) dialog->close();
        loop.runPending();
    }
};

const std::string kAvailable = "An upgrade of Zandrel is available.\n";

TEST_F(UpgradeReminderDialogTest, TextsComeFromTheEntryOfTheUsersLanguageElseDefault) {
    const std::string bothEntries = R"({ "latest-version": "2.0", "localized": {
        "de": { "info": "Grosse Version", "changes": ["Eins", "Zwei"], "confirmationString": "Ich habe eine Lizenz" },
        "default": { "changes": ["One"], "confirmationString": "I have a licence" } } })";
    struct Case {
        const char* locale;
        std::string document;
        std::string message;
        std::string confirmation;
    };
    const std::vector<Case> cases = {
        {"de_DE", bothEntries,
         kAvailable + "\nGrosse Version\n\nWhat's new in version 2.0:\n\n\u2022 Eins\n\u2022 Zwei\n",
         "Ich habe eine Lizenz"},
        {"de_CH", bothEntries,
         kAvailable + "\nGrosse Version\n\nWhat's new in version 2.0:\n\n\u2022 Eins\n\u2022 Zwei\n",
         "Ich habe eine Lizenz"},
        {"en_US", bothEntries, kAvailable + "\nWhat's new in version 2.0:\n\n\u2022 One\n",
         "I have a licence"},
        {"de_DE", R"({ "latest-version": "2.0", "localized": { "default": { "changes": [] } } })",
         kAvailable + "\nWhat's new in version 2.0:\n\n", ""},
        {"de_DE", R"({ "latest-version": "2.0" })", kAvailable + "\nWhat's new in version 2.0:\n\n", ""},
        // Texts of the wrong kind count as missing; an entry that is no object falls to "default".
        {"de_DE",
         R"({ "latest-version": "2.0", "localized": { "de": "Text", "default": { "info": 5, "changes": "One",
              "confirmationString": ["x"] } } })",
         kAvailable + "\nWhat's new in version 2.0:\n\n", ""},
        {"de_DE", R"({ "latest-version": "2.0", "localized": ["de"] })",
         kAvailable + "\nWhat's new in version 2.0:\n\n", ""},
        // Network texts are shown escaped, placeholders left alone; a list holding other values
        // is no list.
        {"en_US",
         R"({ "latest-version": "2.0", "localized": { "default": { "info": "\u001b]0;pwned\u0007%@ 100%",
              "changes": ["\u001b[2Jcleared", "two\nlines\u2069"], "confirmationString": "ok\r\nnext" } } })",
         kAvailable + "\n\\x1b]0;pwned\\x07%@ 100%\n\nWhat's new in version 2.0:\n\n\u2022 \\x1b[2Jcleared\n"
                      "\u2022 two\\nlines\\u2069\n",
         "ok\\r\\nnext"},
        {"en_US",
         R"({ "latest-version": "2.0", "localized": { "default": { "changes": [1, null, "real"] } } })",
         kAvailable + "\nWhat's new in version 2.0:\n\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        platform::Locale::setCurrentForTesting(c.locale);
        auto dialog = show(c.document);
        EXPECT_EQ(dialog->titleLabel()->stringValue(), "Zandrel 2.0 is available");
        EXPECT_EQ(dialog->messageLabel()->stringValue(), c.message);
        EXPECT_EQ(dialog->checkboxTitleLabel()->stringValue(), c.confirmation);
        EXPECT_EQ(dialog->skipUpgradeButton()->title(), "Skip This Version");
        EXPECT_EQ(dialog->notNowButton()->title(), "Not Now");
        EXPECT_EQ(dialog->downloadUpgradeButton()->title(), "Download");
        EXPECT_EQ(dialog->imageView()->imageName(), "DLAppIcon");
        closeAll();
    }
}

TEST_F(UpgradeReminderDialogTest, TheCheckBoxGatesTheDownloadButton) {
    auto dialog = show(R"({ "latest-version": "2.0" })");
    auto download = dialog->downloadUpgradeButton();
    auto box = dialog->confirmationCheckbox();
    EXPECT_FALSE(download->isEnabled());
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(ui->tickCheckBox("confirm"));
        EXPECT_TRUE(download->isEnabled());
        ASSERT_TRUE(ui->tickCheckBox("confirm"));
        EXPECT_FALSE(download->isEnabled());
    }
    box->setState(platform::Button::Mixed);
    dialog->confirmationAction(box.get());
    EXPECT_FALSE(download->isEnabled());
    dialog->confirmationAction(nullptr);
    EXPECT_FALSE(download->isEnabled());
    closeAll();
}

TEST_F(UpgradeReminderDialogTest, ButtonsCloseWithTheirResults) {
    struct Case {
        std::string button;
        int64_t result;
    };
    for (const auto& c : std::vector<Case>{{"download", 2}, {"skip", 1}, {"later", 0}}) {
        SCOPED_TRACE(c.button);
        std::optional<int64_t> reported;
        auto dialog = show(R"({ "latest-version": "2.0" })", [&](int64_t result) { reported = result; });
        if (c.button == "download") {
            ASSERT_TRUE(ui->tickCheckBox("confirm"));
        }
        ASSERT_TRUE(ui->pressButton(c.button));
        EXPECT_EQ(reported, c.result);
        loop.runPending();
    }
}

TEST_F(UpgradeReminderDialogTest, TheIconIsFetchedWithoutBlockingAndFallsBackToTheHostIcon) {
    server.serve("/icon.png", {200, realPng(), std::chrono::milliseconds(0), "image/png"});
    // Starts like a picture and is none: its header is all there is.
    server.serve("/header-only.png", {200, kPng, std::chrono::milliseconds(0), "image/png"});
    server.serve("/text.png", {200, "<html>not an image</html>", std::chrono::milliseconds(0), "text/html"});
    server.serve("/missing.png", {404, kPng, std::chrono::milliseconds(0), "image/png"});
    server.serve("/huge.png",
                 {200, kPng + std::string(2 << 20, '\0'), std::chrono::milliseconds(0), "image/png"});
    struct Case {
        std::string url;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {server.url("/icon.png"), server.url("/icon.png")},
        {server.url("/header-only.png"), "DLAppIcon"},
        {server.url("/text.png"), "DLAppIcon"},
        {server.url("/missing.png"), "DLAppIcon"},
        {server.url("/huge.png"), "DLAppIcon"},
        {"file:///usr/share/pixmaps/debian-logo.png", "DLAppIcon"},
        {"not a url", "DLAppIcon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        auto dialog = show(R"({ "latest-version": "2.0", "plugin-icon-url": ")" + c.url + R"(" })");
        EXPECT_EQ(dialog->imageView()->imageName(), "DLAppIcon") << "shown at once, before any reply";
        waitForReplies();
        EXPECT_EQ(dialog->imageView()->imageName(), c.shown);
        // The picture drawn is the downloaded one, pixels and all, or none from the network.
        const auto& image = dialog->imageView()->image();
        const bool downloaded = image && image->name() == c.url;
        EXPECT_EQ(downloaded, c.shown == c.url);
        if (downloaded) {
            ASSERT_TRUE(image->bitmap());
            EXPECT_EQ(image->bitmap()->width(), 64u);
            EXPECT_EQ(image->bitmap()->rgba().size(), 64u * 64u * 4u);
        }
        closeAll();
    }
}

TEST_F(UpgradeReminderDialogTest, WithoutAnIconOfItsOwnTheHostApplicationsIconIsShown) {
    auto host = platform::Bundle::open(ZANDREL_HOST_BUNDLE);
    ASSERT_TRUE(host) << host.status().message();
    platform::Bundle::setMainBundle(host.value());
    auto dialog = show(R"({ "latest-version": "2.0" })");
    const auto& image = dialog->imageView()->image();
    ASSERT_TRUE(image) << "the host bundle's DLAppIcon";
    EXPECT_EQ(image->name(), "DLAppIcon");
    EXPECT_EQ(dialog->imageView()->imageName(), "DLAppIcon");
    ASSERT_TRUE(image->bitmap());
    EXPECT_EQ(image->bitmap()->width(), 64u);
    EXPECT_EQ(image->bitmap()->height(), 64u);
    closeAll();
}

TEST_F(UpgradeReminderDialogTest, ASlowIconNeverHoldsTheDialogBackAndIsDroppedOnClose) {
    server.serve("/slow.png", {200, kPng, std::chrono::milliseconds(10000), "image/png"});
    auto dialog =
        show(R"({ "latest-version": "2.0", "plugin-icon-url": ")" + server.url("/slow.png") + R"(" })");
    EXPECT_TRUE(dialog->window()->isVisible());
    EXPECT_EQ(platform::ASIHTTPRequest::activeRequestCount(), 1u)
        << "the fetch runs while the dialog is shown";
    EXPECT_EQ(dialog->imageView()->imageName(), "DLAppIcon");
    ASSERT_TRUE(ui->pressButton("later"));
    EXPECT_EQ(platform::ASIHTTPRequest::activeRequestCount(), 0u) << "closing drops the fetch";
    loop.runPending();
}

TEST_F(UpgradeReminderDialogTest, RecognisesImageFilesByTheirFirstBytes) {
    using namespace std::string_literals;
    const std::vector<std::pair<std::string, bool>> cases = {
        {kPng, true},
        {"\xFF\xD8\xFF\xE0"s, true},
        {"GIF89a...."s, true},
        {"II*\0rest"s, true},
        {"RIFF\0\0\0\0WEBPVP8 "s, true},
        {"RIFF\0\0\0\0WAVEfmt "s, false},
        {"icns\0\0\0\x10"s + std::string(8, 'x'), true},
        {""s, false},
        {"\x89PNG"s, false},
        {"<svg onload=alert(1)>"s, false},
        {"%PDF-1.4"s, false},
    };
    for (const auto& [bytes, image] : cases)
        EXPECT_EQ(KOPAUpgradeReminderDialogController::looksLikeImage(bytes), image) << bytes.substr(0, 8);
}

}  // namespace
}  // namespace plugintest
