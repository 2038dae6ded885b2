// Keys of new objects when several contexts (or programs) write one file: handed out at save
// time under the write lock, given to the objects and to every reference to them.

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWContact.h"
#include "tests/host/StoreTestSupport.h"

using platform::Value;

namespace {

using Template = std::shared_ptr<CustomRecordSetDefinition>;

class ObjectContextKeysTest : public hosttest::StoreTest {
protected:
    static Template makeTemplate(DLPObjectContext& in, const std::string& name,
                                 const std::vector<std::string>& fields) {
        auto made = in.createObject<CustomRecordSetDefinition>(true);
        EXPECT_TRUE(made) << made.status().message();
        (*made)->setName(name);
        for (const auto& fieldName : fields) {
            auto field = in.createObject<CustomRecordDefinition>(true);
            EXPECT_TRUE(field);
            (*field)->setName(fieldName);
            EXPECT_TRUE((*made)->addToCustomRecordDefinitions(*field));
        }
        return *made;
    }

    // "name: field,field" for every template in the file, in key order, with the fields each
    // row of CustomRecordDefinition points at.
    std::string storedTemplates() {
        return rawQuery(
            "SELECT coalesce(group_concat(line, ' | '), '') FROM (SELECT t.name || ':' || coalesce((SELECT "
            "group_concat(name, ',') FROM (SELECT f.name FROM CustomRecordDefinition f WHERE "
            "f.customRecordSetDefinitionID = t.pk ORDER BY f.position)), '') AS line FROM "
            "CustomRecordSetDefinition t "
            "ORDER BY t.pk)");
    }
};

TEST_P(ObjectContextKeysTest, TwoContextsInsertingAtOnceNeverCollide) {
    auto other = signIn();
    // Both make their objects before either saves: each would have picked the same keys.
    auto mine = makeTemplate(*context, "Mine", {"a", "b"});
    auto theirs = makeTemplate(*other, "Theirs", {"x", "y", "z"});
    ASSERT_TRUE(context->saveChanges());
    auto saved = other->saveChanges();
    ASSERT_TRUE(saved) << saved.message();

    EXPECT_EQ(storedTemplates(), "Mine:a,b | Theirs:x,y,z");
    EXPECT_EQ(theirs->primaryKeyValue(), mine->primaryKeyValue() + 1);
    // The objects the contexts hold carry the stored keys, and so do their members' owner keys.
    for (const auto& form : {mine, theirs}) {
        auto fields = form->customRecordDefinitions();
        ASSERT_TRUE(fields);
        for (const auto& field : *fields) {
            EXPECT_EQ(field->customRecordSetDefinitionID(), Value(form->primaryKeyValue()));
            EXPECT_GT(field->primaryKeyValue(), 0);
        }
    }
    auto reread = signIn()->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition",
                                                                       theirs->primaryKeyValue());
    ASSERT_TRUE(reread && *reread);
    EXPECT_EQ((*reread)->valueForKey("name")->asString(), "Theirs");
}

TEST_P(ObjectContextKeysTest, ReferencesToNewObjectsTakeTheirStoredKeys) {
    auto saved = makeTemplate(*context, "Saved", {"moved"});
    ASSERT_TRUE(context->saveChanges());
    auto moved = saved->customRecordDefinitions()->front();

    auto contact = context->createObject<GWContact>(true);
    auto user = context->createObject<GWUser>(true);
    auto map = context->createObject<GWConnectorMap>(true);
    ASSERT_TRUE(contact && user && map);
    (*user)->setLoginName("newcomer");
    (*user)->setContactID((*contact)->primaryKeyValue());
    (*map)->setContactID((*contact)->primaryKeyValue());
    auto fresh = makeTemplate(*context, "Fresh", {});
    ASSERT_TRUE(fresh->addToCustomRecordDefinitions(moved));  // a saved object pointing at a new one
    // Before the save, the temporary key finds the new object like any key.
    auto members = context->resultCountForEntityNamedQualifierLocumBindings(
        "CustomRecordDefinition", "customRecordSetDefinitionID == $t",
        {{"t", Value(fresh->primaryKeyValue())}});
    ASSERT_TRUE(members);
    EXPECT_EQ(*members, 1);

    ASSERT_TRUE(context->saveChanges());
    const std::string contactKey = std::to_string((*contact)->primaryKeyValue());
    EXPECT_EQ(rawQuery("SELECT contactID FROM User WHERE loginName = 'newcomer'"), contactKey);
    EXPECT_EQ(rawQuery("SELECT contactID FROM GWConnectorMap"), contactKey);
    EXPECT_EQ((*user)->contactID(), Value((*contact)->primaryKeyValue()));
    EXPECT_EQ(moved->customRecordSetDefinitionID(), Value(fresh->primaryKeyValue()));
    EXPECT_EQ(storedTemplates(), "Saved: | Fresh:moved");
}

TEST_P(ObjectContextKeysTest, AReferenceToANewObjectDeletedBeforeTheSaveIsRefused) {
    auto contact = context->createObject<GWContact>(true);
    auto user = context->createObject<GWUser>(true);
    (*user)->setLoginName("orphan");
    (*user)->setContactID((*contact)->primaryKeyValue());
    ASSERT_TRUE(context->deleteObjectSkipTrash(*contact, true));
    auto failed = context->saveChanges();
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.message().find("contactID refers to a new Contact that is not inserted"),
              std::string::npos)
        << failed.message();
    EXPECT_EQ(rawQuery("SELECT count(*) FROM User WHERE loginName = 'orphan'"), "0");
    // Pointing it at a real contact lets the same changes be saved.
    (*user)->setContactID(context->user()->contactID());
    ASSERT_TRUE(context->saveChanges());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM User WHERE loginName = 'orphan'"), "1");
}

ZANDREL_SQLITE_ONLY_SUITE(ObjectContextKeysSqliteTest, ObjectContextKeysTest);

TEST_P(ObjectContextKeysSqliteTest, ASaveRefusedForALockSucceedsOnRetryWithFreshKeys) {
    auto impatient = signInImpatient(std::chrono::milliseconds(20));
    ASSERT_TRUE(impatient);
    auto waiting = makeTemplate(*impatient, "Waiting", {"one", "two"});
    const int64_t temporary = waiting->primaryKeyValue();
    {
        hosttest::RawConnection otherProgram(file);
        otherProgram.exec("BEGIN EXCLUSIVE");
        auto refused = impatient->saveChanges();
        ASSERT_FALSE(refused);
        EXPECT_NE(refused.message().find("database is locked: another program is using the file; wait"),
                  std::string::npos)
            << refused.message();
        EXPECT_EQ(waiting->primaryKeyValue(), temporary) << "a failed save changes no key";
        otherProgram.exec("ROLLBACK");
    }
    // Meanwhile another context stores a template, taking the key the first one would have had.
    makeTemplate(*context, "Quicker", {"q"});
    ASSERT_TRUE(context->saveChanges());

    auto retried = impatient->saveChanges();
    ASSERT_TRUE(retried) << retried.message();
    EXPECT_EQ(storedTemplates(), "Quicker:q | Waiting:one,two");
    EXPECT_FALSE(impatient->hasChanges());
}

// A full disk, simulated by capping the file's size on the saving connection.
TEST_P(ObjectContextKeysSqliteTest, ASaveThatRunsOutOfSpaceWritesNothingAndSucceedsOnceThereIsRoom) {
    const std::string before = storedTemplates();
    const std::string pages = rawQuery("PRAGMA page_count");
    ASSERT_TRUE(hosttest::sqliteDatabase(*context).exec("PRAGMA max_page_count = " + pages));
    std::vector<std::string> fields;
    for (int i = 0; i < 200; ++i) fields.push_back("field " + std::to_string(i) + std::string(100, 'x'));
    auto big = makeTemplate(*context, "Big", fields);
    auto full = context->saveChanges();
    ASSERT_FALSE(full);
    EXPECT_NE(full.message().find("full: free some disk space and try again"), std::string::npos)
        << full.message();
    EXPECT_EQ(storedTemplates(), before);
    EXPECT_EQ(rawQuery("PRAGMA integrity_check"), "ok");
    EXPECT_LT(big->primaryKeyValue(), 0);

    ASSERT_TRUE(hosttest::sqliteDatabase(*context).exec("PRAGMA max_page_count = 1000000"));
    ASSERT_TRUE(context->saveChanges());
    auto stored = big->customRecordDefinitions();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), fields.size());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition WHERE customRecordSetDefinitionID = " +
                       std::to_string(big->primaryKeyValue())),
              std::to_string(fields.size()));
}

// Several contexts on one file make, delete and save templates in a seeded random order; the
// file must end up holding exactly what a simple model says, and no key is ever handed out
// twice.
TEST_P(ObjectContextKeysTest, RandomInterleavedWritersAgreeWithAModel) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        // Keys never go back below what was stored before, deleted or not.
        int64_t highest = std::stoll(rawQuery("SELECT coalesce(max(pk), 0) FROM CustomRecordSetDefinition"));
        rawExec("DELETE FROM CustomRecordSetDefinition");
        std::mt19937 random(seed);
        std::vector<std::shared_ptr<DLPObjectContext>> writers{signIn(), signIn(), signIn()};
        std::vector<std::vector<Template>> unsaved(writers.size()), owned(writers.size());
        std::map<std::string, std::string> expected;  // name -> fields, for saved templates
        std::map<std::string, std::string> pending;   // name -> fields, for unsaved ones
        std::set<int64_t> keysSeen;
        int made = 0;
        for (int step = 0; step < 40; ++step) {
            size_t w = random() % writers.size();
            auto& writer = *writers[w];
            switch (random() % 4) {
                case 0:
                case 1: {
                    std::string name = "T" + std::to_string(made++);
                    std::vector<std::string> fields;
                    for (unsigned f = 0, n = random() % 4; f < n; ++f)
                        fields.push_back(name + "f" + std::to_string(f));
                    std::string joined;
                    for (const auto& field : fields) joined += (joined.empty() ? "" : ",") + field;
                    unsaved[w].push_back(makeTemplate(writer, name, fields));
                    pending[name] = joined;
                    break;
                }
                case 2:
                    if (!owned[w].empty()) {
                        size_t victim = random() % owned[w].size();
                        expected.erase(owned[w][victim]->name().asString());
                        ASSERT_TRUE(writer.deleteObjectSkipTrash(owned[w][victim], true));
                        owned[w].erase(owned[w].begin() + long(victim));
                    }
                    break;
                case 3: {
                    auto saved = writer.saveChanges();
                    ASSERT_TRUE(saved) << saved.message();
                    for (const auto& form : unsaved[w]) {
                        const std::string name = form->name().asString();
                        EXPECT_GT(form->primaryKeyValue(), highest) << name << ": keys only grow";
                        EXPECT_TRUE(keysSeen.insert(form->primaryKeyValue()).second)
                            << name << ": key handed out twice";
                        highest = std::max(highest, form->primaryKeyValue());
                        expected[name] = pending[name];
                        owned[w].push_back(form);
                    }
                    unsaved[w].clear();
                    break;
                }
            }
        }
        for (size_t w = 0; w < writers.size(); ++w) {
            ASSERT_TRUE(writers[w]->saveChanges());
            for (const auto& form : unsaved[w])
                expected[form->name().asString()] = pending[form->name().asString()];
        }
        auto check = signIn();
        auto all = check->objectsForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "");
        ASSERT_TRUE(all);
        std::map<std::string, std::string> stored;
        for (const auto& object : *all) {
            auto form = std::static_pointer_cast<CustomRecordSetDefinition>(object);
            auto fields = form->customRecordDefinitions();
            ASSERT_TRUE(fields);
            std::string joined;
            for (const auto& field : *fields)
                joined += (joined.empty() ? "" : ",") + field->name().asString();
            stored[form->name().asString()] = joined;
        }
        EXPECT_EQ(stored, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, ObjectContextKeysTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
