// Feature permissions: the configuration file, and grants kept as permission records that every
// user and every connection to the database sees.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "framework/Classes/VEXAFeature.h"
#include "framework/Classes/VEXAHelper.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWUser.h"
#include "tests/host/StoreTestSupport.h"
#include "tests/plugin/PluginTestSupport.h"
#include "tests/support/ChildProcesses.h"

namespace {

using platform::Value;

constexpr const char* kConfig = R"({
  "export": { "description": "Export to CSV" },
  "reports": { "description": "Monthly reports", "since": "2.0" },
  "bare": {}
})";

std::filesystem::path writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(FeatureConfigurationTest, WellFormedFilesGiveEveryFeatureAndOthersSayWhatIsWrong) {
    auto features = KOPAFeature::featuresFromConfiguration(kConfig);
    ASSERT_TRUE(features) << features.status().message();
    ASSERT_EQ(features->size(), 3u);
    std::map<std::string, std::optional<std::string>> seen;
    for (const auto& feature : *features) seen[feature->identifier()] = feature->featureDescription();
    EXPECT_EQ(seen,
              (std::map<std::string, std::optional<std::string>>{
                  {"bare", std::nullopt}, {"export", "Export to CSV"}, {"reports", "Monthly reports"}}));
    auto empty = KOPAFeature::featuresFromConfiguration("{}");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    struct Case {
        const char* text;
        const char* reason;
    } broken[] = {
        {"", "not JSON"},
        {"{\"a\": {}", "not JSON"},
        {"[]", "top level is a array"},
        {"\"features\"", "top level is a string"},
        {R"({"a": {}, "b": "text"})", "feature \"b\" is a string"},
        {R"({"a": []})", "feature \"a\" is a array"},
        {R"({"a": {"description": 5}})", "description of the feature \"a\" is a integer"},
    };
    for (const auto& c : broken) {
        auto result = KOPAFeature::featuresFromConfiguration(c.text);
        ASSERT_FALSE(result) << c.text;
        EXPECT_NE(result.status().message().find(c.reason), std::string::npos) << result.status().message();
    }
}

TEST(FeatureConfigurationTest, ABrokenFileEndsTheInitialisationNamingTheFileAndLeavesNoTable) {
    testsupport::TempDir dir;
    auto good = writeFile(dir / "features.json", R"({"a": {}})");
    struct Case {
        std::filesystem::path file;
        const char* reason;
    } cases[] = {
        {writeFile(dir / "broken-features.json", R"({"a": {}, "b": 3})"),
         "broken-features.json is broken: the feature \"b\""},
        {writeFile(dir / "not-json.json", "{"), "not-json.json is broken: it is not JSON"},
        {dir / "missing.json", "missing.json is broken"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile("Test", good);
        ASSERT_TRUE(KOPAFeature::existsFeatureWithID("a"));
        try {
            KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile("Test", c.file);
            ADD_FAILURE() << "a broken file was taken";
        } catch (const KOPAFeatureConfigurationError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("feature configuration file"), std::string::npos)
                << e.what();
        }
        // Nothing partial and nothing older is used.
        EXPECT_TRUE(KOPAFeature::allFeatures().empty());
        EXPECT_FALSE(KOPAFeature::existsFeatureWithID("a"));
    }
}

class FeaturePermissionTest : public hosttest::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        hosttest::addUser(*context, "cy", "Cy Other", true);
        ASSERT_TRUE(context->saveChanges());
        auto other = DLPObjectContext::open(file, "cy");
        ASSERT_TRUE(other) << other.status().message();
        cyContext = *other;
        ada = context->user();
        cy = cyContext->user();
        KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile(
            "Showcase", writeFile(dir / "features.json", kConfig));
        exportFeature = KOPAFeature::featureForID("export");
        ASSERT_TRUE(exportFeature);
    }

    int64_t records(const std::string& feature, int64_t contact) {
        return std::stoll(rawQuery(
            "SELECT count(*) FROM GWConnectorMap WHERE foreignAppName = 'Showcase' AND foreignEntityType = "
            "'FeaturePermission' AND foreignID = '" +
            feature + "' AND contactID = " + std::to_string(contact)));
    }
    int64_t contactOf(const std::shared_ptr<GWUser>& user) { return user->contactID().asInteger(); }
    void addRecord(DLPObjectContext& in, const std::string& feature, int64_t contact) {
        auto map = in.createObject<GWConnectorMap>(true);
        ASSERT_TRUE(map);
        (*map)->setForeignAppName("Showcase");
        (*map)->setForeignEntityType("FeaturePermission");
        (*map)->setForeignID(feature);
        (*map)->setContactID(contact);
        ASSERT_TRUE(in.saveChanges());
    }
    bool has(DLPObjectContext& in, const std::shared_ptr<GWUser>& user, const char* feature) {
        return KOPAFeature::userHasFeatureWithID(in, user.get(), feature);
    }
    bool any(DLPObjectContext& in, std::vector<std::string> features) {
        return KOPAFeature::userOfContextHasAnyFeatureWithIDs(in, features);
    }

    std::shared_ptr<DLPObjectContext> cyContext;
    std::shared_ptr<GWUser> ada, cy;
    std::shared_ptr<KOPAFeature> exportFeature;
};

TEST_P(FeaturePermissionTest, TheTableAnswersByIdentifier) {
    EXPECT_EQ(KOPAFeature::allFeatures().size(), 3u);
    EXPECT_TRUE(KOPAFeature::existsFeatureWithID("bare"));
    EXPECT_FALSE(KOPAFeature::existsFeatureWithID("Export"));
    EXPECT_EQ(KOPAFeature::featureForID("nothing"), nullptr);
    EXPECT_EQ(KOPAFeature::featureForID("bare")->featureDescription(), std::nullopt);
    EXPECT_EQ(KOPAFeature::connectorMapForeignAppName(), "Showcase");

    // A new initialisation replaces the table; features handed out before stay usable.
    KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile(
        "Showcase", writeFile(dir / "fewer.json", R"({"export": {"description": "Export"}})"));
    EXPECT_EQ(KOPAFeature::allFeatures().size(), 1u);
    EXPECT_FALSE(KOPAFeature::existsFeatureWithID("bare"));
    EXPECT_EQ(exportFeature->identifier(), "export");
    EXPECT_EQ(exportFeature->featureDescription(), "Export to CSV");
}

TEST_P(FeaturePermissionTest, AGrantForAllUsersCountsForEachUserButNotAsTheirOwnRecord) {
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, true, nullptr));
    EXPECT_EQ(records("export", 0), 1);
    struct Case {
        std::shared_ptr<GWUser> user;
        bool expected;
    } checks[] = {{ada, true}, {cy, true}, {nullptr, true}};
    for (const auto& c : checks) EXPECT_EQ(has(*context, c.user, "export"), c.expected);
    EXPECT_FALSE(any(*context, {"export"}));
    EXPECT_FALSE(any(*cyContext, {"export", "reports"}));

    // Taking it from one user leaves it active for that user through the all-users record.
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, false, ada.get()));
    EXPECT_TRUE(has(*context, ada, "export"));
    EXPECT_EQ(records("export", 0), 1);

    ASSERT_TRUE(exportFeature->setActiveForUser(*context, false, nullptr));
    EXPECT_FALSE(has(*context, ada, "export"));
    EXPECT_EQ(records("export", 0), 0);
}

TEST_P(FeaturePermissionTest, OwnGrantsCountForTheirUserOnlyAndGrantingTwiceKeepsOneRecord) {
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, true, cy.get()));
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, true, cy.get()));
    EXPECT_EQ(records("export", contactOf(cy)), 1);
    EXPECT_TRUE(has(*context, cy, "export"));
    EXPECT_FALSE(has(*context, ada, "export"));
    EXPECT_FALSE(has(*context, nullptr, "export"));
    EXPECT_TRUE(any(*cyContext, {"reports", "export"}));
    EXPECT_FALSE(any(*cyContext, {"reports"}));
    EXPECT_FALSE(any(*cyContext, {}));
    EXPECT_FALSE(any(*context, {"export"}));
}

TEST_P(FeaturePermissionTest, AWithdrawalDeletesEveryRecordOfTheUser) {
    // Two records of one grant, as hosts granting at once could leave them before.
    addRecord(*context, "export", contactOf(ada));
    addRecord(*context, "export", contactOf(ada));
    addRecord(*context, "export", contactOf(cy));
    ASSERT_EQ(records("export", contactOf(ada)), 2);
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, false, ada.get()));
    EXPECT_EQ(records("export", contactOf(ada)), 0);
    EXPECT_FALSE(has(*context, ada, "export"));
    EXPECT_EQ(records("export", contactOf(cy)), 1) << "another user's record stays";
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, false, ada.get()))
        << "withdrawing nothing is no error";
}

TEST_P(FeaturePermissionTest, AGrantAfterAnotherConnectionsGrantAddsNoSecondRecord) {
    // Each looks the records up afresh, whatever the other connection did before.
    ASSERT_TRUE(exportFeature->setActiveForUser(*cyContext, true, ada.get()));
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, true, ada.get()));
    EXPECT_EQ(records("export", contactOf(ada)), 1);
    ASSERT_TRUE(exportFeature->setActiveForUser(*cyContext, false, ada.get()));
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, false, ada.get()));
    EXPECT_EQ(records("export", contactOf(ada)), 0);
}

TEST_P(FeaturePermissionTest, ProcessesGrantingTheSameFeaturesAtOnceLeaveOneRecordEach) {
    constexpr int kProcesses = 6, kRounds = 4;
    ASSERT_NO_FATAL_FAILURE(testsupport::inConcurrentChildren(kProcesses, [&] {
        // A connection of the child's own; each round grants every feature to ada and to all
        // users (again: granting what is granted must add nothing either).
        auto mine = DLPObjectContext::open(address, "ada");
        bool ok = bool(mine);
        auto me = ok ? (*mine)->user() : nullptr;
        for (int round = 0; ok && round < kRounds; ++round)
            for (const auto& feature : KOPAFeature::allFeatures())
                for (const GWUser* user :
                     {static_cast<const GWUser*>(me.get()), static_cast<const GWUser*>(nullptr)})
                    ok = ok && feature->setActiveForUser(**mine, true, user).isOk();
        return ok;
    }));
    for (const auto& feature : KOPAFeature::allFeatures()) {
        EXPECT_EQ(records(feature->identifier(), contactOf(ada)), 1) << feature->identifier();
        EXPECT_EQ(records(feature->identifier(), 0), 1) << feature->identifier() << " for all users";
    }
}

TEST_P(FeaturePermissionTest, RecordsOfUnknownFeaturesAndOtherApplicationsCountOnlyWhereTheyShould) {
    addRecord(*context, "retired", contactOf(ada));
    EXPECT_TRUE(any(*context, {"retired"})) << "the list is not checked against the configuration";
    EXPECT_FALSE(has(*context, ada, "retired"));

    auto foreign = context->createObject<GWConnectorMap>(true);
    ASSERT_TRUE(foreign);
    (*foreign)->setForeignAppName("Elsewhere");
    (*foreign)->setForeignEntityType("FeaturePermission");
    (*foreign)->setForeignID("export");
    (*foreign)->setContactID(int64_t{0});
    ASSERT_TRUE(context->saveChanges());
    EXPECT_FALSE(has(*context, ada, "export"));
}

TEST_P(FeaturePermissionTest, AGrantSavedOnOneConnectionCountsAtTheOthersNextCheck) {
    EXPECT_FALSE(has(*cyContext, cy, "reports"));
    auto reports = KOPAFeature::featureForID("reports");
    ASSERT_TRUE(reports->setActiveForUser(*context, true, cy.get()));
    EXPECT_TRUE(has(*cyContext, cy, "reports"));
    EXPECT_TRUE(any(*cyContext, {"reports"}));
    ASSERT_TRUE(reports->setActiveForUser(*context, false, cy.get()));
    EXPECT_FALSE(has(*cyContext, cy, "reports"));
    EXPECT_FALSE(any(*cyContext, {"reports"}));

    // And the other way round, for all users.
    ASSERT_TRUE(reports->setActiveForUser(*cyContext, true, nullptr));
    EXPECT_TRUE(has(*context, ada, "reports"));
    ASSERT_TRUE(reports->setActiveForUser(*cyContext, false, nullptr));
    EXPECT_FALSE(has(*context, ada, "reports"));
}

TEST_P(FeaturePermissionTest, AUserWithoutAContactHoldsNoRecordsAndIsNotTakenForAllUsers) {
    auto loose = context->createObject<GWUser>(true);
    ASSERT_TRUE(loose);
    (*loose)->setLoginName("loose");
    ASSERT_TRUE(context->saveChanges());
    auto status = exportFeature->setActiveForUser(*context, true, loose->get());
    ASSERT_FALSE(status);
    EXPECT_NE(status.message().find("has no contact"), std::string::npos) << status.message();
    EXPECT_EQ(records("export", 0), 0);
    EXPECT_FALSE(has(*context, *loose, "export"));
    ASSERT_TRUE(exportFeature->setActiveForUser(*context, true, nullptr));
    EXPECT_TRUE(has(*context, *loose, "export"));
}

// Through the current database of a running host with the plug-in loaded.
class CurrentUserFeatureTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        startHost(dir / "demo.zandrel");
        KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile(
            "Showcase", writeFile(dir / "features.json", kConfig));
    }
};

TEST_F(CurrentUserFeatureTest, WithNobodySignedInChecksAnswerFalseAndChangesAreRefused) {
    EXPECT_FALSE(KOPAFeature::currentUserHasAnyFeatureWithIDs({"export"}));
    EXPECT_FALSE(KOPAFeature::currentUserHasFeatureWithID("export"));
    EXPECT_FALSE(KOPAFeature::featureForID("export")->isActiveForUser(nullptr));
    auto status = KOPAFeature::featureForID("export")->setActiveForAllUsers(true);
    ASSERT_FALSE(status);
    EXPECT_NE(status.message().find("nobody is signed in"), std::string::npos) << status.message();
}

TEST_F(CurrentUserFeatureTest, TheSignedInUsersGrantsAnswer) {
    signIn("ada");
    auto user = KOPAHelper::activeUser();
    ASSERT_TRUE(user);
    EXPECT_FALSE(KOPAFeature::currentUserHasFeatureWithID("export"));
    ASSERT_TRUE(KOPAFeature::featureForID("export")->setActiveForUser(true, user.get()));
    EXPECT_TRUE(KOPAFeature::currentUserHasFeatureWithID("export"));
    EXPECT_TRUE(KOPAFeature::currentUserHasAnyFeatureWithIDs({"export"}));
    ASSERT_TRUE(KOPAFeature::featureForID("reports")->setActiveForAllUsers(true));
    EXPECT_TRUE(KOPAFeature::currentUserHasFeatureWithID("reports"));
    EXPECT_FALSE(KOPAFeature::currentUserHasAnyFeatureWithIDs({"reports"}));
    EXPECT_FALSE(KOPAFeature::currentUserHasFeatureWithID("unknown"));
}

INSTANTIATE_TEST_SUITE_P(Stores, FeaturePermissionTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
