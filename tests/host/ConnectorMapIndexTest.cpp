// The index under permission lookups: made with new files, added to files that predate it
// without a version change, and used by the lookups the plug-ins make.

#include <gtest/gtest.h>

#include <string>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/Qualifier.h"
#include "host/database/sqlite/Database.h"
#include "tests/host/DatabaseTestSupport.h"

namespace {

using platform::Array;
using platform::Value;

constexpr const char* kIndexName = "GWConnectorMap_foreignAppName_foreignEntityType_contactID_foreignID";

std::string indexCount(const std::filesystem::path& file) {
    return hosttest::rawQuery(
        file, std::string("SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND name = '") +
                  kIndexName + "'");
}

class ConnectorMapIndexTest : public hosttest::DatabaseTest {
protected:
    void addPermission(const std::string& feature, int64_t contact) {
        auto map = context->createObject<GWConnectorMap>(true);
        ASSERT_TRUE(map);
        (*map)->setForeignAppName("Showcase");
        (*map)->setForeignEntityType("FeaturePermission");
        (*map)->setForeignID(feature);
        (*map)->setContactID(contact);
    }

    // SQLite's plan for the lookup as the object context words it.
    std::string planFor(const std::string& qualifierText, const platform::Dictionary& bindings) {
        auto database = host::Database::open(file);
        EXPECT_TRUE(database) << database.status().message();
        const auto* entity = host::EntityCatalog::shared().find("GWConnectorMap");
        auto qualifier = host::Qualifier::compile(*entity, qualifierText, bindings);
        EXPECT_TRUE(qualifier) << qualifier.status().message();
        auto statement =
            (*database)->prepare("EXPLAIN QUERY PLAN SELECT count(*) FROM GWConnectorMap WHERE pk > 0 AND (" +
                                 qualifier->sql() + ")");
        EXPECT_TRUE(statement) << statement.status().message();
        qualifier->bindParameters(*statement);
        std::string plan;
        while (statement->step()) plan += statement->columnText(3) + "\n";
        return plan;
    }
};

TEST_F(ConnectorMapIndexTest, NewFilesHaveIt) {
    EXPECT_EQ(indexCount(file), "1");
}

TEST_F(ConnectorMapIndexTest, AFileWithoutItGetsItWhenOpenedForWritingAndKeepsItsVersion) {
    addPermission("export", 7);
    ASSERT_TRUE(context->saveChanges());
    context.reset();
    hosttest::rawExec(file, std::string("DROP INDEX ") + kIndexName);
    ASSERT_EQ(indexCount(file), "0");

    host::Database::Options readOnly;
    readOnly.mode = host::Database::Mode::ReadOnly;
    auto reader = host::Database::open(file, readOnly);
    ASSERT_TRUE(reader) << reader.status().message();
    auto readingContext = DLPObjectContext::signIn(*reader, "ada");
    ASSERT_TRUE(readingContext) << readingContext.status().message();
    auto count =
        (*readingContext)
            ->resultCountForEntityNamedQualifierLocumBindings("GWConnectorMap", "foreignID == 'export'");
    ASSERT_TRUE(count) << count.status().message();
    EXPECT_EQ(*count, 1);
    EXPECT_EQ(indexCount(file), "0") << "a read-only connection changed the file";

    context = signIn();
    EXPECT_EQ(indexCount(file), "1");
    EXPECT_EQ(hosttest::rawQuery(file, "PRAGMA user_version"), "1");
    EXPECT_EQ(hosttest::rawQuery(file, "SELECT value FROM zandrel_meta WHERE name = 'schema_version'"), "1");
}

TEST_F(ConnectorMapIndexTest, PermissionLookupsSearchTheIndex) {
    for (int i = 0; i < 200; ++i) addPermission("feature" + std::to_string(i % 20), i);
    ASSERT_TRUE(context->saveChanges());
    hosttest::rawExec(file, "ANALYZE");
    auto single = planFor(
        "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID = $identifier AND contactID "
        "= $contactID",
        {{"appName", "Showcase"},
         {"entity", "FeaturePermission"},
         {"identifier", "feature3"},
         {"contactID", 3}});
    EXPECT_NE(single.find(std::string("INDEX ") + kIndexName), std::string::npos) << single;
    EXPECT_NE(single.find("contactID=? AND foreignID=?"), std::string::npos) << single;
    auto any = planFor(
        "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID IN $identifiers AND "
        "contactID = $contactID",
        {{"appName", "Showcase"},
         {"entity", "FeaturePermission"},
         {"identifiers", Array{"feature1", "feature2"}},
         {"contactID", 3}});
    EXPECT_NE(any.find(std::string("INDEX ") + kIndexName), std::string::npos) << any;
    EXPECT_NE(any.find("contactID=?"), std::string::npos) << any;
}

}  // namespace
