#include <gtest/gtest.h>

#include <set>

#include "host/database/model/Category.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DemoDatabase.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/UserAccount.h"
#include "tests/host/DatabaseTestSupport.h"

using platform::Value;

namespace {

class DemoDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir / "demo.zandrel";
        auto status = host::DemoDatabase::create(file);
        ASSERT_TRUE(status) << status.message();
    }
    testsupport::TempDir dir;
    std::filesystem::path file;
};

TEST_F(DemoDatabaseTest, HasCategoriesAConnectorMapWithJsonAndASharedSetting) {
    auto context = DLPObjectContext::open(file, "grace");
    ASSERT_TRUE(context) << context.status().message();
    struct Case {
        const char* name;
        const char* flag;
    } categories[] = {{"VIP", "forContact"}, {"Supplier", "forOrganization"}, {"Internal", "forProject"}};
    for (const auto& c : categories) {
        auto found = (*context)->objectsForEntityNamedQualifierLocumBindings("Category", "name == $n",
                                                                             {{"n", c.name}});
        ASSERT_TRUE(found && found->size() == 1) << c.name;
        EXPECT_EQ(*found->front()->valueForKey(c.flag), Value(true)) << c.name;
        EXPECT_EQ(*found->front()->valueForKey("forTask"), Value(false)) << c.name;
    }
    auto maps = (*context)->objectsForEntityNamedQualifierLocumBindings("GWConnectorMap",
                                                                        "foreignAppName == 'Mailer'");
    ASSERT_TRUE(maps && maps->size() == 1);
    auto map = std::static_pointer_cast<GWConnectorMap>(maps->front());
    auto ada = (*context)->objectsForEntityNamedQualifierLocumBindings("Contact", "firstName == 'Ada'");
    ASSERT_TRUE(ada && ada->size() == 1);
    EXPECT_EQ(map->contactID(), Value(ada->front()->primaryKeyValue()));
    EXPECT_EQ(Value::parseJson(map->foreignDatabase().asString()).value("list", std::string()), "Newsletter");
    // Kept in the global scope: every user reads it once it is registered as a global setting.
    MCUserDefaults::removeAllRegistrations();
    auto unregistered = (*context)->userDefaults().objectForKey("DemoWelcomeText");
    ASSERT_TRUE(
        MCUserDefaults::registerUserDefaultFromConfig(platform::Dictionary{{"Key", "DemoWelcomeText"},
                                                                           {"StorageType", "Database"},
                                                                           {"Scope", "Global"},
                                                                           {"ValueType", "String"}}));
    auto welcome = (*context)->userDefaults().objectForKey("DemoWelcomeText");
    MCUserDefaults::removeAllRegistrations();
    ASSERT_TRUE(unregistered && welcome) << welcome.status().message();
    EXPECT_EQ(*unregistered, Value());
    EXPECT_EQ(*welcome, Value("Welcome to the demo database."));
}

TEST_F(DemoDatabaseTest, HasUsersWithContacts) {
    auto database = host::Database::open(file);
    ASSERT_TRUE(database);
    auto accounts = host::UserAccount::list(*database);
    ASSERT_TRUE(accounts) << accounts.status().message();
    ASSERT_EQ(accounts->size(), 3u);
    EXPECT_EQ((*accounts)[0].signInName, "ada");
    EXPECT_EQ((*accounts)[0].name, "Ada Lovelace");
    EXPECT_TRUE((*accounts)[0].active);
    EXPECT_EQ((*accounts)[1].signInName, "grace");
    EXPECT_EQ((*accounts)[2].signInName, "alan");
    EXPECT_FALSE((*accounts)[2].active);
    auto context = DLPObjectContext::open(file, "grace");
    ASSERT_TRUE(context);
    for (const auto& account : *accounts) {
        auto contact = (*context)->objectForEntityNamedWherePrimaryKeyValueIs("Contact", account.contactID);
        ASSERT_TRUE(contact && *contact) << account.signInName;
        EXPECT_NE(account.name.find((*contact)->valueForKey("lastName")->asString()), std::string::npos);
    }
}

TEST_F(DemoDatabaseTest, HasActiveAndInactiveTemplatesWithFieldsOfEveryKind) {
    auto context = DLPObjectContext::open(file, "ada");
    ASSERT_TRUE(context);
    auto active = (*context)->optionsCache().activeCustomRecordSetDefinitions();
    ASSERT_TRUE(active);
    std::vector<std::string> names;
    for (const auto& form : *active) names.push_back(form->name().asString());
    EXPECT_EQ(names, (std::vector<std::string>{"Customer Profile", "Event Registration", "Project Intake",
                                               "Quick Notes"}));
    EXPECT_EQ(*(*context)->resultCountForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition",
                                                                           "active == NO"),
              1);

    std::set<int64_t> kinds;
    bool popUpWithOptions = false;
    for (const auto& form : *active) {
        auto fields = form->customRecordDefinitions();
        ASSERT_TRUE(fields);
        if (form->name() == Value("Quick Notes")) {
            EXPECT_TRUE(fields->empty());
        }
        if (form->name() == Value("Customer Profile")) {
            ASSERT_EQ(fields->size(), 5u);
            EXPECT_EQ((*fields)[0]->name(), Value("Industry"));
            EXPECT_EQ((*fields)[4]->name(), Value("Notes"));
            EXPECT_EQ(form->forContact(), Value(true));
            EXPECT_EQ(form->forProject(), Value(false));
        }
        for (const auto& field : *fields) {
            kinds.insert(field->typeCode().asInteger());
            if (field->typeCode() == Value(int64_t{CustomRecordDefinition::PopUp}))
                popUpWithOptions =
                    popUpWithOptions || (field->options().isArray() && !field->options().asArray().empty());
        }
    }
    EXPECT_TRUE(popUpWithOptions);
    for (int64_t kind :
         {CustomRecordDefinition::Text, CustomRecordDefinition::Number, CustomRecordDefinition::Date,
          CustomRecordDefinition::PopUp, CustomRecordDefinition::CheckBox})
        EXPECT_TRUE(kinds.count(kind)) << "type code " << kind;
}

TEST_F(DemoDatabaseTest, RefusesToOverwriteADatabaseWithRecords) {
    const std::string before = dir.read("demo.zandrel");
    auto again = host::DemoDatabase::create(file);
    ASSERT_FALSE(again);
    EXPECT_NE(again.message().find("already holds records"), std::string::npos) << again.message();
    EXPECT_EQ(dir.read("demo.zandrel"), before);

    dir.write("other.db", "");
    hosttest::rawExec(dir / "other.db", "CREATE TABLE notes (text)");
    auto foreign = host::DemoDatabase::create(dir / "other.db");
    ASSERT_FALSE(foreign);
    EXPECT_NE(foreign.message().find("is not a zandrel-host database"), std::string::npos)
        << foreign.message();
}

TEST_F(DemoDatabaseTest, FillsAnEmptyDatabaseOfOurs) {
    auto empty = dir / "empty.zandrel";
    ASSERT_TRUE(host::Database::open(empty));
    auto status = host::DemoDatabase::create(empty);
    ASSERT_TRUE(status) << status.message();
    EXPECT_EQ(hosttest::rawQuery(empty, "SELECT count(*) FROM CustomRecordSetDefinition"), "5");
}

}  // namespace
