// Registering settings kept in the host database: the record handed to the host, and the
// setting as users of one database file then read and write it.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "framework/Categories/MCUserDefaults+VEXA.h"
#include "host/database/model/MCUserDefaults.h"
#include "tests/host/DatabaseTestSupport.h"

namespace {

using platform::Dictionary;
using platform::Value;

// The record for key K of type String in a scope, with the default as text when there is one.
Dictionary::Entries stringRecord(const char* scope, std::optional<const char*> defaultText = std::nullopt) {
    Dictionary::Entries entries{
        {"Key", "K"}, {"StorageType", "Database"}, {"Scope", scope}, {"ValueType", "String"}};
    if (defaultText) entries.emplace_back("DefaultValue", *defaultText);
    return entries;
}

TEST(UserDefaultRecordTest, EntriesFollowTheHostsOrderWithTheDefaultAsText) {
    struct Case {
        const char* name;
        Value defaultValue;
        bool global;
        Dictionary::Entries expected;
    } cases[] = {
        {"no default, host scope", Value(), false, stringRecord("Host")},
        {"no default, global", Value(), true, stringRecord("Global")},
        {"text default", "plain text", false, stringRecord("Host", "plain text")},
        {"true", true, true, stringRecord("Global", "1")},
        {"false", false, false, stringRecord("Host", "0")},
        {"integer", int64_t{-42}, false, stringRecord("Host", "-42")},
        {"real", 2.5, false, stringRecord("Host", "2.5")},
        {"empty text", "", false, stringRecord("Host", "")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kopaDatabaseUserDefaultRecord("K", "String", c.defaultValue, c.global), c.expected)
            << c.name;
    // The type designation goes through as it is, whatever it is.
    auto record = kopaDatabaseUserDefaultRecord("K", int64_t{7}, Value(), false);
    EXPECT_EQ(record[3].second, Value(int64_t{7}));
}

class RegisteredSettingTest : public hosttest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        auto setup = DLPObjectContext::open(file, "ada");
        ASSERT_TRUE(setup);
        addUser(**setup, "cy", "Cy Other", true);
        ASSERT_TRUE((*setup)->saveChanges());
        auto other = DLPObjectContext::open(file, "cy");
        ASSERT_TRUE(other) << other.status().message();
        cy = *other;
        MCUserDefaults::removeAllRegistrations();
    }
    void TearDown() override { MCUserDefaults::removeAllRegistrations(); }

    static Value read(DLPObjectContext& context, const char* key) {
        auto value = context.userDefaults().objectForKey(key);
        EXPECT_TRUE(value) << value.status().message();
        return value ? *value : Value("<failed>");
    }

    std::shared_ptr<DLPObjectContext> cy;
};

TEST_F(RegisteredSettingTest, ReadsGiveTheDefaultUntilAValueIsStoredInTheScopeRegistered) {
    ASSERT_TRUE(kopaRegisterDatabaseUserDefaultWithKeyTypeDefaultValueGlobal("ShowcaseLimit", "Number",
                                                                             int64_t{25}, true));
    ASSERT_TRUE(kopaRegisterDatabaseUserDefaultWithKeyTypeDefaultValueGlobal("ShowcaseColour", "String",
                                                                             "blue", false));
    ASSERT_TRUE(kopaRegisterDatabaseUserDefaultWithKeyTypeDefaultValueGlobal("ShowcaseNoDefault", "String",
                                                                             Value(), false));

    EXPECT_EQ(read(*context, "ShowcaseLimit"), Value("25")) << "the default is kept as its text";
    EXPECT_EQ(read(*cy, "ShowcaseColour"), Value("blue"));
    EXPECT_EQ(read(*cy, "ShowcaseNoDefault"), Value());

    ASSERT_TRUE(context->userDefaults().setObjectForKey(int64_t{40}, "ShowcaseLimit"));
    ASSERT_TRUE(context->userDefaults().setObjectForKey("green", "ShowcaseColour"));
    EXPECT_EQ(read(*cy, "ShowcaseLimit"), Value(int64_t{40})) << "a global setting is shared";
    EXPECT_EQ(read(*cy, "ShowcaseColour"), Value("blue")) << "a host-scope setting is per user";
    EXPECT_EQ(read(*context, "ShowcaseColour"), Value("green"));

    // Another program on the same file sees what was stored.
    auto later = signIn();
    EXPECT_EQ(read(*later, "ShowcaseLimit"), Value(int64_t{40}));
    EXPECT_EQ(
        hosttest::rawQuery(file, "SELECT count(*) FROM zandrel_user_default WHERE key = 'ShowcaseLimit'"),
        "1");
}

TEST_F(RegisteredSettingTest, TheHostsRefusalComesBack) {
    auto status = kopaRegisterDatabaseUserDefaultWithKeyTypeDefaultValueGlobal("", "String", "x", false);
    ASSERT_FALSE(status);
    EXPECT_NE(status.message().find("\"Key\""), std::string::npos) << status.message();
    EXPECT_FALSE(MCUserDefaults::registrationForKey(""));
}

}  // namespace
