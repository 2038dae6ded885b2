#pragma once

// Object database tests over every kind of store: a fixture parametrised by a StoreFactory
// (SQLite and PostgreSQL, always registered: the PostgreSQL variants skip or fail in SetUp when
// there is no test cluster, see ZANDREL_REQUIRE_POSTGRES), with a fresh database holding two
// users, and raw access to what really reached the database. A fixture deriving from StoreTest
// returns from its own SetUp when StoreTest's skipped or failed.
//
// Raw SQL in these tests keeps to what both engines read: quoted or plain identifiers,
// count(*), coalesce, group_concat(x) and group_concat(x, sep) (the PostgreSQL test database
// defines those two aggregates). Tests of one engine's own behaviour (locks, pragmas, SQLite's
// storage classes) call requireSqlite() first.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWUser.h"
#include "host/database/store/StoreFactory.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/host/PostgresTestDatabase.h"
#include "tests/support/TempDir.h"

namespace hosttest {

struct StoreFactory {
    std::string name;  // in test names: "Sqlite", "Postgres"
    bool isSqlite = false;
    // A fresh, empty database for one test (the test's own folder given); its address.
    std::function<std::string(const std::filesystem::path& folder)> freshDatabase;
    // SQL straight on the database through a connection of its own, as another program would:
    // the first column of the first row as text ("NULL" for none), or nothing for rawExec.
    std::function<std::string(const std::string& address, const std::string& sql)> rawQuery;
    std::function<void(const std::string& address, const std::string& sql)> rawExec;
    // Makes the database refuse to insert a CustomRecordDefinition named `name`, with a message
    // holding "refused by test trigger"; allowAgain() lifts that.
    std::function<void(const std::string& address, const std::string& name)> refuseInsertsNamed;
    std::function<void(const std::string& address)> allowAgain;
};

inline StoreFactory sqliteFactory() {
    StoreFactory factory;
    factory.name = "Sqlite";
    factory.isSqlite = true;
    factory.freshDatabase = [](const std::filesystem::path& folder) {
        return (folder / "test.zandrel").string();
    };
    factory.rawQuery = [](const std::string& address, const std::string& sql) {
        return rawQuery(address, sql);
    };
    factory.rawExec = [](const std::string& address, const std::string& sql) { rawExec(address, sql); };
    factory.refuseInsertsNamed = [](const std::string& address, const std::string& name) {
        rawExec(address, "CREATE TRIGGER refuse BEFORE INSERT ON CustomRecordDefinition WHEN NEW.name = '" +
                             name + "' BEGIN SELECT RAISE(ABORT, 'refused by test trigger'); END;");
    };
    factory.allowAgain = [](const std::string& address) { rawExec(address, "DROP TRIGGER refuse"); };
    return factory;
}

inline StoreFactory postgresFactory();  // tests/host/PostgresStoreFactory.h

// Every store the tests run against. Both are registered whatever the environment, since tests
// are listed (by ctest's discovery) without the variables the run gets.
inline std::vector<StoreFactory> storeFactories() {
    return {sqliteFactory(), postgresFactory()};
}

inline void PrintTo(const StoreFactory& factory, std::ostream* out) {
    *out << factory.name;
}

inline std::string storeName(const ::testing::TestParamInfo<StoreFactory>& info) {
    return info.param.name;
}

// A fresh database of the parameter's kind with two users: "ada" (active) and "bob" (inactive).
class StoreTest : public ::testing::TestWithParam<StoreFactory> {
protected:
    void SetUp() override {
        if (!GetParam().isSqlite) ZANDREL_REQUIRE_POSTGRES();
        address = GetParam().freshDatabase(dir.path());
        file = address;
        host::StoreFactory::Options create;
        create.createSchema = true;
        auto store = host::StoreFactory::open(address, create);
        ASSERT_TRUE(store) << store.status().message();
        auto setup = DLPObjectContext::withoutUser(*store);
        addUser(*setup, "ada", "Ada Lovelace", true);
        addUser(*setup, "bob", "Bob Builder", false);
        ASSERT_TRUE(setup->saveChanges());
        context = signIn();
    }

    bool isSqlite() const { return GetParam().isSqlite; }
    std::string rawQuery(const std::string& sql) { return GetParam().rawQuery(address, sql); }
    void rawExec(const std::string& sql) { GetParam().rawExec(address, sql); }

    std::shared_ptr<DLPObjectContext> signIn(const char* user = "ada") {
        auto opened = DLPObjectContext::open(address, user);
        EXPECT_TRUE(opened) << opened.status().message();
        return opened ? *opened : nullptr;
    }

    // Signed in on a connection that gives up on another program's lock after `busyTimeout`.
    std::shared_ptr<DLPObjectContext> signInImpatient(std::chrono::milliseconds busyTimeout) {
        host::StoreFactory::Options options;
        options.busyTimeout = busyTimeout;
        auto store = host::StoreFactory::open(address, options);
        EXPECT_TRUE(store) << store.status().message();
        if (!store) return nullptr;
        auto opened = DLPObjectContext::signIn(*store, "ada");
        EXPECT_TRUE(opened) << opened.status().message();
        return opened ? *opened : nullptr;
    }

    testsupport::TempDir dir;
    std::string address;
    std::filesystem::path file;  // the address as a path (the file, for SQLite)
    std::shared_ptr<DLPObjectContext> context;
};

// `suite`: the fixture's cases of SQLite's own behaviour (storage classes, locks, the file's
// size), instantiated on SQLite alone rather than skipped on every other store.
#define ZANDREL_SQLITE_ONLY_SUITE(suite, fixture)                                           \
    class suite : public fixture {};                                                        \
    INSTANTIATE_TEST_SUITE_P(Sqlite, suite, ::testing::Values(::hosttest::sqliteFactory()), \
                             ::hosttest::storeName)

}  // namespace hosttest

#include "tests/host/PostgresStoreFactory.h"
