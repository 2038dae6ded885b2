// The host database on PostgreSQL beside SQLite, the same work on each:
//   - duplicating a template of N field definitions through the plug-in's real dialog (menu
//     command, pop-up, name, button, alert, the host's save), beside a raw insert of the same
//     rows in one transaction through the database's own library (libpq, sqlite3), one prepared
//     INSERT per row (and on SQLite also 64 rows to a statement, as the host writes them);
//   - the feature-permission lookup (KOPAFeature's connectorMapForUser: one application's
//     records of one feature for one contact) among 100,000 connector-map records, through the
//     object context, beside the same lookup as one raw prepared query on the same index.
//
// The server: ZANDREL_BENCH_POSTGRES_URI, or a private cluster this program starts with
// scripts/pg-cluster in a temporary folder and stops at the end. Each benchmark works in a
// fresh schema of its own (PostgreSQL) or a fresh file (SQLite).
//
// Run: build-dir/bin/bench_postgres   (items_per_second = field definitions or lookups per second;
//      --benchmark_filter=Sqlite or =Postgres for one kind)

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/support/BenchHost.h"
#include "bench/support/RawCopy.h"
#include "bench/support/ScratchFolder.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"
#include "platform/ui/ScriptedFrontEnd.h"

namespace {

using bench::BenchHost;
using platform::Value;

enum class Kind { Sqlite, Postgres };

std::string shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pclose(pipe) != 0) throw std::runtime_error("failed: " + command);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// The PostgreSQL server for the whole run, started on first use.
class Server {
public:
    static Server& shared() {
        static Server server;
        return server;
    }
    ~Server() {
        if (!m_dir.empty()) {
            std::system(fmt::format("bash {}/scripts/pg-cluster stop {} >/dev/null 2>&1", ZANDREL_SOURCE_DIR,
                                    m_dir.string())
                            .c_str());
            std::error_code ec;
            std::filesystem::remove_all(m_dir, ec);
        }
    }
    // A fresh schema's URI.
    std::string freshSchema() {
        std::string schema = fmt::format("bench_{}_{}", getpid(), ++m_schemas);
        exec(m_uri, "CREATE SCHEMA " + schema);
        return m_uri + (m_uri.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" +
               schema;
    }
    static void exec(const std::string& uri, const std::string& sql) {
        PGconn* connection = PQconnectdb(uri.c_str());
        PGresult* result = PQexec(connection, sql.c_str());
        std::string error =
            PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK
                ? ""
                : PQresultErrorMessage(result);
        PQclear(result);
        PQfinish(connection);
        if (!error.empty()) throw std::runtime_error(error + " in " + sql);
    }

private:
    Server() {
        if (const char* uri = std::getenv("ZANDREL_BENCH_POSTGRES_URI"); uri && *uri) {
            m_uri = uri;
            return;
        }
        m_dir = fmt::format("/tmp/zandrel-bench-pg-{}", getpid());
        m_uri = shell(fmt::format("bash {}/scripts/pg-cluster start {}", ZANDREL_SOURCE_DIR, m_dir.string()));
    }
    std::filesystem::path m_dir;
    std::string m_uri;
    int m_schemas = 0;
};

// A new, empty database of the kind, holding the host's tables; gone with the object (the
// schemas of the server go with the cluster).
class FreshDatabase {
public:
    explicit FreshDatabase(Kind kind) {
        if (kind == Kind::Postgres) {
            m_address = Server::shared().freshSchema();
        } else {
            m_folder = std::make_unique<bench::ScratchFolder>();
            m_address = m_folder->databaseFile().string();
        }
        host::StoreFactory::Options create;
        create.createSchema = true;
        auto store = host::StoreFactory::open(m_address, create);
        if (!store) throw std::runtime_error(store.status().message());
    }
    const std::string& address() const { return m_address; }

private:
    std::unique_ptr<bench::ScratchFolder> m_folder;
    std::string m_address;
};

void skipUnless(benchmark::State& state, const std::string& error) {
    if (!error.empty()) state.SkipWithError(error.c_str());
}

// The floor: the rows of one copy, one prepared INSERT each, in one transaction.
void BM_RawCopy(benchmark::State& state, Kind kind) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        FreshDatabase database(kind);
        PGconn* pg = nullptr;
        sqlite3* lite = nullptr;
        if (kind == Kind::Postgres) {
            pg = PQconnectdb(database.address().c_str());
        } else {
            sqlite3_open(database.address().c_str(), &lite);
            sqlite3_exec(lite, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        }
        state.ResumeTiming();

        skipUnless(state, pg ? bench::RawCopy::intoPostgres(pg, n) : bench::RawCopy::intoSqlite(lite, n));

        state.PauseTiming();
        if (pg) PQfinish(pg);
        if (lite) sqlite3_close(lite);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The same rows as BM_RawCopy on SQLite, 64 to a statement as the host's store writes them.
void BM_RawCopyBatched(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        FreshDatabase database(Kind::Sqlite);
        sqlite3* lite = nullptr;
        sqlite3_open(database.address().c_str(), &lite);
        sqlite3_exec(lite, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        state.ResumeTiming();

        skipUnless(state, bench::RawCopy::intoSqliteBatched(lite, n, 64));

        state.PauseTiming();
        sqlite3_close(lite);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The duplicate command end to end: the real plug-in bundle loaded by the host, Plug-ins >
// Zandrel > the command, the dialog, the success alert, then the host's save. The sign-in
// before and the sign-off after each copy are left out of the time.
void BM_DuplicateThroughDialog(benchmark::State& state, Kind kind) {
    const int64_t n = state.range(0);
    FreshDatabase database(kind);
    platform::ScriptedFrontEnd driver;
    BenchHost host(database.address(), n);
    int64_t copies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        host.app().showLoginWindow();
        BenchHost::check(host.app().signIn("bench"));
        const std::string name = fmt::format("Copy {}", ++copies);
        state.ResumeTiming();

        const bool duplicated = host.duplicateThroughDialog(driver, name);

        state.PauseTiming();
        if (!duplicated) state.SkipWithError("the dialog did not duplicate");
        BenchHost::check(host.app().signOff());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// 100,000 permission records: 20 features for 5,000 contacts, a tenth of them another
// application's. The lookup is the one a feature check makes (KOPAFeature's connectorMapForUser).
constexpr const char* kPermissionQualifier =
    "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID = $identifier AND contactID = "
    "$contactID";

const std::string& permissionDatabase(Kind kind) {
    auto make = [](Kind made) {
        auto* database = new FreshDatabase(made);  // kept for the whole run
        if (made == Kind::Postgres) {
            Server::exec(
                database->address(),
                "INSERT INTO \"GWConnectorMap\" (pk, \"foreignAppName\", \"foreignEntityType\", "
                "\"foreignID\", \"contactID\") SELECT nextval('\"GWConnectorMap_pk_seq\"'), CASE WHEN "
                "i % 10 = 0 THEN 'OtherApp' ELSE 'BenchApp' END, 'FeaturePermission', 'feature' || (i "
                "% 20), i / 20 FROM generate_series(0, 99999) AS i; ANALYZE \"GWConnectorMap\"");
        } else {
            sqlite3* db = nullptr;
            sqlite3_open(database->address().c_str(), &db);
            char* error = nullptr;
            sqlite3_exec(db,
                         "WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM c WHERE i < 99999) "
                         "INSERT INTO GWConnectorMap (pk, foreignAppName, foreignEntityType, foreignID, "
                         "contactID) SELECT i + 1, CASE WHEN i % 10 = 0 THEN 'OtherApp' ELSE 'BenchApp' END, "
                         "'FeaturePermission', 'feature' || (i % 20), i / 20 FROM c; ANALYZE",
                         nullptr, nullptr, &error);
            std::string message = error ? error : "";
            sqlite3_free(error);
            sqlite3_close(db);
            if (!message.empty()) throw std::runtime_error(message);
        }
        return database->address();
    };
    if (kind == Kind::Sqlite) {
        static const std::string sqlite = make(Kind::Sqlite);
        return sqlite;
    }
    static const std::string postgres = make(Kind::Postgres);
    return postgres;
}

void BM_PermissionCheckThroughContext(benchmark::State& state, Kind kind) {
    auto store = host::StoreFactory::open(permissionDatabase(kind));
    if (!store) return state.SkipWithError(store.status().message().c_str());
    auto context = DLPObjectContext::withoutUser(*store);
    int64_t i = 0, found = 0;
    for (auto _ : state) {
        ++i;
        auto records = context->objectsForEntityNamedQualifierLocumBindings(
            "GWConnectorMap", kPermissionQualifier,
            {{"appName", Value("BenchApp")},
             {"entity", Value("FeaturePermission")},
             {"identifier", Value(fmt::format("feature{}", i % 20))},
             {"contactID", Value(int64_t((i * 37) % 5000))}});
        if (!records) state.SkipWithError(records.status().message().c_str());
        found += int64_t(records->size());
    }
    state.counters["found"] = double(found) / double(i);
    state.SetItemsProcessed(state.iterations());
}

// The same lookup as one prepared query, every column of the records fetched as the store does.
void BM_PermissionCheckRaw(benchmark::State& state, Kind kind) {
    PGconn* pg = nullptr;
    sqlite3* lite = nullptr;
    sqlite3_stmt* lookup = nullptr;
    if (kind == Kind::Postgres) {
        pg = PQconnectdb(permissionDatabase(kind).c_str());
        PQclear(PQprepare(
            pg, "lookup",
            "SELECT pk, \"foreignAppName\", \"foreignEntityType\", \"foreignID\", \"foreignDatabase\", "
            "\"contactID\" FROM \"GWConnectorMap\" WHERE \"foreignAppName\" = $1 AND \"foreignEntityType\" = "
            "$2 "
            "AND \"foreignID\" = $3 AND \"contactID\" = $4 ORDER BY pk",
            4, nullptr));
    } else {
        sqlite3_open(permissionDatabase(kind).c_str(), &lite);
        sqlite3_prepare_v2(
            lite,
            "SELECT pk, foreignAppName, foreignEntityType, foreignID, foreignDatabase, contactID "
            "FROM GWConnectorMap WHERE foreignAppName = ? AND foreignEntityType = ? AND "
            "foreignID = ? AND contactID = ? ORDER BY pk",
            -1, &lookup, nullptr);
    }
    int64_t i = 0, found = 0;
    for (auto _ : state) {
        ++i;
        const std::string feature = fmt::format("feature{}", i % 20);
        const int64_t contact = (i * 37) % 5000;
        if (pg) {
            const std::string contactText = std::to_string(contact);
            const char* values[] = {"BenchApp", "FeaturePermission", feature.c_str(), contactText.c_str()};
            PGresult* result = PQexecPrepared(pg, "lookup", 4, values, nullptr, nullptr, 0);
            if (PQresultStatus(result) != PGRES_TUPLES_OK) state.SkipWithError(PQresultErrorMessage(result));
            found += PQntuples(result);
            PQclear(result);
        } else {
            sqlite3_bind_text(lookup, 1, "BenchApp", -1, SQLITE_STATIC);
            sqlite3_bind_text(lookup, 2, "FeaturePermission", -1, SQLITE_STATIC);
            sqlite3_bind_text(lookup, 3, feature.c_str(), int(feature.size()), SQLITE_STATIC);
            sqlite3_bind_int64(lookup, 4, contact);
            int rc;
            while ((rc = sqlite3_step(lookup)) == SQLITE_ROW) {
                for (int column = 0; column < 6; ++column)
                    benchmark::DoNotOptimize(sqlite3_column_text(lookup, column));
                ++found;
            }
            if (rc != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(lite));
            sqlite3_reset(lookup);
        }
    }
    if (pg) PQfinish(pg);
    sqlite3_finalize(lookup);
    if (lite) sqlite3_close(lite);
    state.counters["found"] = double(found) / double(i);
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(BM_RawCopy, Sqlite, Kind::Sqlite)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawCopyBatched)
    ->Name("BM_RawCopyBatched/Sqlite")
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DuplicateThroughDialog, Sqlite, Kind::Sqlite)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RawCopy, Postgres, Kind::Postgres)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DuplicateThroughDialog, Postgres, Kind::Postgres)
    ->Arg(1000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PermissionCheckThroughContext, Sqlite, Kind::Sqlite)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PermissionCheckRaw, Sqlite, Kind::Sqlite)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PermissionCheckThroughContext, Postgres, Kind::Postgres)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PermissionCheckRaw, Postgres, Kind::Postgres)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
