// How the framework finds the current host document, window, database, settings and user, and
// its own texts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "framework/Classes/VEXAHelper.h"
#include "host/database/model/GWUser.h"
#include "platform/foundation/Value.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

using plugintest::OpenDocument;

class HelperTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        startHost(dir / "demo.zandrel");
    }
    std::shared_ptr<DLPObjectContext> contextFor(const std::string& user) {
        auto context = DLPObjectContext::signIn(host->database(), user);
        EXPECT_TRUE(context) << context.status().message();
        return context ? context.value() : nullptr;
    }
};

TEST_F(HelperTest, LoginWindowWithoutDatabaseGivesNothing) {
    host->showLoginWindow();
    ASSERT_TRUE(app.mainWindow());
    EXPECT_EQ(KOPAHelper::mainDocument(), nullptr);
    EXPECT_EQ(KOPAHelper::activeMainWindowController(), nullptr);
    EXPECT_EQ(KOPAHelper::activeMainWindow(), nullptr);
    EXPECT_EQ(KOPAHelper::objectContext(), nullptr);
    EXPECT_EQ(KOPAHelper::mcUserDefaults(), nullptr);
    EXPECT_EQ(KOPAHelper::activeUser(), nullptr);
}

TEST_F(HelperTest, SignedInUsersDocumentWindowDatabaseAndUser) {
    host->showLoginWindow();
    signIn("grace");
    auto context = host->document()->objectContext();
    EXPECT_EQ(KOPAHelper::mainDocument(), host->document());
    auto controller = KOPAHelper::activeMainWindowController();
    ASSERT_TRUE(controller);
    EXPECT_EQ(controller->document(), host->document());
    EXPECT_EQ(KOPAHelper::activeMainWindow(), app.mainWindow());
    EXPECT_EQ(KOPAHelper::objectContext(), context);
    EXPECT_EQ(KOPAHelper::mcUserDefaults().get(), &context->userDefaults());
    auto user = KOPAHelper::activeUser();
    ASSERT_TRUE(user);
    EXPECT_EQ(user, context->user());
    EXPECT_EQ(user->loginName(), platform::Value("grace"));
}

TEST_F(HelperTest, FirstListedDocumentWinsEvenWhenAnotherWindowIsInFront) {
    host->showLoginWindow();
    signIn("ada");
    auto first = host->document();
    auto second = OpenDocument::add(contextFor("grace"), "second database");
    second.controller->showWindow();
    ASSERT_EQ(app.mainWindow(), second.window());

    EXPECT_EQ(KOPAHelper::mainDocument(), first);
    EXPECT_EQ(KOPAHelper::objectContext(), first->objectContext());
    ASSERT_TRUE(KOPAHelper::activeUser());
    EXPECT_EQ(KOPAHelper::activeUser()->loginName(), platform::Value("ada"));
    ASSERT_TRUE(KOPAHelper::activeMainWindow());
    EXPECT_NE(KOPAHelper::activeMainWindow(), second.window());
}

TEST_F(HelperTest, OrderOfTheApplicationsDocumentsDecides) {
    auto graceDocument = OpenDocument::add(contextFor("grace"), "grace");
    auto adaDocument = OpenDocument::add(contextFor("ada"), "ada");
    adaDocument.controller->showWindow();
    graceDocument.controller->showWindow();
    EXPECT_EQ(KOPAHelper::objectContext(), graceDocument.document->objectContext());

    // Nothing is remembered: once the first document is gone the next one is current.
    app.removeDocument(graceDocument.document.get());
    EXPECT_EQ(KOPAHelper::mainDocument(), adaDocument.document);
    EXPECT_EQ(KOPAHelper::objectContext(), adaDocument.document->objectContext());
    EXPECT_EQ(KOPAHelper::activeMainWindow(), adaDocument.window());
}

TEST_F(HelperTest, AnswersFollowSignOff) {
    host->showLoginWindow();
    signIn("ada");
    ASSERT_TRUE(KOPAHelper::objectContext());
    ASSERT_TRUE(host->signOff());
    EXPECT_EQ(KOPAHelper::objectContext(), nullptr);
    EXPECT_EQ(KOPAHelper::activeUser(), nullptr);
}

using FrameworkStringsTest = plugintest::PluginTest;

TEST_F(FrameworkStringsTest, TextsComeFromThePluginBundle) {
    auto bundle = KOPAHelper::frameworkBundle();
    ASSERT_TRUE(bundle);
    EXPECT_TRUE(std::filesystem::equivalent(bundle->bundlePath(), ZANDREL_PLUGIN_BUNDLE));
    EXPECT_EQ(KOPAHelper::VEXAlocalizeString("Skip This Version"),
              bundle->localizedStringForKey("Skip This Version", "", "VEXAFramework"));
}

TEST_F(FrameworkStringsTest, MissingKeyGivesTheKey) {
    for (const std::string key : {"No such framework text", "100%d"})
        EXPECT_EQ(KOPAHelper::VEXAlocalizeString(key), key);
}

// The framework's texts in German, where they differ from their keys. A bundle reads each
// table once per process, in the language of the moment, so the lookups run in a fresh run of
// this test program, where German is chosen before any framework text is read.
TEST_F(FrameworkStringsTest, GermanTextsComeFromTheFrameworkTable) {
    const struct {
        const char* key;
        const char* german;
    } cases[] = {
        {"Download", "Herunterladen"},
        {"Later", "Später"},
        {"Skip This Version", "Diese Version überspringen"},
        {"OK", "OK"},
        {"No such framework text", "No such framework text"},        // a missing key gives the key
        {"Duplicate form definition", "Duplicate form definition"},  // the product's table is another one
    };
    if (std::getenv("ZANDREL_GERMAN_STRINGS_RUN")) {
        setenv("LANGUAGE", "de", 1);  // the fixture chose English; it restores the variable
        for (const auto& c : cases) EXPECT_EQ(KOPAHelper::VEXAlocalizeString(c.key), c.german) << c.key;
        return;
    }
    const auto output = dir / "german-run.txt";
    const std::string command =
        "ZANDREL_GERMAN_STRINGS_RUN=1 /proc/" + std::to_string(getpid()) +
        "/exe --gtest_filter=FrameworkStringsTest.GermanTextsComeFromTheFrameworkTable > '" +
        output.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    std::stringstream text;
    text << std::ifstream(output).rdbuf();
    EXPECT_EQ(status, 0) << text.str();
    EXPECT_NE(text.str().find("[  PASSED  ] 1 test."), std::string::npos) << text.str();
}

// The plug-in object's alerts take their button from the plug-in's own string table.
TEST_F(FrameworkStringsTest, AlertButtonIsLocalizedByThePluginBundle) {
    const struct {
        const char* name;
        const char* table;  // en.lproj/Localizable.json; none for nullptr
        const char* button;
    } cases[] = {
        {"translated", R"({ "OK": "Understood", "Other": "x" })", "Understood"},
        {"key missing", R"({ "Other": "x" })", "OK"},
        {"no table", nullptr, "OK"},
        {"not a text", R"({ "OK": 7 })", "OK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = dir / c.name;
        std::filesystem::create_directories(folder / "Resources" / "en.lproj");
        std::ofstream(folder / "Info.json") << R"({ "CFBundleIdentifier": "com.zandrel.tests.strings" })";
        if (c.table) std::ofstream(folder / "Resources" / "en.lproj" / "Localizable.json") << c.table;
        auto bundle = platform::Bundle::open(folder);
        ASSERT_TRUE(bundle) << bundle.status().message();
        DLPluginObject::setBundleBeingLoaded(bundle.value());
        auto plugin = std::make_shared<KOPAPlugin>();
        DLPluginObject::setBundleBeingLoaded(nullptr);

        ui->clearAlerts();
        ui->answerAlert(c.button);
        plugin->presentMessageWithTitleSubtitleMessage("Zandrel", std::nullopt, "Something to say");
        ASSERT_EQ(ui->alerts().size(), 1u);
        EXPECT_EQ(ui->lastAlert().buttons, std::vector<std::string>{c.button});
    }
}

}  // namespace
