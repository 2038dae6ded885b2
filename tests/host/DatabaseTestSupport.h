#pragma once

// Helpers for the object database tests: a fresh database file in a temporary folder with a
// signed-in user, and raw SQLite access to check what really reached the file.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/GWUser.h"
#include "host/database/sqlite/Database.h"
#include "host/database/sqlite/SqliteStore.h"
#include "tests/support/TempDir.h"

namespace hosttest {

// Runs SQL straight on the file through a separate connection; fails the test on error.
inline void rawExec(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

// The first column of the first row of a query, as text ("" for none).
inline std::string rawQuery(const std::filesystem::path& file, const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    std::string result;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        result = text ? text : "NULL";
    } else {
        ADD_FAILURE() << "query failed: " << sqlite3_errmsg(db) << " in " << sql;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

// The SQLite connection under a context on a file, for tests of SQLite itself.
inline host::Database& sqliteDatabase(DLPObjectContext& context) {
    return dynamic_cast<host::SqliteStore&>(context.store()).database();
}

// A connection of "another program", open until destroyed: holds locks for as long as a test
// needs them.
class RawConnection {
public:
    explicit RawConnection(const std::filesystem::path& file) {
        EXPECT_EQ(sqlite3_open(file.c_str(), &m_db), SQLITE_OK);
    }
    ~RawConnection() { sqlite3_close(m_db); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    void exec(const std::string& sql) {
        char* error = nullptr;
        int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error);
        EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "") << " in " << sql;
        sqlite3_free(error);
    }

private:
    sqlite3* m_db = nullptr;
};

// A user with a contact of their own, made in the context (saved with it).
inline void addUser(DLPObjectContext& context, const char* login, const char* name, bool active) {
    auto contact = context.createObjectForEntityNamedInsert("Contact", true);
    ASSERT_TRUE(contact);
    auto user = context.createObject<GWUser>();
    ASSERT_TRUE(user);
    (*user)->setLoginName(login);
    (*user)->setName(name);
    (*user)->setContactID((*contact)->primaryKeyValue());
    (*user)->setActive(active);
}

// A database file with two users: "ada" (active) and "bob" (inactive).
class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = dir / "test.zandrel";
        auto database = host::Database::open(file);
        ASSERT_TRUE(database) << database.status().message();
        auto setup = DLPObjectContext::withoutUser(*database);
        addUser(*setup, "ada", "Ada Lovelace", true);
        addUser(*setup, "bob", "Bob Builder", false);
        ASSERT_TRUE(setup->saveChanges());
        context = signIn();
    }

    static void addUser(DLPObjectContext& context, const char* login, const char* name, bool active) {
        hosttest::addUser(context, login, name, active);
    }

    std::shared_ptr<DLPObjectContext> signIn() {
        auto opened = DLPObjectContext::open(file, "ada");
        EXPECT_TRUE(opened) << opened.status().message();
        return opened ? *opened : nullptr;
    }

    // Signed in on a connection that gives up on another program's lock after `busyTimeout`.
    std::shared_ptr<DLPObjectContext> signInImpatient(std::chrono::milliseconds busyTimeout) {
        host::Database::Options options;
        options.busyTimeout = busyTimeout;
        auto database = host::Database::open(file, options);
        EXPECT_TRUE(database) << database.status().message();
        if (!database) return nullptr;
        auto opened = DLPObjectContext::signIn(*database, "ada");
        EXPECT_TRUE(opened) << opened.status().message();
        return opened ? *opened : nullptr;
    }

    testsupport::TempDir dir;
    std::filesystem::path file;
    std::shared_ptr<DLPObjectContext> context;
};

// The field definitions' entity, which most qualifier tests run against.
inline const host::EntityDescription& recordEntity() {
    return *host::EntityCatalog::shared().find("CustomRecordDefinition");
}

}  // namespace hosttest
