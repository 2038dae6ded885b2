// The qualifier compiler writes each store's dialect: placeholders, null-safe comparisons,
// strict truth under NOT, IN lists bound member by member or as one array. A dialect spelled
// like PostgreSQL's checks the compiler asks the dialect for every piece; SQLite's own pieces
// run on SQLite.

#include <gtest/gtest.h>

#include <string>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "host/database/sqlite/Database.h"
#include "host/database/sqlite/SqliteDialect.h"
#include "host/database/store/StoreFactory.h"
#include "tests/support/TempDir.h"

using host::Qualifier;
using host::StoredValue;
using platform::Array;
using platform::Value;

namespace {

class DollarDialect final : public host::SqlDialect {
public:
    void appendPlaceholder(std::string& out, size_t n) const override { out += "$" + std::to_string(n); }
    std::string_view trueCondition() const override { return "TRUE"; }
    std::string_view falseCondition() const override { return "FALSE"; }
    std::string_view nullSafeEqual() const override { return " IS NOT DISTINCT FROM "; }
    std::string_view nullSafeNotEqual() const override { return " IS DISTINCT FROM "; }
    std::string_view isTrueSuffix() const override { return " IS TRUE"; }
    bool bindsListsAsArrays() const override { return true; }
    void appendInArray(std::string& out, std::string_view operand, size_t n,
                       StoredValue::Kind /*element*/) const override {
        out += operand;
        out += " = ANY(";
        appendPlaceholder(out, n);
        out += ")";
    }
    void appendCaseInsensitiveLike(std::string& out, std::string_view operand, size_t n) const override {
        out += operand;
        out += " ILIKE ";
        appendPlaceholder(out, n);
    }
    void appendQuotedIdentifier(std::string& out, std::string_view name) const override {
        out += '"';
        out += name;
        out += '"';
    }
    // Compares across kinds itself, as SQLite does: the typed pieces are never asked for.
    bool comparesLikeTypesOnly() const override { return false; }
    void appendTypedPlaceholder(std::string&, size_t, StoredValue::Kind, bool) const override {
        ADD_FAILURE();
    }
    void appendAnyIsKind(std::string&, std::string_view, StoredValue::Kind) const override { ADD_FAILURE(); }
    void appendAnyValue(std::string&, std::string_view, StoredValue::Kind) const override { ADD_FAILURE(); }
    void appendTextAsBytes(std::string&, std::string_view) const override { ADD_FAILURE(); }
    void appendTruncated(std::string&, std::string_view) const override { ADD_FAILURE(); }
    void appendAsInteger(std::string&, std::string_view) const override { ADD_FAILURE(); }
};

const host::EntityDescription& records() {
    return *host::EntityCatalog::shared().find("CustomRecordDefinition");
}

TEST(QualifierDialectTest, TheCompilerWritesEachDialectsSpelling) {
    const struct {
        const char* qualifier;
        platform::Dictionary bindings;
        const char* sqlite;
        const char* dollar;
    } cases[] = {
        {"", {}, "1", "TRUE"},
        {"name == 'a' AND typeCode != 2",
         {},
         "((\"name\" IS ?) AND (\"typeCode\" IS NOT ?))",
         "((\"name\" IS NOT DISTINCT FROM $1) AND (\"typeCode\" IS DISTINCT FROM $2))"},
        {"NOT typeCode < 3", {}, "(NOT ((\"typeCode\" < ?) IS 1))", "(NOT ((\"typeCode\" < $1) IS TRUE))"},
        {"typeCode IN {1, 2}", {}, "(\"typeCode\" IN (?, ?))", "(\"typeCode\" = ANY($1))"},
        {"NOT typeCode IN $list",
         {{"list", Value(Array{1, 2, 3})}},
         "(NOT ((\"typeCode\" IN (?, ?, ?)) IS 1))",
         "(NOT ((\"typeCode\" = ANY($1)) IS TRUE))"},
        // A list holding an attribute cannot be one array: written member by member.
        {"typeCode IN {position, 4}",
         {},
         "(\"typeCode\" IN (\"position\", ?))",
         "(\"typeCode\" IN (\"position\", $1))"},
        {"typeCode IN $none", {{"none", Value(Array{})}}, "0", "FALSE"},
    };
    const DollarDialect dollar;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.qualifier);
        auto sqlite = Qualifier::compile(records(), c.qualifier, c.bindings);
        ASSERT_TRUE(sqlite) << sqlite.status().message();
        EXPECT_EQ(sqlite->sql(), c.sqlite);
        auto written = Qualifier::compile(records(), c.qualifier, c.bindings, dollar);
        ASSERT_TRUE(written) << written.status().message();
        EXPECT_EQ(written->sql(), c.dollar);
    }
}

TEST(QualifierDialectTest, AnArrayDialectGetsOneListParameterWithTheMembersInOrder) {
    const DollarDialect dollar;
    auto compiled =
        Qualifier::compile(records(), "name == $n OR typeCode IN $list",
                           {{"n", Value("x")}, {"list", Value(Array{5, "six", Value()})}}, dollar);
    ASSERT_TRUE(compiled) << compiled.status().message();
    ASSERT_EQ(compiled->parameters().size(), 2u);
    EXPECT_EQ(compiled->parameters()[0].kind, StoredValue::Kind::Text);
    const auto& list = compiled->parameters()[1];
    ASSERT_EQ(list.kind, StoredValue::Kind::List);
    ASSERT_EQ(list.list.size(), 3u);
    EXPECT_EQ(list.list[0].integer, 5);
    EXPECT_EQ(list.list[1].bytes, "six");
    EXPECT_EQ(list.list[2].kind, StoredValue::Kind::Null);
    // The limit on values counts list members, however they are bound.
    Array many(Qualifier::kMaxValues + 1, Value(1));
    auto tooMany = Qualifier::compile(records(), "typeCode IN $list", {{"list", Value(many)}}, dollar);
    ASSERT_FALSE(tooMany);
    EXPECT_NE(tooMany.status().message().find("values, at most"), std::string::npos);
}

TEST(QualifierDialectTest, SqliteCaseInsensitiveLikeFoldsAsciiAndHonoursEscapes) {
    testsupport::TempDir dir;
    auto database = host::Database::open(dir / "like.zandrel");
    ASSERT_TRUE(database) << database.status().message();
    const struct {
        const char* text;
        const char* pattern;
        bool matches;
    } cases[] = {
        {"Hello", "hello", true},  {"HELLO world", "hello%", true}, {"50%", "50\\%", true},
        {"500", "50\\%", false},   {"a_b", "a\\_b", true},          {"axb", "a\\_b", false},
        {"Ärger", "ärger", false},  // only ASCII letters fold
    };
    for (const auto& c : cases) {
        std::string sql = "SELECT ";
        host::SqliteDialect::shared().appendCaseInsensitiveLike(sql, "?", 2);
        auto statement = (*database)->prepare(sql);
        ASSERT_TRUE(statement) << statement.status().message();
        statement->bindText(1, c.text);
        statement->bindText(2, c.pattern);
        ASSERT_TRUE(statement->step()) << statement->lastStatus().message();
        EXPECT_EQ(statement->columnInteger(0) == 1, c.matches) << c.text << " LIKE " << c.pattern;
    }
}

// SQLite never needs the typed pieces (it compares across kinds itself); spelled in its terms,
// they still say what they promise: the kind of a value of any type, and reals cut to integers.
TEST(QualifierDialectTest, SqliteTypedPiecesMeanWhatTheySay) {
    testsupport::TempDir dir;
    auto database = host::Database::open(dir / "typed.zandrel");
    ASSERT_TRUE(database) << database.status().message();
    const auto& sqlite = host::SqliteDialect::shared();
    using K = StoredValue::Kind;
    const struct {
        const char* value;  // SQL
        K kind;
        const char* truncated;  // for reals: the integer part as an integer
    } cases[] = {
        {"7", K::Integer, nullptr},    {"-2.75", K::Real, "-2"}, {"'x'", K::Text, nullptr},
        {"X'00FF'", K::Blob, nullptr}, {"2.0", K::Real, "2"},
    };
    for (const auto& c : cases) {
        for (K kind : {K::Integer, K::Real, K::Text, K::Blob}) {
            std::string sql = "SELECT ";
            sqlite.appendAnyIsKind(sql, c.value, kind);
            auto statement = (*database)->prepare(sql);
            ASSERT_TRUE(statement) << statement.status().message();
            ASSERT_TRUE(statement->step());
            EXPECT_EQ(statement->columnInteger(0) == 1, kind == c.kind) << c.value << " in " << sql;
        }
        if (!c.truncated) continue;
        std::string truncated, sql = "SELECT ";
        sqlite.appendTruncated(truncated, c.value);
        sqlite.appendAsInteger(sql, truncated);
        auto statement = (*database)->prepare(sql);
        ASSERT_TRUE(statement) << statement.status().message();
        ASSERT_TRUE(statement->step());
        EXPECT_EQ(std::to_string(statement->columnInteger(0)), c.truncated) << sql;
    }
}

TEST(StoreFactoryTest, ServerAddressesAreTheUriSchemesOnly) {
    const struct {
        const char* address;
        bool server;
    } cases[] = {
        {"postgresql://ada@127.0.0.1:5432/crm", true},
        {"postgres://localhost/crm", true},
        {"/tmp/crm.zandrel", false},
        {"postgresql.zandrel", false},
        {"crm/postgres://x", false},
        {"POSTGRESQL://x", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(host::StoreFactory::isServerAddress(c.address), c.server) << c.address;
}

}  // namespace
