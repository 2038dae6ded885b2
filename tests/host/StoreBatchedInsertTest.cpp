// Saves of many records on a store that gathers inserts and writes many rows to a statement:
// every record arrives with its values, reads inside the save see what was inserted before
// them, and a refused record is named while nothing of the save stays.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"
#include "tests/host/StoreTestSupport.h"

using platform::Array;
using platform::Status;
using platform::Value;

namespace {

class StoreBatchedInsertTest : public hosttest::StoreTest {
protected:
    const host::EntityDescription& templates() {
        return *host::EntityCatalog::shared().find("CustomRecordSetDefinition");
    }
    const host::EntityDescription& fields() {
        return *host::EntityCatalog::shared().find("CustomRecordDefinition");
    }

    std::shared_ptr<host::Store> open() {
        auto store = host::StoreFactory::open(address);
        EXPECT_TRUE(store) << store.status().message();
        return store ? *store : nullptr;
    }

    // A field of every kind of value the columns take, varying with i.
    std::vector<Value> field(int i, int64_t owner, const std::string& name = "") {
        const auto& entity = fields();
        std::vector<Value> row(entity.attributes.size());
        row[*entity.slot("name")] = Value(name.empty() ? fmt::format("field {}", i) : name);
        row[*entity.slot("details")] =
            i % 4 == 0 ? Value() : Value(fmt::format("details of field number {}", i));
        row[*entity.slot("active")] = Value(i % 2 == 0);
        row[*entity.slot("typeCode")] = Value(int64_t(i % 5));
        const Value defaults[] = {Value(), Value("Medium"), Value(2.5), Value(true), Value(int64_t(-i))};
        row[*entity.slot("defaultValue")] = defaults[i % 5];
        row[*entity.slot("options")] = i % 3 == 0 ? Value(Array{"Low", Value(int64_t(i)), Value()}) : Value();
        row[entity.ownerKeySlot] = Value(owner);
        row[entity.positionSlot] = Value(int64_t(i));
        return row;
    }

    // A template and `count` fields in one save (the field at `refusedAt` named as the
    // database refuses); the save's outcome, abandoned when it failed. `keys` gets the fields'.
    Status saveFields(host::Store& store, int count, int refusedAt, std::vector<int64_t>& keys) {
        if (auto begun = store.beginSave(); !begun) return begun;
        auto owner = store.allocateKeys(templates(), 1);
        auto allocated = store.allocateKeys(fields(), size_t(count));
        if (!owner || !allocated) {
            store.abandonSave();
            return Status::error("no keys");
        }
        keys = *allocated;
        std::vector<Value> form(templates().attributes.size());
        form[*templates().slot("name")] = Value("Form");
        Status status = store.insertRecord(templates(), owner->front(), form);
        for (int i = 0; i < count && status; ++i)
            status = store.insertRecord(fields(), keys[size_t(i)],
                                        field(i, owner->front(), i == refusedAt ? "refused" : ""));
        if (status) status = store.commitSave();
        if (!status) store.abandonSave();
        return status;
    }

    std::string storedFields() { return rawQuery("SELECT count(*) FROM \"CustomRecordDefinition\""); }
};

TEST_P(StoreBatchedInsertTest, EveryRecordOfALargeSaveIsStoredWithItsValues) {
    auto store = open();
    ASSERT_TRUE(store);
    std::vector<int64_t> keys;
    constexpr int kFields = 150;  // more than one full statement's rows, and a shorter rest
    ASSERT_TRUE(saveFields(*store, kFields, -1, keys));

    auto all = host::Qualifier::compile(fields(), "", {}, store->dialect());
    ASSERT_TRUE(all);
    int read = 0;
    auto fetched = store->fetch(fields(), *all, [&](const host::StoreRow& row) {
        ASSERT_LT(read, kFields);
        EXPECT_EQ(row.key(), keys[size_t(read)]);
        const auto expected = field(read, 0);
        for (size_t slot = 0; slot < expected.size(); ++slot) {
            if (slot == fields().ownerKeySlot) continue;
            const Value stored =
                host::attributeValueFromStored(fields().attributes[slot].type, row.value(slot));
            EXPECT_EQ(stored, expected[slot]) << "field " << read << " " << fields().attributes[slot].name;
            EXPECT_EQ(stored.type(), expected[slot].type())
                << "field " << read << " " << fields().attributes[slot].name;
        }
        ++read;
    });
    ASSERT_TRUE(fetched) << fetched.message();
    EXPECT_EQ(read, kFields);
}

TEST_P(StoreBatchedInsertTest, ARefusedRecordAmongManyIsNamedAndNothingOfTheSaveStays) {
    auto store = open();
    ASSERT_TRUE(store);
    GetParam().refuseInsertsNamed(address, "refused");
    std::vector<int64_t> keys;
    for (int refusedAt : {100, 0, 149}) {
        SCOPED_TRACE(refusedAt);
        auto failed = saveFields(*store, 150, refusedAt, keys);
        ASSERT_FALSE(failed);
        EXPECT_NE(failed.message().find(
                      fmt::format("<CustomRecordDefinition {} name=\"refused\">", keys[size_t(refusedAt)])),
                  std::string::npos)
            << failed.message();
        EXPECT_NE(failed.message().find("refused by test trigger"), std::string::npos) << failed.message();
        EXPECT_EQ(storedFields(), "0");
    }
    ASSERT_TRUE(saveFields(*store, 70, -1, keys)) << "the store saves again after a failed save";
    EXPECT_EQ(storedFields(), "70");
}

TEST_P(StoreBatchedInsertTest, ReadsInsideASaveSeeTheRecordsInsertedBeforeThem) {
    auto store = open();
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->beginSave());
    auto owner = store->allocateKeys(templates(), 1);
    auto keys = store->allocateKeys(fields(), 10);
    ASSERT_TRUE(owner && keys);
    std::vector<Value> form(templates().attributes.size());
    ASSERT_TRUE(store->insertRecord(templates(), owner->front(), form));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(store->insertRecord(fields(), (*keys)[size_t(i)], field(i, owner->front())));

    auto all = host::Qualifier::compile(fields(), "", {}, store->dialect());
    ASSERT_TRUE(all);
    auto counted = store->count(fields(), *all);
    ASSERT_TRUE(counted) << counted.status().message();
    EXPECT_EQ(*counted, 10);
    int members = 0;
    ASSERT_TRUE(
        store->fetchMembers(templates(), 0, owner->front(), [&](const host::StoreRow&) { ++members; }));
    EXPECT_EQ(members, 10);
    auto more = store->allocateKeys(fields(), 1);
    ASSERT_TRUE(more);
    EXPECT_GT(more->front(), keys->back());
    ASSERT_TRUE(store->commitSave());
    EXPECT_EQ(storedFields(), "10");
}

ZANDREL_SQLITE_ONLY_SUITE(StoreBatchedInsertSqliteTest, StoreBatchedInsertTest);

TEST_P(StoreBatchedInsertSqliteTest, AFailureFoundByALaterReadFailsTheCommitToo) {
    auto store = open();
    ASSERT_TRUE(store);
    GetParam().refuseInsertsNamed(address, "refused");
    ASSERT_TRUE(store->beginSave());
    auto owner = store->allocateKeys(templates(), 1);
    auto keys = store->allocateKeys(fields(), 10);
    ASSERT_TRUE(owner && keys);
    ASSERT_TRUE(
        store->insertRecord(templates(), owner->front(), std::vector<Value>(templates().attributes.size())));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(store->insertRecord(fields(), (*keys)[size_t(i)],
                                        field(i, owner->front(), i == 5 ? "refused" : "")));
    auto all = host::Qualifier::compile(fields(), "", {}, store->dialect());
    ASSERT_TRUE(all);
    auto counted = store->count(fields(), *all);
    ASSERT_FALSE(counted);
    EXPECT_NE(counted.status().message().find("name=\"refused\""), std::string::npos)
        << counted.status().message();
    auto committed = store->commitSave();
    ASSERT_FALSE(committed) << "a save missing a record is never committed";
    EXPECT_NE(committed.message().find("refused by test trigger"), std::string::npos) << committed.message();
    EXPECT_EQ(storedFields(), "0");
    EXPECT_EQ(rawQuery("SELECT count(*) FROM \"CustomRecordSetDefinition\""), "0");
}

TEST_P(StoreBatchedInsertSqliteTest, ATriggerThatKeepsEarlierRowsOfAStatementStillLeavesNothing) {
    // FAIL keeps what the failing statement wrote before the refused row.
    rawExec(
        "CREATE TRIGGER refuse BEFORE INSERT ON CustomRecordDefinition WHEN NEW.name = 'refused' BEGIN "
        "SELECT RAISE(FAIL, 'refused by test trigger'); END;");
    auto store = open();
    ASSERT_TRUE(store);
    std::vector<int64_t> keys;
    auto failed = saveFields(*store, 60, 40, keys);
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.message().find(fmt::format("<CustomRecordDefinition {} name=\"refused\">", keys[40])),
              std::string::npos)
        << failed.message();
    EXPECT_EQ(storedFields(), "0");
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreBatchedInsertTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
