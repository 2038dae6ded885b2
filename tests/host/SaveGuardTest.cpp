// Checks made inside a save (a name still free, a record that must exist once) and saves whose
// commit outcome the store could not learn at once: never a duplicate, never a save stored twice.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"
#include "tests/host/ForwardingStore.h"
#include "tests/host/StoreTestSupport.h"

using platform::Status;
using platform::Value;
using SaveGuardAction = DLPObjectContext::SaveGuardAction;

namespace {

class SaveGuardTest : public hosttest::StoreTest {
protected:
    // A template named `name`, guarded so that a stored active one of that name refuses (or
    // drops) it.
    std::shared_ptr<CustomRecordSetDefinition> guardedTemplate(DLPObjectContext& in, const std::string& name,
                                                               SaveGuardAction action) {
        auto made = in.createObject<CustomRecordSetDefinition>(true);
        EXPECT_TRUE(made) << made.status().message();
        (*made)->setName(Value(name));
        (*made)->setActive(Value(true));
        platform::Dictionary bindings;
        bindings["name"] = Value(name);
        auto guarded = in.guardInsert(*made, "template:" + name, "name == $name AND active == YES", bindings,
                                      action, "Name already in use");
        EXPECT_TRUE(guarded) << guarded.message();
        return *made;
    }

    std::string storedCount(const std::string& name) {
        return rawQuery("SELECT count(*) FROM CustomRecordSetDefinition WHERE name = '" + name + "'");
    }
};

TEST_P(SaveGuardTest, TheSecondOfTwoHostsTakingOneNameIsRefusedAndKeepsItsChanges) {
    auto other = signIn();
    // Both checked the name before either saved, as two open dialogs do.
    guardedTemplate(*context, "Same", SaveGuardAction::Refuse);
    auto theirs = guardedTemplate(*other, "Same", SaveGuardAction::Refuse);
    ASSERT_TRUE(context->saveChanges());
    Status refused = other->saveChanges();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.code(), Status::Code::Conflict);
    EXPECT_NE(refused.message().find("Name already in use"), std::string::npos) << refused.message();
    EXPECT_EQ(storedCount("Same"), "1");
    // Nothing was written and the refused insert is still pending: renamed, it saves.
    EXPECT_TRUE(other->hasChanges());
    EXPECT_LT(theirs->primaryKeyValue(), 0);
    ASSERT_TRUE(other->deleteObjectSkipTrash(theirs, true));
    guardedTemplate(*other, "Other name", SaveGuardAction::Refuse);
    ASSERT_TRUE(other->saveChanges());
    EXPECT_EQ(storedCount("Other name"), "1");
}

TEST_P(SaveGuardTest, OnlyMatchingStoredRecordsCount) {
    // An inactive template of that name, and this context's own pending one, do not count.
    auto inactive = context->createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(inactive);
    (*inactive)->setName(Value("Dormant"));
    (*inactive)->setActive(Value(false));
    ASSERT_TRUE(context->saveChanges());
    guardedTemplate(*context, "Dormant", SaveGuardAction::Refuse);
    auto saved = context->saveChanges();
    ASSERT_TRUE(saved) << saved.message();
    EXPECT_EQ(storedCount("Dormant"), "2");
}

TEST_P(SaveGuardTest, ADroppedInsertLeavesOneRecordAndTheRestIsSaved) {
    auto other = signIn();
    guardedTemplate(*context, "Once", SaveGuardAction::Drop);
    auto dropped = guardedTemplate(*other, "Once", SaveGuardAction::Drop);
    auto unrelated = other->createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(unrelated);
    (*unrelated)->setName(Value("Unrelated"));
    ASSERT_TRUE(context->saveChanges());
    auto saved = other->saveChanges();
    ASSERT_TRUE(saved) << saved.message();
    EXPECT_EQ(storedCount("Once"), "1");
    EXPECT_EQ(storedCount("Unrelated"), "1");
    EXPECT_TRUE(dropped->isDeleted());
    EXPECT_FALSE(other->hasChanges());
}

INSTANTIATE_TEST_SUITE_P(Stores, SaveGuardTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

// A store that forwards to a real one and, when told, breaks the report of the next commit the
// way a connection cut during COMMIT does: the commit itself happens (or not), the caller hears
// Code::Unknown, and lastSaveOutcome() answers only once "the server is back".
class CutCommitStore final : public hosttest::ForwardingStore {
public:
    using ForwardingStore::ForwardingStore;

    enum class Cut { None, AfterCommit, InsteadOfCommit };
    Cut cutNext = Cut::None;
    bool serverBack = false;

    Status beginSave() override {
        if (m_unresolved) return Status::error(Status::Code::Unknown, "the last commit is not resolved");
        return real().beginSave();
    }
    Status commitSave() override {
        const Cut cut = std::exchange(cutNext, Cut::None);
        if (cut == Cut::None) return real().commitSave();
        if (cut == Cut::AfterCommit) {
            if (auto status = real().commitSave(); !status) return status;
        } else {
            real().abandonSave();
        }
        m_unresolved = cut == Cut::AfterCommit ? 1 : 0;
        return Status::error(Status::Code::Unknown, "the connection broke during COMMIT");
    }
    platform::Result<bool> lastSaveOutcome() override {
        if (!m_unresolved) return false;
        if (!serverBack) return Status::error(Status::Code::Unknown, "the server does not answer yet");
        bool stored = *m_unresolved == 1;
        m_unresolved.reset();
        return stored;
    }

private:
    std::optional<int> m_unresolved;  // 1: that commit was stored, 0: it was not
};

struct CutCase {
    const char* name;
    CutCommitStore::Cut cut;
    bool changeMeanwhile;  // the person renames the copy while the outcome is unknown
};

class CutCommitTest : public hosttest::StoreTest {};

TEST_P(CutCommitTest, ASaveWithAnUnknownOutcomeIsStoredExactlyOnceWithItsLatestValues) {
    const CutCase cases[] = {
        {"stored, unchanged", CutCommitStore::Cut::AfterCommit, false},
        {"stored, changed since", CutCommitStore::Cut::AfterCommit, true},
        {"not stored, unchanged", CutCommitStore::Cut::InsteadOfCommit, false},
        {"not stored, changed since", CutCommitStore::Cut::InsteadOfCommit, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto real = host::StoreFactory::open(address);
        ASSERT_TRUE(real) << real.status().message();
        auto store = std::make_shared<CutCommitStore>(*real);
        auto opened = DLPObjectContext::signIn(store, "ada");
        ASSERT_TRUE(opened) << opened.status().message();
        auto& cut = **opened;
        const std::string name = std::string("Copy ") + c.name;
        auto made = cut.createObject<CustomRecordSetDefinition>(true);
        ASSERT_TRUE(made);
        (*made)->setName(Value(name));

        store->cutNext = c.cut;
        Status first = cut.saveChanges();
        ASSERT_FALSE(first);
        EXPECT_EQ(first.code(), Status::Code::Unknown);
        EXPECT_TRUE(cut.hasChanges());
        if (c.changeMeanwhile) (*made)->setName(Value(name + " renamed"));

        // The server still does not answer: nothing is written, the outcome stays open.
        Status again = cut.saveChanges();
        ASSERT_FALSE(again);
        EXPECT_EQ(again.code(), Status::Code::Unknown);

        store->serverBack = true;
        Status resolved = cut.saveChanges();
        ASSERT_TRUE(resolved) << resolved.message();
        EXPECT_FALSE(cut.hasChanges());
        EXPECT_GT((*made)->primaryKeyValue(), 0);
        const std::string finalName = c.changeMeanwhile ? name + " renamed" : name;
        EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordSetDefinition WHERE name LIKE 'Copy " +
                           std::string(c.name) + "%'"),
                  "1");
        EXPECT_EQ(rawQuery("SELECT name FROM CustomRecordSetDefinition WHERE pk = " +
                           std::to_string((*made)->primaryKeyValue())),
                  finalName);
    }
}

TEST_P(CutCommitTest, AnObjectDeletedWhileTheOutcomeWasUnknownIsDeletedFromTheDatabase) {
    auto real = host::StoreFactory::open(address);
    ASSERT_TRUE(real) << real.status().message();
    auto store = std::make_shared<CutCommitStore>(*real);
    auto opened = DLPObjectContext::signIn(store, "ada");
    ASSERT_TRUE(opened);
    auto& cut = **opened;
    auto made = cut.createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(made);
    (*made)->setName(Value("Regretted"));
    store->cutNext = CutCommitStore::Cut::AfterCommit;
    ASSERT_FALSE(cut.saveChanges());
    ASSERT_TRUE(cut.deleteObjectSkipTrash(*made, true));
    store->serverBack = true;
    ASSERT_TRUE(cut.saveChanges());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordSetDefinition WHERE name = 'Regretted'"), "0");
    EXPECT_FALSE(cut.hasChanges());
}

INSTANTIATE_TEST_SUITE_P(Stores, CutCommitTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
