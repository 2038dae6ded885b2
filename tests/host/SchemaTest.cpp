#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "host/database/Database.h"
#include "host/database/Schema.h"
#include "host/database/Transaction.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using hosttest::rawExec;
using hosttest::rawQuery;

TEST(SchemaTest, MissingFileGetsTheSchema) {
    testsupport::TempDir dir;
    auto file = dir / "new.zandrel";
    auto db = host::Database::open(file);
    ASSERT_TRUE(db) << db.status().message();
    db->reset();
    EXPECT_EQ(rawQuery(file, "PRAGMA application_id"), std::to_string(host::Schema::kApplicationId));
    EXPECT_EQ(rawQuery(file, "PRAGMA user_version"), std::to_string(host::Schema::kVersion));
    EXPECT_EQ(rawQuery(file, "SELECT value FROM zandrel_meta WHERE name = 'application'"), "zandrel-host");
    EXPECT_EQ(rawQuery(file, "SELECT value FROM zandrel_meta WHERE name = 'schema_version'"),
              std::to_string(host::Schema::kVersion));
    EXPECT_EQ(rawQuery(file, "SELECT count(*) FROM sqlite_schema WHERE name = 'CustomRecordDefinition'"),
              "1");
    // Opening it again keeps it as it is.
    ASSERT_TRUE(host::Database::open(file));
}

TEST(SchemaTest, EmptyFileGetsTheSchema) {
    testsupport::TempDir dir;
    dir.write("empty.zandrel", "");
    auto db = host::Database::open(dir / "empty.zandrel");
    ASSERT_TRUE(db) << db.status().message();
}

TEST(SchemaTest, FileInAMissingFolderIsAnError) {
    testsupport::TempDir dir;
    auto file = dir / "no/such/folder/db.zandrel";
    auto db = host::Database::open(file);
    ASSERT_FALSE(db);
    EXPECT_NE(db.status().message().find(file.string()), std::string::npos) << db.status().message();
    EXPECT_NE(db.status().message().find("check the path and its permissions"), std::string::npos)
        << db.status().message();
}

struct RefusedCase {
    const char* what;
    std::function<void(const testsupport::TempDir&, const std::filesystem::path&)> make;
    const char* expected;
};

TEST(SchemaTest, FilesThatAreNotOursOrTooNewAreRefusedAndLeftAlone) {
    const RefusedCase cases[] = {
        {"not SQLite",
         [](const testsupport::TempDir& dir, const std::filesystem::path&) {
             dir.write("db.zandrel", std::string(4096, 'x') + "just some text, not a database");
         },
         "is not a zandrel-host database"},
        {"another program's tables",
         [](const testsupport::TempDir&, const std::filesystem::path& file) {
             rawExec(file,
                     "CREATE TABLE invoices (id INTEGER, total REAL); INSERT INTO invoices VALUES (1, 9.5)");
         },
         "is not a zandrel-host database (it holds another program's tables)"},
        {"another program's application id",
         [](const testsupport::TempDir&, const std::filesystem::path& file) {
             rawExec(file, "PRAGMA application_id = 42; CREATE TABLE t (x)");
         },
         "it holds another program's tables"},
        {"our id without the meta table",
         [](const testsupport::TempDir&, const std::filesystem::path& file) {
             rawExec(file, "PRAGMA application_id = " + std::to_string(host::Schema::kApplicationId) +
                               "; CREATE TABLE t (x)");
         },
         "zandrel_meta table is missing or damaged"},
        {"our file with a damaged table list",
         [](const testsupport::TempDir& dir, const std::filesystem::path& file) {
             ASSERT_TRUE(host::Database::open(file));
             std::string bytes = dir.read("db.zandrel");
             const size_t at = bytes.find("CREATE TABLE");
             ASSERT_NE(at, std::string::npos);
             bytes.replace(at, 12, "CREATX TABLX");
             dir.write("db.zandrel", bytes);
         },
         "is damaged (malformed database schema"},
        {"newer schema",
         [](const testsupport::TempDir&, const std::filesystem::path& file) {
             ASSERT_TRUE(host::Database::open(file));
             rawExec(
                 file,
                 "UPDATE zandrel_meta SET value = 7 WHERE name = 'schema_version'; PRAGMA user_version = 7");
         },
         "was written by a newer version of zandrel-host (schema 7, this program reads up to 1): upgrade the "
         "program"},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        auto file = dir / "db.zandrel";
        c.make(dir, file);
        const std::string before = dir.read("db.zandrel");
        auto db = host::Database::open(file);
        ASSERT_FALSE(db) << c.what;
        EXPECT_NE(db.status().message().find(file.string()), std::string::npos)
            << c.what << ": " << db.status().message();
        EXPECT_NE(db.status().message().find(c.expected), std::string::npos)
            << c.what << ": " << db.status().message();
        EXPECT_EQ(dir.read("db.zandrel"), before) << c.what << ": the file must be left as it was";
    }
}

struct VersionCase {
    const char* what;
    const char* sql;  // run on a fresh file of ours
    const char* expected;
};

// The version is kept in the file header and in zandrel_meta; both must be there, whole and
// equal, or the file is refused and left as it was.
TEST(SchemaTest, BothVersionRecordsAreCheckedAndMustAgree) {
    const std::string newer = "was written by a newer version of zandrel-host (schema 7";
    const VersionCase cases[] = {
        {"header newer, table current", "PRAGMA user_version = 2",
         "schema version is 1 in zandrel_meta but 2 in the file header"},
        {"header cleared", "PRAGMA user_version = 0",
         "schema version is 1 in zandrel_meta but 0 in the file header"},
        {"table newer, header current", "UPDATE zandrel_meta SET value = 2 WHERE name = 'schema_version'",
         "schema version is 2 in zandrel_meta but 1 in the file header"},
        {"fraction", "UPDATE zandrel_meta SET value = 1.5 WHERE name = 'schema_version'",
         "its schema_version 1.5 is not a whole number"},
        {"text", "UPDATE zandrel_meta SET value = '1' WHERE name = 'schema_version'",
         "its schema_version \"1\" is not a whole number"},
        {"null", "UPDATE zandrel_meta SET value = NULL WHERE name = 'schema_version'",
         "its schema_version NULL is not a whole number"},
        {"row missing", "DELETE FROM zandrel_meta WHERE name = 'schema_version'",
         "zandrel_meta records no schema_version"},
        {"zero in both",
         "UPDATE zandrel_meta SET value = 0 WHERE name = 'schema_version'; PRAGMA user_version = 0",
         "its schema version 0 is not valid"},
        {"newer in both",
         "UPDATE zandrel_meta SET value = 7 WHERE name = 'schema_version'; PRAGMA user_version = 7",
         newer.c_str()},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        auto file = dir / "db.zandrel";
        ASSERT_TRUE(host::Database::open(file));
        rawExec(file, c.sql);
        const std::string before = dir.read("db.zandrel");
        for (auto mode : {host::Database::Mode::ReadWrite, host::Database::Mode::ReadOnly}) {
            auto db = host::Database::open(file, {mode, std::chrono::milliseconds(100)});
            ASSERT_FALSE(db) << c.what;
            EXPECT_NE(db.status().message().find(c.expected), std::string::npos)
                << c.what << ": " << db.status().message();
            EXPECT_NE(db.status().message().find(file.string()), std::string::npos) << db.status().message();
        }
        EXPECT_EQ(dir.read("db.zandrel"), before) << c.what << ": the file must be left as it was";
    }
}

TEST(SchemaTest, AFileLockedByAnotherProgramIsBusyNotForeign) {
    testsupport::TempDir dir;
    auto file = dir / "db.zandrel";
    ASSERT_TRUE(host::Database::open(file));
    hosttest::RawConnection otherProgram(file);
    otherProgram.exec("BEGIN EXCLUSIVE; INSERT INTO Category (name) VALUES ('uncommitted')");
    for (auto mode : {host::Database::Mode::ReadWrite, host::Database::Mode::ReadOnly}) {
        auto db = host::Database::open(file, {mode, std::chrono::milliseconds(20)});
        ASSERT_FALSE(db);
        const std::string& message = db.status().message();
        EXPECT_NE(message.find(file.string() + " is busy: another program keeps it locked"),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find("try again"), std::string::npos) << message;
        EXPECT_EQ(message.find("not a zandrel-host database"), std::string::npos) << message;
    }
    otherProgram.exec("ROLLBACK");
    EXPECT_TRUE(host::Database::open(file, {host::Database::Mode::ReadOnly, std::chrono::milliseconds(20)}));
}

TEST(SchemaTest, ReadOnlyOpeningNeverWrites) {
    testsupport::TempDir dir;
    // Missing and empty files are refused instead of being given a schema.
    auto missing = host::Database::open(dir / "missing.zandrel", {host::Database::Mode::ReadOnly});
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.status().message().find("cannot open database file"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.zandrel"));
    dir.write("empty.zandrel", "");
    auto empty = host::Database::open(dir / "empty.zandrel", {host::Database::Mode::ReadOnly});
    ASSERT_FALSE(empty);
    EXPECT_NE(empty.status().message().find("holds no zandrel-host database (it is empty)"),
              std::string::npos)
        << empty.status().message();
    EXPECT_EQ(dir.read("empty.zandrel"), "");

    // A file that predates an entity reads as if that entity had no records, and stays as it is.
    auto file = dir / "db.zandrel";
    ASSERT_TRUE(host::Database::open(file));
    rawExec(file, "DROP TABLE Category; DROP TABLE zandrel_user_default");
    const std::string before = dir.read("db.zandrel");
    auto db = host::Database::open(file, {host::Database::Mode::ReadOnly});
    ASSERT_TRUE(db) << db.status().message();
    auto context = DLPObjectContext::withoutUser(*db);
    auto count = context->resultCountForEntityNamedQualifierLocumBindings("Category", "");
    ASSERT_TRUE(count) << count.status().message();
    EXPECT_EQ(*count, 0);
    ASSERT_TRUE(context->createObjectForEntityNamedInsert("Category", true));
    auto saved = context->saveChanges();
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.message().find("opened read-only"), std::string::npos) << saved.message();
    db->reset();
    context.reset();
    EXPECT_EQ(dir.read("db.zandrel"), before);
    EXPECT_EQ(rawQuery(file, "SELECT count(*) FROM sqlite_schema WHERE name = 'Category'"), "0");
}

TEST(SchemaTest, TablesOfEntitiesAddedLaterAreCreatedOnOpen) {
    testsupport::TempDir dir;
    auto file = dir / "db.zandrel";
    ASSERT_TRUE(host::Database::open(file));
    rawExec(file, "DROP TABLE Category");
    ASSERT_TRUE(host::Database::open(file));
    EXPECT_EQ(rawQuery(file, "SELECT count(*) FROM sqlite_schema WHERE name = 'Category'"), "1");
}

TEST(TransactionTest, RollsBackUnlessCommitted) {
    testsupport::TempDir dir;
    auto file = dir / "db.zandrel";
    auto db = host::Database::open(file);
    ASSERT_TRUE(db);
    {
        auto transaction = host::Transaction::begin(**db);
        ASSERT_TRUE(transaction);
        ASSERT_TRUE((*db)->exec("INSERT INTO Category (name) VALUES ('dropped')"));
        EXPECT_FALSE(host::Transaction::begin(**db)) << "transactions do not nest";
    }
    EXPECT_EQ(rawQuery(file, "SELECT count(*) FROM Category"), "0");
    {
        auto transaction = host::Transaction::begin(**db);
        ASSERT_TRUE((*db)->exec("INSERT INTO Category (name) VALUES ('kept')"));
        ASSERT_TRUE(transaction->commit());
        EXPECT_FALSE(transaction->commit()) << "a second commit is an error";
    }
    EXPECT_EQ(rawQuery(file, "SELECT group_concat(name) FROM Category"), "kept");
}

TEST(StatementTest, BoundTextIsNeverSql) {
    testsupport::TempDir dir;
    auto file = dir / "db.zandrel";
    auto db = host::Database::open(file);
    ASSERT_TRUE(db);
    auto insert = (*db)->prepare("INSERT INTO Category (name) VALUES (?)");
    ASSERT_TRUE(insert);
    const std::string hostile = "x'); DROP TABLE Category; --";
    insert->bindText(1, hostile);
    ASSERT_TRUE(insert->run());
    EXPECT_EQ(rawQuery(file, "SELECT name FROM Category"), hostile);
    auto broken = (*db)->prepare("SELEC nonsense");
    ASSERT_FALSE(broken);
    EXPECT_NE(broken.status().message().find("SELEC nonsense"), std::string::npos);
}

}  // namespace
