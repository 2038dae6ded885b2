#include <gtest/gtest.h>

#include <algorithm>

#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "tests/host/DatabaseTestSupport.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

const std::string kHostile = "'; DROP TABLE CustomRecordDefinition; --";

struct Row {
    const char* name;
    Value typeCode, active, defaultValue, details;
};

const Row kRows[] = {
    {"a", 0, true, "x", {}},
    {"b", 1, false, 5, "d"},
    {"c", 3, true, {}, "O'Brien"},
    {"d", {}, {}, 2.5, Value(kHostile)},
};

struct MatchCase {
    const char* qualifier;
    Dictionary bindings;
    std::vector<std::string> expected;
};

const MatchCase kMatchCases[] = {
    {"", {}, {"a", "b", "c", "d"}},
    {"typeCode == 1", {}, {"b"}},
    {"typeCode = 1", {}, {"b"}},
    {"typeCode != 1", {}, {"a", "c", "d"}},
    {"typeCode <> 1", {}, {"a", "c", "d"}},
    {"typeCode == nil", {}, {"d"}},
    {"typeCode != NIL", {}, {"a", "b", "c"}},
    {"typeCode < 3", {}, {"a", "b"}},
    {"typeCode >= 1", {}, {"b", "c"}},
    {"typeCode <= 0", {}, {"a"}},
    {"typeCode > 0", {}, {"b", "c"}},
    {"typeCode > -1", {}, {"a", "b", "c"}},
    {"typeCode == -1", {}, {}},
    {"3 > typeCode", {}, {"a", "b"}},
    {"active == YES", {}, {"a", "c"}},
    {"active == TRUE", {}, {"a", "c"}},
    {"active == NO", {}, {"b"}},
    {"NOT active == YES", {}, {"b", "d"}},
    {"!(active == YES)", {}, {"b", "d"}},
    {"not typeCode < 3", {}, {"c", "d"}},
    {"active == YES AND typeCode == 3", {}, {"c"}},
    {"typeCode == 0 OR typeCode == 1 AND active == YES", {}, {"a"}},
    {"(typeCode == 0 OR typeCode == 1) and active == NO", {}, {"b"}},
    {"name == 'a' || name == \"b\"", {}, {"a", "b"}},
    {"name != 'a' && !(name == 'b')", {}, {"c", "d"}},
    {"typeCode IN $list", {{"list", Array{0, 3}}}, {"a", "c"}},
    {"typeCode in {1, 3}", {}, {"b", "c"}},
    {"typeCode IN $list", {{"list", Array{}}}, {}},
    {"typeCode IN {}", {}, {}},
    {"NOT typeCode IN {1}", {}, {"a", "c", "d"}},
    {"name IN $names", {{"names", Array{"a", "d", "zz"}}}, {"a", "d"}},
    {"defaultValue == 5", {}, {"b"}},
    {"defaultValue == 5.0", {}, {"b"}},
    {"defaultValue == '5'", {}, {}},
    {"defaultValue < 3", {}, {"d"}},
    {"defaultValue > 1", {}, {"a", "b", "d"}},  // texts order after numbers
    {"details == nil", {}, {"a"}},
    {"details == NULL", {}, {"a"}},
    {"details == 'O\\'Brien'", {}, {"c"}},
    {"details == $d", {{"d", "O'Brien"}}, {"c"}},
    {"details == $d", {{"d", Value(kHostile)}}, {"d"}},
    {"details == $d", {{"d", "o'brien"}}, {}},  // case-sensitive
    {"name == $n", {{"n", Value()}}, {}},
    {"typeCode == $t", {{"t", true}}, {"b"}},
    {"typeCode == $t AND active == $f", {{"t", 1}, {"f", false}}, {"b"}},
};

class QualifierTest : public hosttest::DatabaseTest {
protected:
    void addRows(DLPObjectContext& into) {
        for (const auto& row : kRows) {
            auto made = into.createObject<CustomRecordDefinition>();
            ASSERT_TRUE(made);
            (*made)->setName(row.name);
            (*made)->setTypeCode(row.typeCode);
            (*made)->setActive(row.active);
            (*made)->setDefaultValue(row.defaultValue);
            (*made)->setDetails(row.details);
        }
    }
    std::vector<std::string> fetch(DLPObjectContext& from, const MatchCase& c) {
        auto result = from.objectsForEntityNamedQualifierLocumBindings("CustomRecordDefinition", c.qualifier,
                                                                       c.bindings);
        EXPECT_TRUE(result) << c.qualifier << ": " << result.status().message();
        std::vector<std::string> names;
        if (result)
            for (const auto& object : *result) names.push_back(object->valueForKey("name")->asString());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The same qualifier must mean the same thing in SQL (saved rows) and in memory (unsaved ones).
TEST_F(QualifierTest, SavedAndUnsavedObjectsMatchAlike) {
    addRows(*context);
    for (const auto& c : kMatchCases) {
        EXPECT_EQ(fetch(*context, c), c.expected) << "unsaved, in memory: " << c.qualifier;
        auto count = context->resultCountForEntityNamedQualifierLocumBindings("CustomRecordDefinition",
                                                                              c.qualifier, c.bindings);
        EXPECT_EQ(*count, int64_t(c.expected.size())) << "unsaved count: " << c.qualifier;
    }
    ASSERT_TRUE(context->saveChanges());
    auto fresh = signIn();
    for (const auto& c : kMatchCases) {
        auto count = fresh->resultCountForEntityNamedQualifierLocumBindings("CustomRecordDefinition",
                                                                            c.qualifier, c.bindings);
        EXPECT_EQ(*count, int64_t(c.expected.size())) << "saved count, in SQL: " << c.qualifier;
        EXPECT_EQ(fetch(*fresh, c), c.expected) << "saved, in SQL: " << c.qualifier;
    }
    EXPECT_EQ(hosttest::rawQuery(file, "SELECT count(*) FROM CustomRecordDefinition"), "4");
}

TEST_F(QualifierTest, BoundValuesNeverBecomeSql) {
    const auto& entity = *host::EntityCatalog::shared().find("CustomRecordDefinition");
    auto compiled = host::Qualifier::compile(entity, "details == $d OR name IN $n",
                                             {{"d", Value(kHostile)}, {"n", Array{"x\"", "y'"}}});
    ASSERT_TRUE(compiled) << compiled.status().message();
    EXPECT_EQ(compiled->sql(), "((\"details\" IS ?) OR (\"name\" IN (?, ?)))");
    EXPECT_EQ(compiled->parameters().size(), 3u);
    EXPECT_EQ(compiled->parameters()[0].bytes, kHostile);
}

// Outside NOT a test that may be NULL in SQL is written plainly, so an index can serve it; under
// NOT it is pinned to 0 or 1, so NOT keeps the two-valued meaning.
TEST_F(QualifierTest, OnlyTestsUnderNotArePinnedToTwoValues) {
    const auto& entity = *host::EntityCatalog::shared().find("CustomRecordDefinition");
    struct Case {
        const char* qualifier;
        const char* sql;
    } cases[] = {
        {"name IN $n", "(\"name\" IN (?, ?))"},
        {"typeCode < 3", "(\"typeCode\" < ?)"},
        {"NOT name IN $n", "(NOT ((\"name\" IN (?, ?)) IS 1))"},
        {"NOT (typeCode < 3 OR name == 'a')", "(NOT (((\"typeCode\" < ?) IS 1) OR (\"name\" IS ?)))"},
        {"NOT (typeCode >= 3 AND NOT name IN $n)",
         "(NOT (((\"typeCode\" >= ?) IS 1) AND (NOT ((\"name\" IN (?, ?)) IS 1))))"},
        {"typeCode < 3 AND NOT typeCode > 9", "((\"typeCode\" < ?) AND (NOT ((\"typeCode\" > ?) IS 1)))"},
    };
    for (const auto& c : cases) {
        auto compiled = host::Qualifier::compile(entity, c.qualifier, {{"n", Array{"x", Value()}}});
        ASSERT_TRUE(compiled) << compiled.status().message();
        EXPECT_EQ(compiled->sql(), c.sql) << c.qualifier;
    }
}

struct ErrorCase {
    const char* qualifier;
    Dictionary bindings;
    const char* expected;
};

TEST(QualifierErrorTest, MalformedQualifiersSayWhereAndWhat) {
    const ErrorCase cases[] = {
        {"name ==",
         {},
         "qualifier \"name ==\" at character 8: expected a value (attribute, $variable, number, 'text', nil, "
         "YES or NO) "
         "after '==', found the end"},
        {"name", {}, "at character 5: expected a comparison (==, !=, <, >, <=, >= or IN), found the end"},
        {"nmae == 1",
         {},
         "at character 1: CustomRecordDefinition has no attribute \"nmae\" (it has: active, defaultValue"},
        {"name == $missing",
         {{"other", 1}},
         "at character 9: no binding for $missing (bindings given: other)"},
        {"name == $missing", {}, "no binding for $missing (bindings given: none)"},
        {"(name == 'a'", {}, "at character 13: expected ')', found the end"},
        {"name == 'a", {}, "at character 9: expected the closing ' of the text"},
        {"name == 'a' AND",
         {},
         "at character 16: expected a value (attribute, $variable, number, 'text', nil, YES or NO) "
         "at the start of a comparison, found the end"},
        {"name == 'a' name == 'b'", {}, "at character 13: expected AND, OR or the end, found 'name'"},
        {"name IN 'a'", {}, "at character 9: expected $variable or '{' after IN, found 'a'"},
        {"name IN $s", {{"s", "x"}}, "$s must be an array for IN, not string"},
        {"name == $d",
         {{"d", Dictionary{{"k", 1}}}},
         "$d is dictionary; compare texts, numbers, booleans or nil"},
        {"name == $a",
         {{"a", Array{1}}},
         "$a is array; compare texts, numbers, booleans or nil (arrays only with IN)"},
        {"name # 1", {}, "at character 6: unexpected character '#'"},
        {"typeCode == 12abc", {}, "at character 15: expected an operator or space after the number"},
        {"typeCode == 1e", {}, "expected the exponent's digits"},
        {"typeCode == 99999999999999999999", {}, "the number 99999999999999999999 is out of range"},
        {"name IN {'a' 'b'}", {}, "expected ',' or '}' in the list, found 'b'"},
        {"AND", {}, "at character 1: expected a value at the start of a comparison, found the keyword AND"},
        {"name == $", {}, "at character 9: expected a variable name after '$'"},
        {"()", {}, "at character 2: expected a value"},
        {"name == 'a')", {}, "at character 12: expected AND, OR or the end, found ')'"},
    };
    const auto& entity = *host::EntityCatalog::shared().find("CustomRecordDefinition");
    for (const auto& c : cases) {
        auto compiled = host::Qualifier::compile(entity, c.qualifier, c.bindings);
        ASSERT_FALSE(compiled) << c.qualifier;
        EXPECT_NE(compiled.status().message().find(c.expected), std::string::npos)
            << c.qualifier << "\n  got: " << compiled.status().message() << "\n  want: " << c.expected;
    }
}

TEST_F(QualifierTest, ContextReportsQualifierErrors) {
    auto fetched = context->objectsForEntityNamedQualifierLocumBindings("Category", "name ==", {});
    ASSERT_FALSE(fetched);
    EXPECT_NE(fetched.status().message().find("at character 8"), std::string::npos);
    auto counted = context->resultCountForEntityNamedQualifierLocumBindings("Category", "colour == 1", {});
    ASSERT_FALSE(counted);
    EXPECT_NE(counted.status().message().find("Category has no attribute \"colour\""), std::string::npos);
    auto unknown = context->objectsForEntityNamedQualifierLocumBindings("Spaceship", "", {});
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.status().message().find("no entity \"Spaceship\" (it has: Contact, User"),
              std::string::npos);
}

}  // namespace
