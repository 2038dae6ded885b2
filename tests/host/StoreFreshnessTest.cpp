// Two contexts on two connections of one database: what one saves, the other sees at its next
// fetch, count or fetch by key, while its own unsaved changes keep winning.

#include <gtest/gtest.h>

#include "host/database/model/CustomRecordSetDefinition.h"
#include "tests/host/StoreTestSupport.h"

using platform::Value;

namespace {

class StoreFreshnessTest : public hosttest::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        other = signIn();
        ASSERT_TRUE(other);
        auto made = context->createObject<CustomRecordSetDefinition>(true);
        ASSERT_TRUE(made);
        (*made)->setName("Visit");
        (*made)->setActive(true);
        ASSERT_TRUE(context->saveChanges());
        key = (*made)->primaryKeyValue();
    }

    std::shared_ptr<CustomRecordSetDefinition> fetchedBy(DLPObjectContext& in) {
        auto found = in.objectsForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "");
        EXPECT_TRUE(found) << found.status().message();
        if (!found) return nullptr;
        for (const auto& object : *found)
            if (object->primaryKeyValue() == key)
                return std::static_pointer_cast<CustomRecordSetDefinition>(object);
        return nullptr;
    }
    int64_t activeCount(DLPObjectContext& in) {
        auto counted =
            in.resultCountForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "active == YES");
        EXPECT_TRUE(counted) << counted.status().message();
        return counted ? *counted : -1;
    }

    std::shared_ptr<DLPObjectContext> other;
    int64_t key = 0;
};

TEST_P(StoreFreshnessTest, SavedChangesAreSeenAtTheOthersNextFetchWithTheSameObject) {
    auto mine = fetchedBy(*other);
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->name(), Value("Visit"));

    auto theirs = fetchedBy(*context);
    theirs->setName("Call");
    theirs->setActive(false);
    ASSERT_TRUE(context->saveChanges());

    // Fetch by qualifier, by key, and the count all ask the database again.
    auto again = fetchedBy(*other);
    EXPECT_EQ(again.get(), mine.get()) << "one record stays one object";
    EXPECT_EQ(mine->name(), Value("Call"));
    EXPECT_EQ(activeCount(*other), 0);
    theirs->setName("Meeting");
    ASSERT_TRUE(context->saveChanges());
    auto byKey = other->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", key);
    ASSERT_TRUE(byKey && *byKey);
    EXPECT_EQ(byKey->get(), mine.get());
    EXPECT_EQ(mine->name(), Value("Meeting"));
}

TEST_P(StoreFreshnessTest, UnsavedChangesWinOverWhatOthersSaveUntilSaved) {
    auto mine = fetchedBy(*other);
    ASSERT_TRUE(mine);
    mine->setName("Mine");
    auto theirs = fetchedBy(*context);
    theirs->setName("Theirs");
    ASSERT_TRUE(context->saveChanges());

    for (int round = 0; round < 2; ++round) {
        auto fetched = other->objectsForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "");
        ASSERT_TRUE(fetched);
        ASSERT_EQ(fetched->size(), 1u);
        EXPECT_EQ(mine->name(), Value("Mine"));
        auto byKey = other->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", key);
        ASSERT_TRUE(byKey && *byKey);
        EXPECT_EQ((*byKey)->valueForKey("name")->description(), "Mine");
    }
    // Saved, the last writer's values are what everybody reads.
    ASSERT_TRUE(other->saveChanges());
    EXPECT_EQ(fetchedBy(*context)->name(), Value("Mine"));
}

TEST_P(StoreFreshnessTest, RecordsInsertedOrDeletedElsewhereAppearAndDisappear) {
    auto mine = fetchedBy(*other);
    ASSERT_TRUE(mine);
    EXPECT_EQ(activeCount(*other), 1);

    auto added = context->createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(added);
    (*added)->setName("Added");
    (*added)->setActive(true);
    ASSERT_TRUE(context->saveChanges());
    EXPECT_EQ(activeCount(*other), 2);

    ASSERT_TRUE(context->deleteObjectSkipTrash(fetchedBy(*context), true));
    ASSERT_TRUE(context->saveChanges());
    EXPECT_EQ(fetchedBy(*other), nullptr);
    auto byKey = other->objectForEntityNamedWherePrimaryKeyValueIs("CustomRecordSetDefinition", key);
    ASSERT_TRUE(byKey);
    EXPECT_EQ(*byKey, nullptr);
    EXPECT_EQ(activeCount(*other), 1);
    EXPECT_EQ(mine->name(), Value("Visit")) << "holders keep the object they had";
}

TEST_P(StoreFreshnessTest, SettingsSavedByOneAreReadByTheOther) {
    ASSERT_TRUE(context->userDefaults().setObjectForKey(Value("blue"), "Colour"));
    auto read = other->userDefaults().objectForKey("Colour");
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, Value("blue"));
    ASSERT_TRUE(context->userDefaults().removeObjectForKey("Colour"));
    read = other->userDefaults().objectForKey("Colour");
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->isNull());
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreFreshnessTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
