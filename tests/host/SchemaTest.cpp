// The schema and its version records: a database of ours at a version this program cannot
// read, or another program's, is refused with what to do and left as it was, on every store
// (SchemaStoreTest); SQLite's own file header, locks and statements (SchemaTest and below).

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "host/database/sqlite/Database.h"
#include "host/database/sqlite/Transaction.h"
#include "host/database/store/Schema.h"
#include "host/database/store/StoreFactory.h"
#include "platform/foundation/Log.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/host/PostgresTestDatabase.h"
#include "tests/host/StoreTestSupport.h"
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

// SQLite's own ways a file is not ours (the cases of every store are in SchemaStoreTest).
TEST(SchemaTest, FilesThatAreNotOursAreRefusedAndLeftAlone) {
    const RefusedCase cases[] = {
        {"not SQLite",
         [](const testsupport::TempDir& dir, const std::filesystem::path&) {
             dir.write("db.zandrel", std::string(4096, 'x') + "just some text, not a database");
         },
         "is not a zandrel-host database"},
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

// The version is kept in the file header and in zandrel_meta; both must be there and equal, or
// the file is refused and left as it was (versions of every store: SchemaStoreTest).
TEST(SchemaTest, BothVersionRecordsAreCheckedAndMustAgree) {
    const VersionCase cases[] = {
        {"header newer, table current", "PRAGMA user_version = 2",
         "schema version is 1 in zandrel_meta but 2 in the file header"},
        {"header cleared", "PRAGMA user_version = 0",
         "schema version is 1 in zandrel_meta but 0 in the file header"},
        {"table newer, header current", "UPDATE zandrel_meta SET value = 2 WHERE name = 'schema_version'",
         "schema version is 2 in zandrel_meta but 1 in the file header"},
        {"null", "UPDATE zandrel_meta SET value = NULL WHERE name = 'schema_version'",
         "its schema_version NULL is not a whole number"},
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
}

class SchemaStoreTest : public hosttest::StoreTest {
protected:
    // What the database holds, to tell whether opening it changed anything: the file's bytes,
    // or the schema's relations and version records.
    std::string state(const std::string& at) {
        if (isSqlite()) {
            std::ifstream in(at, std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            return bytes.str();
        }
        const std::string relations = GetParam().rawQuery(
            at,
            "SELECT coalesce(string_agg(c.relname::text, ',' ORDER BY c.relname), '') FROM pg_class c JOIN "
            "pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = current_schema()");
        if (("," + relations + ",").find(",zandrel_meta,") == std::string::npos) return relations;
        return relations + " " +
               GetParam().rawQuery(
                   at,
                   "SELECT coalesce(string_agg(name || '=' || coalesce(value, 'NULL'), ',' ORDER "
                   "BY name), '') FROM zandrel_meta");
    }

    // Opening `at` fails in both modes with a message holding each of `expected`, and changes
    // nothing.
    void expectRefused(const std::string& at, std::initializer_list<std::string> expected,
                       const std::string& what) {
        const std::string before = state(at);
        for (bool readOnly : {false, true}) {
            host::StoreFactory::Options options;
            options.readOnly = readOnly;
            options.busyTimeout = std::chrono::milliseconds(200);
            auto store = host::StoreFactory::open(at, options);
            ASSERT_FALSE(store) << what << (readOnly ? " (read-only)" : "");
            for (const auto& part : expected)
                EXPECT_NE(store.status().message().find(part), std::string::npos)
                    << what << ": " << store.status().message();
            // Which database: the file, or the server's database (never the whole URI).
            EXPECT_NE(store.status().message().find(isSqlite() ? at : "PostgreSQL database"),
                      std::string::npos)
                << what << ": " << store.status().message();
        }
        EXPECT_EQ(state(at), before) << what << ": the database must be left as it was";
    }

    // Another fresh, empty database of the parameter's kind.
    std::string anotherDatabase(const std::string& name) {
        std::filesystem::create_directories(dir / name);
        return GetParam().freshDatabase(dir / name);
    }
};

struct UnreadableVersion {
    const char* what;
    const char* sqlite;    // run on a database of ours at the current version
    const char* postgres;  // the same on PostgreSQL, which keeps the records as text
    std::initializer_list<std::string> expected;
};

TEST_P(SchemaStoreTest, VersionsThisProgramCannotReadAreRefusedWithWhatToDo) {
    const std::string version = std::to_string(host::Schema::kVersion);
    const UnreadableVersion cases[] = {
        {"newer",
         "UPDATE zandrel_meta SET value = 7 WHERE name = 'schema_version'; PRAGMA user_version = 7",
         "UPDATE zandrel_meta SET value = '7' WHERE name = 'schema_version'",
         {"was written by a newer version of zandrel-host (schema 7, this program reads up to " + version +
          "): upgrade the program"}},
        {"older than any",
         "UPDATE zandrel_meta SET value = 0 WHERE name = 'schema_version'; PRAGMA user_version = 0",
         "UPDATE zandrel_meta SET value = '0' WHERE name = 'schema_version'",
         {"damaged", "its schema version 0 is not valid", "restore it from a backup"}},
        {"negative",
         "UPDATE zandrel_meta SET value = -3 WHERE name = 'schema_version'; PRAGMA user_version = -3",
         "UPDATE zandrel_meta SET value = '-3' WHERE name = 'schema_version'",
         {"its schema version -3 is not valid", "restore it from a backup"}},
        {"a fraction",
         "UPDATE zandrel_meta SET value = 1.5 WHERE name = 'schema_version'",
         "UPDATE zandrel_meta SET value = '1.5' WHERE name = 'schema_version'",
         {"1.5", "is not a whole number", "restore it from a backup"}},
        {"a word",
         "UPDATE zandrel_meta SET value = 'one' WHERE name = 'schema_version'",
         "UPDATE zandrel_meta SET value = 'one' WHERE name = 'schema_version'",
         {"its schema_version \"one\" is not a whole number"}},
        {"no record",
         "DELETE FROM zandrel_meta WHERE name = 'schema_version'",
         "DELETE FROM zandrel_meta WHERE name = 'schema_version'",
         {"zandrel_meta records no schema_version", "restore it from a backup"}},
        {"another application's records",
         "UPDATE zandrel_meta SET value = 'invoicer' WHERE name = 'application'",
         "UPDATE zandrel_meta SET value = 'invoicer' WHERE name = 'application'",
         {"is not a zandrel-host database (its zandrel_meta names \"invoicer\")"}},
        {"the record table gone",
         "DROP TABLE zandrel_meta",
         "DROP TABLE zandrel_meta",
         {"is not a zandrel-host database"}},
    };
    context.reset();
    for (const auto& c : cases) {
        const std::string at = anotherDatabase(c.what);
        {
            auto made = host::StoreFactory::open(at, {.createSchema = true});
            ASSERT_TRUE(made) << made.status().message();
        }
        GetParam().rawExec(at, isSqlite() ? c.sqlite : c.postgres);
        expectRefused(at, c.expected, c.what);
    }
}

TEST_P(SchemaStoreTest, AnotherProgramsDatabaseIsRefusedAndLeftAlone) {
    const std::string at = anotherDatabase("foreign");
    GetParam().rawExec(
        at, "CREATE TABLE invoices (id integer, total real); INSERT INTO invoices VALUES (1, 9.5)");
    expectRefused(at, {"is not a zandrel-host database (it holds another program's tables)"}, "foreign");
}

TEST_P(SchemaStoreTest, AnEmptyDatabaseGetsTheSchemaButNotWhenOpenedReadOnly) {
    const std::string at = anotherDatabase("empty");
    if (isSqlite()) std::ofstream(at, std::ios::binary).flush();  // an empty file
    host::StoreFactory::Options readOnly;
    readOnly.readOnly = true;
    const std::string empty = state(at);
    auto refused = host::StoreFactory::open(at, readOnly);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.status().message().find("holds no zandrel-host database (it is empty)"),
              std::string::npos)
        << refused.status().message();
    EXPECT_EQ(state(at), empty);
    EXPECT_EQ(empty, "");

    if (!isSqlite()) {
        // A server's empty database is given tables only when asked (--init-demo).
        auto unasked = host::StoreFactory::open(at);
        ASSERT_FALSE(unasked);
        EXPECT_NE(unasked.status().message().find("--init-demo"), std::string::npos)
            << unasked.status().message();
        EXPECT_EQ(state(at), empty);
    }
    auto made = host::StoreFactory::open(at, {.createSchema = true});
    ASSERT_TRUE(made) << made.status().message();
    made->reset();
    EXPECT_EQ(
        GetParam().rawQuery(at, isSqlite() ? "SELECT value FROM zandrel_meta WHERE name = 'schema_version'"
                                           : "SELECT value FROM zandrel_meta WHERE name = 'schema_version'"),
        std::to_string(host::Schema::kVersion));
    // Opened again, as it is.
    const std::string before = state(at);
    ASSERT_TRUE(host::StoreFactory::open(at));
    EXPECT_EQ(state(at), before);
}

TEST_P(SchemaStoreTest, EntitiesAddedLaterReadAsEmptyReadOnlyAndGetTheirTablesWhenWritten) {
    context.reset();
    rawExec("DROP TABLE Category; DROP TABLE zandrel_user_default");
    const std::string before = state(address);
    {
        host::StoreFactory::Options readOnly;
        readOnly.readOnly = true;
        auto store = host::StoreFactory::open(address, readOnly);
        ASSERT_TRUE(store) << store.status().message();
        auto reader = DLPObjectContext::withoutUser(*store);
        auto count = reader->resultCountForEntityNamedQualifierLocumBindings("Category", "");
        ASSERT_TRUE(count) << count.status().message();
        EXPECT_EQ(*count, 0);
        ASSERT_TRUE(reader->createObjectForEntityNamedInsert("Category", true));
        auto saved = reader->saveChanges();
        ASSERT_FALSE(saved);
        EXPECT_NE(saved.message().find("opened read-only"), std::string::npos) << saved.message();
    }
    EXPECT_EQ(state(address), before);

    ASSERT_TRUE(host::StoreFactory::open(address));
    EXPECT_EQ(rawQuery("SELECT count(*) FROM Category"), "0");
    auto writer = signIn();
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->createObjectForEntityNamedInsert("Category", true));
    EXPECT_TRUE(writer->saveChanges());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM Category"), "1");
}

INSTANTIATE_TEST_SUITE_P(Stores, SchemaStoreTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

// Servers' databases made before both stores kept one layout name their records by "key" and
// the application's "program": read as they are, and brought to the current layout when opened
// for writing, saying so in the log.
TEST(SchemaMigrationTest, AServerDatabaseOfTheOldLayoutIsReadAndMovedToTheCurrentOneWhenWritten) {
    ZANDREL_REQUIRE_POSTGRES();
    hosttest::PostgresTestDatabase db;
    {
        auto made = host::StoreFactory::open(db.uri(), {.createSchema = true});
        ASSERT_TRUE(made) << made.status().message();
    }
    db.exec(
        "ALTER TABLE zandrel_meta RENAME COLUMN name TO key; UPDATE zandrel_meta SET key = 'program' "
        "WHERE key = 'application'");
    auto records = [&] {
        return db.query(
            "SELECT string_agg(a.attname || ':' || coalesce((SELECT string_agg(value, ',' ORDER BY "
            "value) FROM zandrel_meta), ''), ',') FROM pg_attribute a WHERE a.attrelid = "
            "'zandrel_meta'::regclass AND a.attnum = 1");
    };
    const std::string old = records();
    ASSERT_EQ(old, "key:1,zandrel-host");
    std::vector<std::string> logged;
    auto previous = platform::Log::setSink([&](std::string_view line) { logged.emplace_back(line); });
    {
        host::StoreFactory::Options readOnly;
        readOnly.readOnly = true;
        auto reader = host::StoreFactory::open(db.uri(), readOnly);
        ASSERT_TRUE(reader) << reader.status().message();
    }
    EXPECT_EQ(records(), old) << "a read-only host changes nothing";
    EXPECT_TRUE(logged.empty());
    {
        auto writer = host::StoreFactory::open(db.uri());
        ASSERT_TRUE(writer) << writer.status().message();
    }
    EXPECT_EQ(records(), "name:1,zandrel-host");
    EXPECT_EQ(db.query("SELECT value FROM zandrel_meta WHERE name = 'application'"), "zandrel-host");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("keeps its zandrel_meta records by name now"), std::string::npos) << logged[0];
    // Opened again: nothing more to do.
    EXPECT_TRUE(host::StoreFactory::open(db.uri()));
    platform::Log::setSink(previous);
    EXPECT_EQ(logged.size(), 1u);
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
