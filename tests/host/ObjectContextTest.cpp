#include <fmt/format.h>
#include <gtest/gtest.h>

#include "host/database/model/Category.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/GWConnectorMap.h"
#include "tests/host/StoreTestSupport.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

class ObjectContextTest : public hosttest::StoreTest {
protected:
    std::shared_ptr<CustomRecordSetDefinition> makeTemplate(const std::string& name, bool active = true) {
        auto made = context->createObject<CustomRecordSetDefinition>(true);
        EXPECT_TRUE(made);
        (*made)->setName(name);
        (*made)->setActive(active);
        return *made;
    }
    std::shared_ptr<CustomRecordDefinition> addField(CustomRecordSetDefinition& form,
                                                     const std::string& name) {
        auto made = context->createObject<CustomRecordDefinition>(true);
        EXPECT_TRUE(made);
        (*made)->setName(name);
        EXPECT_TRUE(form.addToCustomRecordDefinitions(*made));
        return *made;
    }
    std::vector<std::string> names(const std::vector<std::shared_ptr<DLPObject>>& objects) {
        std::vector<std::string> result;
        for (const auto& object : objects) result.push_back(object->valueForKey("name")->description());
        return result;
    }
    int64_t count(const char* entity, const char* qualifier, const Dictionary& bindings = {}) {
        auto result = context->resultCountForEntityNamedQualifierLocumBindings(entity, qualifier, bindings);
        EXPECT_TRUE(result) << result.status().message();
        return result ? *result : -1;
    }
    std::vector<std::string> fetchNames(const char* entity, const char* qualifier,
                                        const Dictionary& bindings = {}) {
        auto result = context->objectsForEntityNamedQualifierLocumBindings(entity, qualifier, bindings);
        EXPECT_TRUE(result) << result.status().message();
        return result ? names(*result) : std::vector<std::string>{};
    }
};

TEST_P(ObjectContextTest, SignedInUserIsTheOneAskedFor) {
    ASSERT_NE(context->user(), nullptr);
    EXPECT_EQ(context->user()->loginName(), Value("ada"));
    EXPECT_EQ(context->user()->name(), Value("Ada Lovelace"));
    EXPECT_TRUE(context->user()->contactID().isInteger());
}

TEST_P(ObjectContextTest, SignInRefusesUnknownAndInactiveUsers) {
    auto unknown = DLPObjectContext::open(file, "nobody");
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.status().message().find("no user signs in as \"nobody\""), std::string::npos);
    auto inactive = DLPObjectContext::open(file, "bob");
    ASSERT_FALSE(inactive);
    EXPECT_NE(inactive.status().message().find("not active"), std::string::npos);
}

TEST_P(ObjectContextTest, UnsavedInsertsAreSeenByFetchAndCount) {
    makeTemplate("Alpha");
    makeTemplate("Beta", false);
    EXPECT_TRUE(context->hasChanges());
    EXPECT_EQ(count("CustomRecordSetDefinition", ""), 2);
    EXPECT_EQ(count("CustomRecordSetDefinition", "active == YES"), 1);
    EXPECT_EQ(fetchNames("CustomRecordSetDefinition", "name == $n", {{"n", "Beta"}}),
              std::vector<std::string>{"Beta"});
    // Another context sees nothing before the save.
    auto other = signIn();
    EXPECT_EQ(*other->resultCountForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "", {}),
              0);
}

TEST_P(ObjectContextTest, UnsavedUpdatesAndDeletesAreSeenByFetchAndCount) {
    auto alpha = makeTemplate("Alpha");
    auto beta = makeTemplate("Beta");
    makeTemplate("Gamma");
    ASSERT_TRUE(context->saveChanges());
    EXPECT_FALSE(context->hasChanges());

    alpha->setName("Zeta");
    ASSERT_TRUE(context->deleteObjectSkipTrash(beta, true));
    EXPECT_TRUE(context->hasChanges());
    EXPECT_EQ(fetchNames("CustomRecordSetDefinition", ""), (std::vector<std::string>{"Zeta", "Gamma"}));
    EXPECT_EQ(count("CustomRecordSetDefinition", "name == 'Alpha'"), 0);
    EXPECT_EQ(count("CustomRecordSetDefinition", "name == 'Zeta'"), 1);
    EXPECT_EQ(count("CustomRecordSetDefinition", "name == 'Beta'"), 0);
    EXPECT_EQ(count("CustomRecordSetDefinition", ""), 2);
    auto byKey = context->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition",
                                                                     beta->primaryKeyValue());
    ASSERT_TRUE(byKey);
    EXPECT_EQ(*byKey, nullptr);
}

TEST_P(ObjectContextTest, OneRecordIsOneObject) {
    auto alpha = makeTemplate("Alpha");
    ASSERT_TRUE(context->saveChanges());
    auto fetched = context->objectsForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "", {});
    ASSERT_TRUE(fetched);
    ASSERT_EQ(fetched->size(), 1u);
    EXPECT_EQ(fetched->front(), alpha);
    auto byKey = context->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition",
                                                                     alpha->primaryKeyValue());
    EXPECT_EQ(*byKey, alpha);

    auto other = signIn();
    auto first = other->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition",
                                                                   alpha->primaryKeyValue());
    auto second = other->objectsForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "", {});
    ASSERT_TRUE(first && *first && second);
    EXPECT_NE(*first, alpha);
    EXPECT_EQ(second->front(), *first);
    EXPECT_EQ((*first)->objectContext(), other);
}

TEST_P(ObjectContextTest, SavedObjectsReadBackAfterReopeningTheFile) {
    auto form = makeTemplate("Customer");
    form->setDetails("details");
    form->setForContact(true);
    auto field = addField(*form, "Industry");
    field->setOptions(Array{"Retail", "Services"});
    field->setDefaultValue(true);
    field->setTypeCode(3);
    auto number = addField(*form, "Revenue");
    number->setDefaultValue(2.5);
    ASSERT_TRUE(context->saveChanges());
    const int64_t formKey = form->primaryKeyValue();
    context.reset();

    auto reopened = signIn();
    auto read = reopened->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", formKey);
    ASSERT_TRUE(read && *read);
    auto copy = std::dynamic_pointer_cast<CustomRecordSetDefinition>(*read);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->name(), Value("Customer"));
    EXPECT_EQ(copy->details(), Value("details"));
    EXPECT_EQ(copy->forContact(), Value(true));
    EXPECT_TRUE(copy->forContact().isBool());
    EXPECT_EQ(copy->forGroup(), Value(false));  // initial value, never set
    auto fields = copy->customRecordDefinitions();
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->size(), 2u);
    EXPECT_EQ((*fields)[0]->name(), Value("Industry"));
    EXPECT_EQ((*fields)[0]->options(), Value(Array{"Retail", "Services"}));
    EXPECT_TRUE((*fields)[0]->defaultValue().isBool());
    EXPECT_EQ((*fields)[0]->typeCode(), Value(3));
    EXPECT_EQ((*fields)[1]->defaultValue(), Value(2.5));
    EXPECT_TRUE((*fields)[1]->defaultValue().isNumber() && !(*fields)[1]->defaultValue().isInteger());
    EXPECT_TRUE((*fields)[1]->details().isNull());
}

TEST_P(ObjectContextTest, NewObjectsHaveTemporaryKeysUntilTheSaveGivesTheStoredOnes) {
    auto a = makeTemplate("A");
    auto b = makeTemplate("B");
    const int64_t temporaryA = a->primaryKeyValue(), temporaryB = b->primaryKeyValue();
    EXPECT_LT(temporaryA, 0);
    EXPECT_LT(temporaryB, 0);
    EXPECT_NE(temporaryA, temporaryB);
    auto byTemporaryKey =
        context->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", temporaryB);
    ASSERT_TRUE(byTemporaryKey);
    EXPECT_EQ(*byTemporaryKey, b);

    ASSERT_TRUE(context->saveChanges());
    const int64_t keyA = a->primaryKeyValue(), keyB = b->primaryKeyValue();
    EXPECT_GT(keyA, 0);
    EXPECT_EQ(keyB, keyA + 1) << "stored keys follow the order the objects were made in";
    EXPECT_EQ(rawQuery("SELECT name FROM CustomRecordSetDefinition WHERE pk = " + std::to_string(keyB)), "B");
    EXPECT_EQ(*context->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", keyB), b);
    EXPECT_EQ(*context->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", temporaryB),
              nullptr)
        << "the temporary key is gone with the save";

    // A deleted key is never handed out again, by this context or another one.
    ASSERT_TRUE(context->deleteObjectSkipTrash(b, true));
    ASSERT_TRUE(context->saveChanges());
    auto other = signIn();
    auto made = other->createObjectForEntityNamedInsert("CustomRecordSetDefinition", true);
    ASSERT_TRUE(made);
    ASSERT_TRUE(other->saveChanges());
    EXPECT_EQ((*made)->primaryKeyValue(), keyB + 1);
}

TEST_P(ObjectContextTest, RelationKeepsOrderAcrossSaveAndReopen) {
    auto form = makeTemplate("Ordered");
    for (const char* name : {"one", "two", "three", "four"}) addField(*form, name);
    ASSERT_TRUE(context->saveChanges());
    // Appending after a reopen goes to the end.
    auto reopened = signIn();
    auto read = reopened->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition",
                                                                     form->primaryKeyValue());
    auto copy = std::static_pointer_cast<CustomRecordSetDefinition>(*read);
    auto five = reopened->createObject<CustomRecordDefinition>();
    (*five)->setName("five");
    ASSERT_TRUE(copy->addToCustomRecordDefinitions(*five));
    ASSERT_TRUE(reopened->saveChanges());
    auto third = signIn();
    auto fields = std::static_pointer_cast<CustomRecordSetDefinition>(
                      *third->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition",
                                                                         form->primaryKeyValue()))
                      ->customRecordDefinitions();
    ASSERT_TRUE(fields);
    std::vector<std::string> order;
    for (const auto& field : *fields) order.push_back(field->name().asString());
    EXPECT_EQ(order, (std::vector<std::string>{"one", "two", "three", "four", "five"}));
}

TEST_P(ObjectContextTest, AddingAgainChangesNothingAndMovingLeavesTheOldOwner) {
    auto first = makeTemplate("First");
    auto second = makeTemplate("Second");
    auto field = addField(*first, "field");
    ASSERT_TRUE(first->addToCustomRecordDefinitions(field));
    EXPECT_EQ(first->customRecordDefinitions()->size(), 1u);
    ASSERT_TRUE(second->addToCustomRecordDefinitions(field));
    EXPECT_EQ(first->customRecordDefinitions()->size(), 0u);
    EXPECT_EQ(second->customRecordDefinitions()->size(), 1u);
    EXPECT_EQ(field->customRecordSetDefinitionID(), Value(second->primaryKeyValue()));
}

TEST_P(ObjectContextTest, RelationRefusesForeignAndDeletedMembers) {
    auto form = makeTemplate("Form");
    auto category = context->createObject<Category>();
    auto wrongEntity = form->addToCustomRecordDefinitions(*category);
    ASSERT_FALSE(wrongEntity);
    EXPECT_NE(wrongEntity.message().find("takes CustomRecordDefinition objects, not Category"),
              std::string::npos);
    auto other = signIn();
    auto stranger = other->createObject<CustomRecordDefinition>();
    auto foreign = form->addToCustomRecordDefinitions(*stranger);
    ASSERT_FALSE(foreign);
    EXPECT_NE(foreign.message().find("another object context"), std::string::npos);
    auto notInserted = context->createObjectForEntityNamedInsert("CustomRecordDefinition", false);
    EXPECT_FALSE(form->addToCustomRecordDefinitions(*notInserted));
    ASSERT_TRUE(context->insertObject(*notInserted));
    EXPECT_TRUE(form->addToCustomRecordDefinitions(*notInserted));
}

TEST_P(ObjectContextTest, DeletingATemplateDeletesItsFields) {
    auto form = makeTemplate("Doomed");
    addField(*form, "a");
    addField(*form, "b");
    auto keep = makeTemplate("Kept");
    addField(*keep, "c");
    ASSERT_TRUE(context->saveChanges());
    auto fields = form->customRecordDefinitions();
    ASSERT_TRUE(context->deleteObjectSkipTrash(form, true));
    EXPECT_TRUE((*fields)[0]->isDeleted());
    EXPECT_EQ(count("CustomRecordDefinition", ""), 1);
    ASSERT_TRUE(context->saveChanges());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition"), "1");
}

TEST_P(ObjectContextTest, DeletingAFieldTakesItOutOfItsTemplate) {
    auto form = makeTemplate("Form");
    auto a = addField(*form, "a");
    addField(*form, "b");
    ASSERT_TRUE(context->deleteObjectSkipTrash(a, false));
    auto fields = form->customRecordDefinitions();
    ASSERT_EQ(fields->size(), 1u);
    EXPECT_EQ((*fields)[0]->name(), Value("b"));
    ASSERT_TRUE(context->saveChanges());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition"), "1");
}

TEST_P(ObjectContextTest, InsertedThenDeletedLeavesNothingToSave) {
    auto form = makeTemplate("Fleeting");
    ASSERT_TRUE(context->deleteObjectSkipTrash(form, true));
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(context->pendingChangesDescription(), "");
    EXPECT_EQ(count("CustomRecordSetDefinition", ""), 0);
}

TEST_P(ObjectContextTest, FailedSaveWritesNothingAndKeepsChangesForARetry) {
    auto existing = makeTemplate("Existing");
    ASSERT_TRUE(context->saveChanges());
    existing->setName("Renamed");
    auto form = makeTemplate("New");
    addField(*form, "fine");
    addField(*form, "boom");
    GetParam().refuseInsertsNamed(address, "boom");
    const std::string pending = context->pendingChangesDescription();

    auto failed = context->saveChanges();
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.message().find("inserting <CustomRecordDefinition"), std::string::npos)
        << failed.message();
    EXPECT_NE(failed.message().find("name=\"boom\""), std::string::npos) << failed.message();
    EXPECT_NE(failed.message().find("refused by test trigger"), std::string::npos);
    EXPECT_NE(failed.message().find(context->store().displayName()), std::string::npos);
    // Nothing of the attempt reached the file.
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition"), "0");
    EXPECT_EQ(rawQuery("SELECT group_concat(name) FROM CustomRecordSetDefinition"), "Existing");
    EXPECT_TRUE(context->hasChanges());
    EXPECT_EQ(context->pendingChangesDescription(), pending);

    GetParam().allowAgain(address);
    ASSERT_TRUE(context->saveChanges());
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(rawQuery("SELECT group_concat(name, ',') FROM (SELECT name FROM "
                       "CustomRecordDefinition ORDER BY position)"),
              "fine,boom");
    EXPECT_EQ(
        rawQuery(
            "SELECT group_concat(name, ',') FROM (SELECT name FROM CustomRecordSetDefinition ORDER BY pk)"),
        "Renamed,New");
}

TEST_P(ObjectContextTest, PendingChangesReadAsText) {
    auto form = makeTemplate("Shown");
    ASSERT_TRUE(context->saveChanges());
    form->setDetails("more");
    auto category = context->createObject<Category>();
    (*category)->setName("VIP");
    const std::string key = std::to_string(form->primaryKeyValue());
    const std::string text = context->pendingChangesDescription();
    EXPECT_NE(text.find("update CustomRecordSetDefinition " + key +
                        " {name: \"Shown\", active: true, details: \"more\""),
              std::string::npos)
        << text;
    EXPECT_NE(
        text.find("insert Category " + std::to_string((*category)->primaryKeyValue()) + " {name: \"VIP\""),
        std::string::npos)
        << text;
    ASSERT_TRUE(context->deleteObjectSkipTrash(form, true));
    EXPECT_NE(context->pendingChangesDescription().find("delete CustomRecordSetDefinition " + key + "\n"),
              std::string::npos);
}

TEST_P(ObjectContextTest, KeyValueAccessNamesMissingAttributes) {
    auto form = makeTemplate("Form");
    auto missing = form->valueForKey("colour");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.status().message().find(
                  "CustomRecordSetDefinition has no attribute \"colour\" (it has: name, active"),
              std::string::npos);
    EXPECT_FALSE(form->setValueForKey(1, "colour"));
    EXPECT_TRUE(form->setValueForKey("Other", "name"));
    EXPECT_EQ(form->name(), Value("Other"));
    auto field = addField(*form, "f");
    auto maintained = field->setValueForKey(99, "position");
    ASSERT_FALSE(maintained);
    EXPECT_NE(maintained.message().find("kept by the customRecordDefinitions relation"), std::string::npos);
}

struct CoercionCase {
    const char* attribute;
    Value given;
    bool accepted;
    Value stored;
};

TEST_P(ObjectContextTest, AttributeTypesDecideWhatIsAccepted) {
    const CoercionCase cases[] = {
        {"name", Value("text"), true, Value("text")},
        {"name", Value(3), false, {}},
        {"name", Value(), true, Value()},
        {"active", Value(true), true, Value(true)},
        {"active", Value(1), true, Value(true)},
        {"active", Value(0), true, Value(false)},
        {"active", Value(2), false, {}},
        {"active", Value("yes"), false, {}},
        {"typeCode", Value(4), true, Value(4)},
        {"typeCode", Value(4.0), true, Value(4)},
        {"typeCode", Value(4.5), false, {}},
        {"typeCode", Value(true), true, Value(1)},
        {"defaultValue", Value(Array{1, "x"}), true, Value(Array{1, "x"})},
        {"defaultValue", Value(platform::Dictionary{{"k", "v"}}), true,
         Value(platform::Dictionary{{"k", "v"}})},
    };
    auto form = makeTemplate("Form");
    for (const auto& c : cases) {
        auto field = addField(*form, "f");
        auto status = field->setValueForKey(c.given, c.attribute);
        EXPECT_EQ(bool(status), c.accepted)
            << c.attribute << " " << c.given.toJson() << ": " << status.message();
        if (c.accepted) {
            auto value = field->valueForKey(c.attribute);
            EXPECT_EQ(*value, c.stored);
            EXPECT_EQ(value->type(), c.stored.type()) << c.attribute;
        }
    }
    auto field = addField(*form, "typed");
    EXPECT_THROW(field->setTypeCode("three"), std::invalid_argument);
}

ZANDREL_SQLITE_ONLY_SUITE(ObjectContextSqliteTest, ObjectContextTest);

// Values another tool wrote into the file, whatever their storage class, read without harm.
TEST_P(ObjectContextSqliteTest, ForeignValuesInTheFileReadSafely) {
    struct Case {
        const char* column;
        const char* stored;  // SQL literal
        Value expected;
    };
    const Case cases[] = {
        {"typeCode", "1e99", Value(1e99)},
        {"typeCode", "-1e300", Value(-1e300)},
        {"typeCode", "9.3e18", Value(9.3e18)},
        {"typeCode", "3.0", Value(3)},
        {"typeCode", "-7.0", Value(-7)},
        {"active", "5", Value(true)},
        {"active", "0", Value(false)},
        {"options", "x'7B6E6F74204A534F4E'", Value("{not JSON")},
        {"options", "x'5B312C325D'", Value(platform::Array{1, 2})},
    };
    auto form = makeTemplate("Foreign");
    auto field = addField(*form, "f");
    ASSERT_TRUE(context->saveChanges());
    const std::string key = std::to_string(field->primaryKeyValue());
    for (const auto& c : cases) {
        rawExec(fmt::format("UPDATE CustomRecordDefinition SET \"{}\" = {} WHERE pk = {}", c.column, c.stored,
                            key));
        auto reader = signIn();
        auto read = reader->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordDefinition",
                                                                       field->primaryKeyValue());
        ASSERT_TRUE(read && *read);
        auto value = (*read)->valueForKey(c.column);
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, c.expected) << c.column << " = " << c.stored << " read as " << value->toJson();
        EXPECT_EQ(value->type(), c.expected.type()) << c.column << " = " << c.stored;
    }
}

TEST_P(ObjectContextTest, InitialValuesOnlyWhenAskedFor) {
    auto plain = context->createObjectForEntityNamedInsert("Category", true);
    auto initial = context->createObjectForEntityNamedInsertSetupInitialValues("Category", true, true);
    ASSERT_TRUE(plain && initial);
    EXPECT_TRUE((*plain)->valueForKey("forContact")->isNull());
    EXPECT_EQ(*(*initial)->valueForKey("forContact"), Value(false));
    EXPECT_TRUE((*initial)->valueForKey("name")->isNull());
    auto unknown = context->createObjectForEntityNamedInsert("Spaceship", true);
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.status().message().find("no entity \"Spaceship\""), std::string::npos);
}

TEST_P(ObjectContextTest, ObjectsKnowTheirContextEntityAndKey) {
    auto map = context->createObject<GWConnectorMap>();
    ASSERT_TRUE(map);
    EXPECT_EQ((*map)->objectContext(), context);
    EXPECT_EQ((*map)->entityName(), "GWConnectorMap");
    EXPECT_NE((*map)->primaryKeyValue(), 0);
    EXPECT_EQ((*map)->className(), "GWConnectorMap");
    std::weak_ptr<DLPObjectContext> weak = context;
    context.reset();
    EXPECT_TRUE(weak.expired());  // objects do not keep their context alive
    EXPECT_EQ((*map)->objectContext(), nullptr);
}

TEST_P(ObjectContextTest, ActiveTemplatesAreOrderedByNameIgnoringCaseThenKey) {
    makeTemplate("beta");
    makeTemplate("Alpha");
    makeTemplate("alpha");
    makeTemplate("Hidden", false);
    ASSERT_TRUE(context->saveChanges());
    makeTemplate("Gamma");  // unsaved, still listed
    auto list = context->optionsCache().valueForKey("activeCustomRecordSetDefinitions");
    ASSERT_TRUE(list);
    EXPECT_EQ(names(*list), (std::vector<std::string>{"Alpha", "alpha", "beta", "Gamma"}));
    auto typed = context->optionsCache().activeCustomRecordSetDefinitions();
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->size(), 4u);
    auto users = context->optionsCache().activeUsers();
    ASSERT_TRUE(users);
    ASSERT_EQ(users->size(), 1u);
    EXPECT_EQ(users->front()->loginName(), Value("ada"));
    EXPECT_FALSE(context->optionsCache().valueForKey("colours"));
}

TEST_P(ObjectContextTest, UserDefaultsPerUserAndGlobal) {
    MCUserDefaults::removeAllRegistrations();
    ASSERT_TRUE(MCUserDefaults::registerUserDefaultFromConfig(Value(Dictionary{{"Key", "Shared"},
                                                                               {"StorageType", "Database"},
                                                                               {"Scope", "Global"},
                                                                               {"ValueType", "Number"},
                                                                               {"DefaultValue", "5"}})));
    ASSERT_TRUE(MCUserDefaults::registerUserDefaultFromConfig(Value(
        Dictionary{{"Key", "Mine"}, {"StorageType", "Database"}, {"Scope", "Host"}, {"ValueType", "Bool"}})));
    auto& defaults = context->userDefaults();
    EXPECT_EQ(*defaults.objectForKey("Shared"), Value("5"));
    EXPECT_TRUE(defaults.objectForKey("Mine")->isNull());
    ASSERT_TRUE(defaults.setObjectForKey(7, "Shared"));
    ASSERT_TRUE(defaults.setObjectForKey(true, "Mine"));

    // Another user of the file sees the global value but not ada's own.
    rawExec("UPDATE User SET active = 1");
    auto bob = DLPObjectContext::open(file, "bob");
    ASSERT_TRUE(bob);
    EXPECT_EQ(*(*bob)->userDefaults().objectForKey("Shared"), Value(7));
    EXPECT_TRUE((*bob)->userDefaults().objectForKey("Mine")->isNull());
    auto again = signIn();
    EXPECT_EQ(*again->userDefaults().objectForKey("Mine"), Value(true));
    ASSERT_TRUE(again->userDefaults().removeObjectForKey("Shared"));
    EXPECT_EQ(*again->userDefaults().objectForKey("Shared"), Value("5"));
    MCUserDefaults::removeAllRegistrations();
}

TEST(UserDefaultRegistrationTest, MalformedRecordsAreRefused) {
    const std::pair<Dictionary, const char*> cases[] = {
        {{{"StorageType", "Database"}, {"Scope", "Global"}, {"ValueType", "x"}},
         "\"Key\" must be a non-empty text"},
        {{{"Key", "k"}, {"StorageType", "File"}, {"Scope", "Global"}, {"ValueType", "x"}}, "\"StorageType\""},
        {{{"Key", "k"}, {"StorageType", "Database"}, {"Scope", ""}, {"ValueType", "x"}}, "\"Scope\" must be"},
        {{{"Key", "k"}, {"StorageType", "Database"}, {"Scope", "Host"}}, "\"ValueType\" is missing"},
    };
    for (const auto& [record, expected] : cases) {
        auto status = MCUserDefaults::registerUserDefaultFromConfig(Value(record));
        ASSERT_FALSE(status) << expected;
        EXPECT_NE(status.message().find(expected), std::string::npos) << status.message();
    }
    EXPECT_FALSE(MCUserDefaults::registrationForKey("k"));
}

INSTANTIATE_TEST_SUITE_P(Stores, ObjectContextTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
