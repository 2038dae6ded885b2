#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "host/database/store/SqlText.h"

namespace {

struct QuoteCase {
    std::string name;
    std::string quoted;
};

const QuoteCase kQuoteCases[] = {
    {"pk", "\"pk\""},
    {"CustomRecordSetDefinition", "\"CustomRecordSetDefinition\""},
    {"a\"b", "\"a\"\"b\""},
    {"\"", "\"\"\"\""},
    {"select", "\"select\""},
    {"two words", "\"two words\""},
    {"x'); DROP TABLE t; --", "\"x'); DROP TABLE t; --\""},
    {"\xC3\xA9t\xC3\xA9", "\"\xC3\xA9t\xC3\xA9\""},
};

TEST(SqlTextTest, QuotesIdentifiersAsSqliteReadsThem) {
    for (const auto& c : kQuoteCases) {
        EXPECT_EQ(host::SqlText::quotedIdentifier(c.name), c.quoted) << c.name;
        std::string out = "SELECT ";
        host::SqlText::appendQuotedIdentifier(out, c.name);
        EXPECT_EQ(out, "SELECT " + c.quoted) << c.name;
    }
}

// The quoted names must come back from SQLite as the very names: a table and a column created
// with them, then listed by SQLite itself.
TEST(SqlTextTest, SqliteGetsTheExactNames) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    for (const auto& c : kQuoteCases) {
        std::string table = host::SqlText::quotedIdentifier(c.name);
        std::string create = "CREATE TABLE " + table + " (" + table + " INTEGER)";
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(db, create.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << create << ": " << error;

        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(
            sqlite3_prepare_v2(db,
                               "SELECT t.name, c.name FROM sqlite_schema t, pragma_table_info(t.name) c "
                               "WHERE t.name = ?",
                               -1, &stmt, nullptr),
            SQLITE_OK);
        sqlite3_bind_text(stmt, 1, c.name.data(), static_cast<int>(c.name.size()), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW) << "no table named " << c.name;
        EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), c.name);
        EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)), c.name);
        sqlite3_finalize(stmt);

        std::string drop = "DROP TABLE " + table;
        ASSERT_EQ(sqlite3_exec(db, drop.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << drop;
    }
    sqlite3_close(db);
}

}  // namespace
