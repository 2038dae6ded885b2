// How the framework finds the current host document, window, database, settings and user, and
// its own texts.

#include <gtest/gtest.h>

#include "framework/Classes/VEXAHelper.h"
#include "host/database/GWUser.h"
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

}  // namespace
