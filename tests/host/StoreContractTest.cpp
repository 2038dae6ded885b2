// What every store promises its object context (Store.h), checked on the store itself: saves
// are all or nothing, keys are handed out only inside a save and never twice, deleting a record
// already gone is no error, and a read-only store writes nothing.

#include <gtest/gtest.h>

#include <set>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"
#include "tests/host/StoreTestSupport.h"

using platform::Value;

namespace {

class StoreContractTest : public hosttest::StoreTest {
protected:
    const host::EntityDescription& categories() { return *host::EntityCatalog::shared().find("Category"); }
    std::shared_ptr<host::Store> open(bool readOnly = false) {
        host::StoreFactory::Options options;
        options.readOnly = readOnly;
        auto store = host::StoreFactory::open(address, options);
        EXPECT_TRUE(store) << store.status().message();
        return store ? *store : nullptr;
    }
    std::vector<Value> values(const std::string& name) {
        std::vector<Value> row(categories().attributes.size());
        row[*categories().slot("name")] = Value(name);
        return row;
    }
    std::set<int64_t> keys(host::Store& store) {
        auto all = host::Qualifier::compile(categories(), "", {}, store.dialect());
        EXPECT_TRUE(all);
        std::set<int64_t> found;
        auto fetched =
            store.fetch(categories(), *all, [&](const host::StoreRow& row) { found.insert(row.key()); });
        EXPECT_TRUE(fetched) << fetched.message();
        return found;
    }
};

TEST_P(StoreContractTest, AnAbandonedSaveLeavesNothingAndKeysOfACommittedOneStay) {
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_FALSE(store->allocateKeys(categories(), 1)) << "keys only inside a save";

    ASSERT_TRUE(store->beginSave());
    auto first = store->allocateKeys(categories(), 3);
    ASSERT_TRUE(first) << first.status().message();
    ASSERT_EQ(first->size(), 3u);
    EXPECT_LT((*first)[0], (*first)[1]);
    EXPECT_LT((*first)[1], (*first)[2]);
    auto more = store->allocateKeys(categories(), 1);
    ASSERT_TRUE(more);
    EXPECT_GT(more->front(), (*first)[2]) << "a second call in one save continues after the first";
    ASSERT_TRUE(store->insertRecord(categories(), (*first)[0], values("kept?")));
    store->abandonSave();
    EXPECT_TRUE(keys(*store).empty());

    ASSERT_TRUE(store->beginSave());
    auto next = store->allocateKeys(categories(), 1);
    ASSERT_TRUE(next);
    ASSERT_TRUE(store->insertRecord(categories(), next->front(), values("saved")));
    ASSERT_TRUE(store->commitSave());
    EXPECT_EQ(keys(*store), std::set<int64_t>{next->front()});
    EXPECT_EQ(keys(*open()), std::set<int64_t>{next->front()}) << "committed for other connections too";
}

TEST_P(StoreContractTest, AFailedStatementRollsBackTheWholeSave) {
    auto store = open();
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->beginSave());
    auto key = store->allocateKeys(categories(), 1);
    ASSERT_TRUE(key);
    ASSERT_TRUE(store->insertRecord(categories(), key->front(), values("one")));
    auto twice = store->insertRecord(categories(), key->front(), values("same key"));
    EXPECT_FALSE(twice) << "a key is one record";
    store->abandonSave();
    EXPECT_TRUE(keys(*open()).empty());
}

TEST_P(StoreContractTest, DeletingARecordAlreadyGoneIsNoError) {
    auto store = open();
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->beginSave());
    EXPECT_TRUE(store->deleteRecord(categories(), 987654));
    ASSERT_TRUE(store->commitSave());
}

TEST_P(StoreContractTest, AReadOnlyStoreReadsButNeverWrites) {
    auto store = open(true);
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->isReadOnly());
    EXPECT_FALSE(store->beginSave());
    auto users = store->count(
        *host::EntityCatalog::shared().find("User"),
        *host::Qualifier::compile(*host::EntityCatalog::shared().find("User"), "", {}, store->dialect()));
    ASSERT_TRUE(users) << users.status().message();
    EXPECT_EQ(*users, 2);

    auto reader = DLPObjectContext::signIn(store, "ada");
    ASSERT_TRUE(reader) << reader.status().message();
    auto made = (*reader)->createObjectForEntityNamedInsert("Category", true);
    ASSERT_TRUE(made);
    auto refused = (*reader)->saveChanges();
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.message().find("read-only"), std::string::npos) << refused.message();
    EXPECT_NE(refused.message().find(store->displayName()), std::string::npos) << refused.message();
    EXPECT_TRUE((*reader)->hasChanges()) << "the changes stay for another try";
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreContractTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
