// Settings changed from their old value (counters, lists one adds to) by several connections at
// once: each change is computed again from the newer value when another writer was first, so
// none is lost, on every store.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/database/model/MCUserDefaults.h"
#include "tests/host/StoreTestSupport.h"
#include "tests/support/ChildProcesses.h"

using platform::Dictionary;
using platform::Value;

namespace {

constexpr const char* kCounter = "Counter";

class UserDefaultsUpdateTest : public hosttest::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        MCUserDefaults::removeAllRegistrations();
        ASSERT_TRUE(
            MCUserDefaults::registerUserDefaultFromConfig(Value(Dictionary{{"Key", kCounter},
                                                                           {"StorageType", "Database"},
                                                                           {"Scope", "Global"},
                                                                           {"ValueType", "Integer"},
                                                                           {"DefaultValue", "0"}})));
        other = signIn();
        ASSERT_TRUE(other);
    }
    void TearDown() override { MCUserDefaults::removeAllRegistrations(); }

    // The counter's increment as a caller writes it; the registered default comes back as text.
    static Value incremented(const Value& current) {
        int64_t count = current.isInteger() ? current.asInteger() : std::stoll(current.asString());
        return Value(count + 1);
    }
    Value stored() { return *other->userDefaults().objectForKey(kCounter); }

    std::shared_ptr<DLPObjectContext> other;  // another connection to the same database
};

TEST_P(UserDefaultsUpdateTest, AChangeIsComputedAgainWhenAnotherWriterWasFirst) {
    int calls = 0;
    auto result = context->userDefaults().updateObjectForKey(kCounter, [&](const Value& current) {
        // Another host stores a count between this one's read and its write.
        if (++calls == 1) {
            EXPECT_TRUE(other->userDefaults().setObjectForKey(Value(int64_t{100}), kCounter));
        }
        return incremented(current);
    });
    ASSERT_TRUE(result) << result.status().message();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(*result, Value(int64_t{101}));
    EXPECT_EQ(stored(), Value(int64_t{101}));
}

TEST_P(UserDefaultsUpdateTest, GivesUpAfterTheLastAttemptAndWritesNothing) {
    int calls = 0;
    auto result = context->userDefaults().updateObjectForKey(kCounter, [&](const Value& current) {
        ++calls;
        EXPECT_TRUE(other->userDefaults().setObjectForKey(Value(int64_t{1000 + calls}), kCounter));
        return Value(int64_t{-1});
    });
    ASSERT_FALSE(result);
    EXPECT_EQ(result.status().code(), platform::Status::Code::Conflict);
    EXPECT_EQ(calls, MCUserDefaults::kUpdateAttempts);
    EXPECT_EQ(stored(), Value(int64_t{1000 + MCUserDefaults::kUpdateAttempts}));
}

struct UpdateCase {
    const char* name;
    std::function<void(DLPObjectContext& setUp)> before;
    std::function<Value(const Value&)> change;
    Value seen;      // what the change is called with
    bool succeeds;   // false: an error, and the change is never called
    Value expected;  // what objectForKey gives afterwards
};

TEST_P(UserDefaultsUpdateTest, WhatTheChangeSeesAndWhatIsStored) {
    const std::vector<UpdateCase> cases = {
        {"nothing stored: the registered default", [](DLPObjectContext&) {}, incremented, Value("0"), true,
         Value(int64_t{1})},
        {"a stored value",
         [](DLPObjectContext& c) { ASSERT_TRUE(c.userDefaults().setObjectForKey(41, kCounter)); },
         incremented, Value(41), true, Value(int64_t{42})},
        {"null removes",
         [](DLPObjectContext& c) { ASSERT_TRUE(c.userDefaults().setObjectForKey(7, kCounter)); },
         [](const Value&) { return Value(); }, Value(7), true, Value("0")},
        {"damaged text is an error",
         [this](DLPObjectContext&) {
             rawExec("INSERT INTO zandrel_user_default (user_pk, key, value) VALUES (0, 'Counter', '{oops')");
         },
         incremented, Value(), false, Value()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rawExec("DELETE FROM zandrel_user_default");
        c.before(*other);
        std::vector<Value> seen;
        auto result = context->userDefaults().updateObjectForKey(kCounter, [&](const Value& current) {
            seen.push_back(current);
            return c.change(current);
        });
        EXPECT_EQ(bool(result), c.succeeds) << result.status().message();
        if (c.succeeds) {
            EXPECT_EQ(seen, std::vector<Value>{c.seen});
            EXPECT_EQ(stored(), c.expected);
        } else {
            EXPECT_TRUE(seen.empty());
            EXPECT_EQ(rawQuery("SELECT value FROM zandrel_user_default"), "{oops");
        }
    }
}

TEST_P(UserDefaultsUpdateTest, TenProcessesIncrementingAtOnceCountEveryIncrement) {
    constexpr int kProcesses = 10, kEach = 5;
    ASSERT_NO_FATAL_FAILURE(testsupport::inConcurrentChildren(kProcesses, [&] {
        // A connection of the child's own; nothing of the parent's is used.
        auto mine = DLPObjectContext::open(address, "ada");
        bool ok = bool(mine);
        for (int i = 0; ok && i < kEach; ++i)
            ok = bool((*mine)->userDefaults().updateObjectForKey(kCounter, incremented));
        return ok;
    }));
    EXPECT_EQ(stored(), Value(int64_t{kProcesses * kEach}));
}

INSTANTIATE_TEST_SUITE_P(Stores, UserDefaultsUpdateTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
