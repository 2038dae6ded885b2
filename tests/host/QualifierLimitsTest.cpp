// Qualifiers at their limits: deep nesting is refused with a clear error instead of
// exhausting a stack, long chains work, and whatever compiles also prepares and runs in
// SQLite with the same answer as in memory.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "tests/host/DatabaseTestSupport.h"

using host::Qualifier;
using platform::Value;

namespace {

using hosttest::recordEntity;

std::string repeat(std::string_view piece, size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// Rows named r0..r9 with typeCode 0..9 and details "d0".."d9" (r9 without details).
class QualifierLimitsTest : public hosttest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        for (int i = 0; i < 10; ++i) {
            auto made = context->createObject<CustomRecordDefinition>();
            ASSERT_TRUE(made);
            (*made)->setName("r" + std::to_string(i));
            (*made)->setTypeCode(i);
            (*made)->setDetails(i == 9 ? Value() : Value("d" + std::to_string(i)));
            objects.push_back(*made);
        }
        ASSERT_TRUE(context->saveChanges());
        auto opened = host::Database::open(file);
        ASSERT_TRUE(opened) << opened.status().message();
        database = *opened;
    }

    std::vector<std::string> inMemory(const Qualifier& qualifier) {
        std::vector<std::string> names;
        for (const auto& object : objects)
            if (qualifier.matches(object->values())) names.push_back(object->valueForKey("name")->asString());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs the condition in SQLite; a condition SQLite cannot prepare fails the test.
    std::vector<std::string> inSql(const Qualifier& qualifier) {
        auto statement =
            database->prepare("SELECT name FROM \"CustomRecordDefinition\" WHERE " + qualifier.sql());
        EXPECT_TRUE(statement) << statement.status().message().substr(0, 300);
        std::vector<std::string> names;
        if (!statement) return names;
        qualifier.bindParameters(*statement);
        while (statement->step()) names.push_back(statement->columnText(0));
        EXPECT_TRUE(statement->lastStatus()) << statement->lastStatus().message();
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<std::shared_ptr<CustomRecordDefinition>> objects;
    std::shared_ptr<host::Database> database;
};

struct NestingShape {
    const char* name;
    std::function<std::string(size_t)> build;  // a qualifier nested this many levels
    std::vector<std::string> expected;         // its matches while it is allowed
};

std::vector<NestingShape> nestingShapes() {
    return {
        {"parentheses", [](size_t n) { return repeat("(", n) + "typeCode == 3" + repeat(")", n); }, {"r3"}},
        {"NOT keywords",
         [](size_t n) { return repeat("NOT ", n) + "typeCode == 3"; },
         {}},  // filled per depth below: parity decides
        {"! operators", [](size_t n) { return repeat("!", n - 1) + "(typeCode == 3)"; }, {}},
        {"alternating OR/AND, nested last",
         [](size_t n) {
             std::string text;
             for (size_t i = n; i-- > 0;) text += i % 2 ? "typeCode >= 1 AND (" : "typeCode == 0 OR (";
             return text + "typeCode == 5" + repeat(")", n);
         },
         {}},
        {"alternating, nested first",
         [](size_t n) {
             std::string text = repeat("(", n) + "typeCode == 5";
             for (size_t i = 0; i < n; ++i) text += i % 2 ? ") AND typeCode >= 1" : ") OR typeCode == 0";
             return text;
         },
         {}},
        {"NOT around parentheses",
         [](size_t n) {
             // Every pair of levels is "NOT (...)"; an odd level count adds plain parentheses.
             return repeat("NOT (", n / 2) + (n % 2 ? "(typeCode < 4)" : "typeCode < 4") +
                    repeat(" OR typeCode == 9)", n / 2);
         },
         {}},
    };
}

// Each shape at the limit compiles, prepares in SQLite and agrees with memory; one level more
// (and far more, which used to exhaust the stack) is refused, naming the limit.
TEST_F(QualifierLimitsTest, NestingIsBoundedWithAClearError) {
    const size_t limit = Qualifier::kMaxNesting;
    for (const auto& shape : nestingShapes()) {
        for (size_t depth :
             {size_t{1}, size_t{2}, limit - 1, limit, limit + 1, size_t{68}, size_t{10000}, size_t{30000}}) {
            SCOPED_TRACE(std::string(shape.name) + " at depth " + std::to_string(depth));
            const std::string text = shape.build(depth);
            auto compiled = Qualifier::compile(recordEntity(), text, {});
            if (depth > limit) {
                ASSERT_FALSE(compiled);
                EXPECT_NE(compiled.status().message().find("nested more than 16 levels deep"),
                          std::string::npos)
                    << compiled.status().message();
                EXPECT_LT(compiled.status().message().size(), 400u) << "the message quotes the whole text";
                continue;
            }
            ASSERT_TRUE(compiled) << compiled.status().message();
            const auto memory = inMemory(*compiled);
            EXPECT_EQ(inSql(*compiled), memory) << compiled->sql();
            if (!shape.expected.empty()) {
                EXPECT_EQ(memory, shape.expected);
            }
        }
    }
}

TEST_F(QualifierLimitsTest, NegationsKeepTheirParity) {
    const struct {
        size_t nots;
        std::vector<std::string> expected;
    } cases[] = {
        {1, {"r0", "r1", "r2", "r4", "r5", "r6", "r7", "r8", "r9"}},
        {2, {"r3"}},
        {15, {"r0", "r1", "r2", "r4", "r5", "r6", "r7", "r8", "r9"}},
        {16, {"r3"}},
    };
    for (const auto& c : cases) {
        for (const char* word : {"NOT ", "!"}) {
            auto compiled = Qualifier::compile(recordEntity(), repeat(word, c.nots) + "typeCode == 3", {});
            ASSERT_TRUE(compiled) << c.nots << " x " << word << ": " << compiled.status().message();
            EXPECT_EQ(inMemory(*compiled), c.expected) << c.nots << " x " << word;
            EXPECT_EQ(inSql(*compiled), c.expected) << c.nots << " x " << word;
        }
    }
}

std::string chain(size_t terms, const char* joiner, const std::function<std::string(size_t)>& term) {
    std::string text;
    for (size_t i = 0; i < terms; ++i) {
        if (i) text += joiner;
        text += term(i);
    }
    return text;
}

// Long flat chains are one level, whatever their length; SQLite gets them in shallow groups.
TEST_F(QualifierLimitsTest, LongChainsWork) {
    const size_t most = Qualifier::kMaxComparisonsWithValues;
    const struct {
        const char* name;
        std::string text;
        size_t parameters;
        std::vector<std::string> expected;
    } cases[] = {
        {"100000 ANDs of attributes",
         chain(100000, " AND ", [](size_t) { return "typeCode == typeCode"; }),
         0,
         {"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9"}},
        {"20000 ORs of attributes and one value",
         chain(20000, " || ", [](size_t i) { return i == 10000 ? "typeCode == 7" : "name == details"; }),
         1,
         {"r7"}},
        {"as many comparisons with values as allowed",
         chain(most, " OR ", [](size_t i) { return "typeCode == " + std::to_string(i * 7); }),
         most,
         {"r0", "r7"}},
        {"as many values as allowed, in one IN list",
         "typeCode IN {" +
             chain(Qualifier::kMaxValues, ", ", [](size_t i) { return std::to_string(i * 3); }) + "}",
         Qualifier::kMaxValues,
         {"r0", "r3", "r6", "r9"}},
        {"17 terms: just past one group",
         chain(17, " AND ", [](size_t i) { return "typeCode != " + std::to_string(i); }),
         17,
         {}},
        {"a long chain inside a NOT inside a chain",
         "name != 'r1' AND NOT (" +
             chain(500, " OR ", [](size_t i) { return "typeCode == " + std::to_string(i + 5); }) + ")",
         501,
         {"r0", "r2", "r3", "r4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto compiled = Qualifier::compile(recordEntity(), c.text, {});
        ASSERT_TRUE(compiled) << compiled.status().message().substr(0, 300);
        EXPECT_EQ(compiled->parameters().size(), c.parameters);
        EXPECT_EQ(inMemory(*compiled), c.expected);
        EXPECT_EQ(inSql(*compiled), c.expected);
    }
}

TEST(QualifierRefusalTest, TooManyValuesOrLevelsAreRefusedClearly) {
    const size_t most = Qualifier::kMaxComparisonsWithValues;
    const struct {
        const char* name;
        std::string text;
        const char* expected;
    } cases[] = {
        {"one comparison with a value too many",
         chain(most + 1, " OR ", [](size_t i) { return "typeCode == " + std::to_string(i); }),
         "has 1001 comparisons with a value, at most 1000 are allowed"},
        {"the same value compared too often", chain(5000, " AND ", [](size_t) { return "typeCode != 4"; }),
         "has 5000 comparisons with a value"},
        {"IN tests count as comparisons",
         chain(most + 1, " OR ", [](size_t) { return "name IN {'a', 'b'}"; }),
         "has 1001 comparisons with a value"},
        {"an IN list of one value too many",
         "typeCode IN {" +
             chain(Qualifier::kMaxValues + 1, ", ", [](size_t i) { return std::to_string(i); }) + "}",
         "has 32767 values, at most 32766 can be bound"},
        // Fifteen levels, each with a chain of 300: more than SQLite's parser can take at once.
        {"long chains at every level",
         [] {
             std::string text = "typeCode == 1";
             for (int level = 0; level < 15; ++level)
                 text =
                     "(" + text + ")" + chain(299, "", [&](size_t) {
                         return std::string(level % 2 ? " AND typeCode == typeCode" : " OR name == details");
                     });
             return text;
         }(),
         "is too complex for the database"},
    };
    for (const auto& c : cases) {
        auto compiled = Qualifier::compile(recordEntity(), c.text, {});
        ASSERT_FALSE(compiled) << c.name;
        EXPECT_NE(compiled.status().message().find(c.expected), std::string::npos)
            << c.name << ": " << compiled.status().message();
        EXPECT_NE(compiled.status().message().find(" bytes)"), std::string::npos)
            << c.name << ": a long text is shortened in the message";
    }
}

// Errors about huge parts of a qualifier quote only their start.
TEST(QualifierRefusalTest, MessagesStaySmallForHugeParts) {
    const std::string huge(1000000, 'x');
    const struct {
        std::string text;
        const char* expected;
    } cases[] = {
        {"name == 'a' '" + huge + "'", "expected AND, OR or the end, found 'xxx"},
        {huge + " == 1", "has no attribute \"xxx"},
        {"typeCode == " + std::string(1000000, '9'), "the number 999"},
        {"name == $" + huge, "no binding for $xxx"},
    };
    for (const auto& c : cases) {
        auto compiled = Qualifier::compile(recordEntity(), c.text, {});
        ASSERT_FALSE(compiled);
        const auto& message = compiled.status().message();
        EXPECT_NE(message.find(c.expected), std::string::npos) << message.substr(0, 400);
        EXPECT_LT(message.size(), 1000u) << message.substr(0, 400);
    }
}

// The deepest shapes that compile must still prepare: nesting at the limit combined with
// chains of every length that forces another level of grouping.
TEST_F(QualifierLimitsTest, EverythingThatCompilesPreparesInSqlite) {
    size_t compiledCount = 0, refused = 0;
    for (size_t depth : {size_t{4}, size_t{9}, size_t{Qualifier::kMaxNesting}}) {
        for (size_t length : {size_t{2}, size_t{16}, size_t{17}, size_t{257}, size_t{1025}}) {
            for (bool deepFirst : {true, false}) {
                std::string text = "typeCode == 2";
                for (size_t level = 0; level < depth; ++level) {
                    const char* joiner = level % 2 ? " AND " : " OR ";
                    std::string others = chain(length - 1, joiner, [&](size_t) {
                        return level % 2 ? "typeCode == typeCode" : "name == details";
                    });
                    text =
                        deepFirst ? "(" + text + ")" + joiner + others : others + joiner + "(" + text + ")";
                }
                SCOPED_TRACE(fmt::format("depth {} chains of {} {}", depth, length,
                                         deepFirst ? "nested first" : "nested last"));
                auto compiled = Qualifier::compile(recordEntity(), text, {});
                if (!compiled) {
                    ++refused;
                    EXPECT_NE(compiled.status().message().find("too complex for the database"),
                              std::string::npos)
                        << compiled.status().message().substr(0, 300);
                    continue;
                }
                ++compiledCount;
                EXPECT_EQ(inSql(*compiled), std::vector<std::string>{"r2"});
                EXPECT_EQ(inMemory(*compiled), std::vector<std::string>{"r2"});
            }
        }
    }
    // Both outcomes occur, so the limit is neither never nor always reached.
    EXPECT_GT(compiledCount, 12u);
    EXPECT_GT(refused, 0u);
}

// SQLite's parser needs most stack for a group that ends in a nested one. Each level here is
// a chain of 17 terms with the nested part 16th: last in the first group of 16, so every level
// costs two levels of the written SQL, each in its most expensive place. The deepest that
// compiles must prepare; one more level is refused.
TEST_F(QualifierLimitsTest, TheWorstShapeAtTheLimitPrepares) {
    auto build = [](size_t levels) {
        std::string text = "typeCode == 2";
        for (size_t level = 0; level < levels; ++level) {
            const char* term = level % 2 ? "typeCode == typeCode AND " : "name == details OR ";
            text = repeat(term, 15) + "(" + text + ")" +
                   (level % 2 ? " AND typeCode == typeCode" : " OR name == details");
        }
        return text;
    };
    const struct {
        size_t levels;
        bool compiles;
    } cases[] = {{1, true}, {5, true}, {10, true}, {11, true}, {12, false}, {15, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{} levels", c.levels));
        auto compiled = Qualifier::compile(recordEntity(), build(c.levels), {});
        if (!c.compiles) {
            ASSERT_FALSE(compiled);
            EXPECT_NE(compiled.status().message().find("too complex for the database"), std::string::npos)
                << compiled.status().message();
            continue;
        }
        ASSERT_TRUE(compiled) << compiled.status().message().substr(0, 300);
        EXPECT_EQ(inSql(*compiled), std::vector<std::string>{"r2"});
        EXPECT_EQ(inMemory(*compiled), std::vector<std::string>{"r2"});
    }
}

}  // namespace
