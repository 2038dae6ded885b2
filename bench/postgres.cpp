// The host database on PostgreSQL: duplicating a template of N field definitions through the
// plug-in's real dialog (as bench_object_context does on SQLite) beside a raw libpq insert of the
// same rows in one transaction, and a feature-permission lookup among 100,000 connector-map
// records through the object context beside the same lookup as one raw prepared query.
//
// The server: ZANDREL_BENCH_POSTGRES_URI, or a private cluster this program starts with
// scripts/pg-cluster in a temporary folder and stops at the end. Each benchmark works in a
// fresh schema of its own.
//
// Run: build-dir/bin/bench_postgres   (items_per_second = field definitions or lookups per second)

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "host/app/HostApplication.h"
#include "host/database/CustomRecordDefinition.h"
#include "host/database/CustomRecordSetDefinition.h"
#include "host/database/DLPObjectContext.h"
#include "host/database/GWUser.h"
#include "host/database/StoreFactory.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ScriptedFrontEnd.h"

namespace {

using platform::Array;
using platform::Value;

void check(const platform::Status& status) {
    if (!status) throw std::runtime_error(status.message());
}

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

// The server for the whole run.
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

std::shared_ptr<host::Store> openStore(const std::string& uri) {
    auto store = host::StoreFactory::open(uri);
    if (!store) throw std::runtime_error(store.status().message());
    return *store;
}

// The field values a realistic template carries (as in bench_object_context).
void fill(CustomRecordDefinition& field, int64_t i) {
    field.setActive(true);
    field.setDefaultValue(i % 3 == 0 ? Value("Medium") : Value());
    field.setDetails(fmt::format("Field number {}", i));
    field.setName(fmt::format("Field {}", i));
    field.setOptions(i % 3 == 0 ? Value(Array{"Low", "Medium", "High"}) : Value());
    field.setTypeCode(i % 5);
}

// The floor: the same rows as a copy holds, one prepared INSERT each in one transaction.
void BM_PgRawInsert(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        const std::string uri = Server::shared().freshSchema();
        openStore(uri).reset();  // our schema, so both write the same table
        PGconn* db = PQconnectdb(uri.c_str());
        state.ResumeTiming();

        PQclear(PQexec(db, "BEGIN"));
        PQclear(PQexec(db,
                       "INSERT INTO \"CustomRecordSetDefinition\" (pk, name, active) "
                       "VALUES (nextval('\"CustomRecordSetDefinition_pk_seq\"'), 'Copy', 1)"));
        PQclear(
            PQprepare(db, "insert",
                      "INSERT INTO \"CustomRecordDefinition\" (pk, active, \"defaultValue\", details, name, "
                      "options, \"typeCode\", \"customRecordSetDefinitionID\", position) VALUES "
                      "(nextval('\"CustomRecordDefinition_pk_seq\"'), 1, $1, $2, $3, $4, $5, "
                      "currval('\"CustomRecordSetDefinition_pk_seq\"'), $6)",
                      6, nullptr));
        const std::string options = "b" + Value(Array{"Low", "Medium", "High"}).toJson();
        for (int64_t i = 0; i < n; ++i) {
            const std::string details = fmt::format("Field number {}", i), name = fmt::format("Field {}", i),
                              type = std::to_string(i % 5), position = std::to_string(i);
            const char* values[] = {
                i % 3 == 0 ? "tMedium" : nullptr,       details.c_str(), name.c_str(),
                i % 3 == 0 ? options.c_str() : nullptr, type.c_str(),    position.c_str()};
            const int lengths[] = {7, 0, 0, int(options.size()), 0, 0};
            const int formats[] = {1, 0, 0, 1, 0, 0};
            PGresult* result = PQexecPrepared(db, "insert", 6, values, lengths, formats, 0);
            if (PQresultStatus(result) != PGRES_COMMAND_OK) state.SkipWithError(PQresultErrorMessage(result));
            PQclear(result);
        }
        PGresult* committed = PQexec(db, "COMMIT");
        if (PQresultStatus(committed) != PGRES_COMMAND_OK)
            state.SkipWithError(PQresultErrorMessage(committed));
        PQclear(committed);

        state.PauseTiming();
        PQfinish(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The duplicate command end to end on PostgreSQL: the real plug-in bundle loaded by the host,
// Plug-ins > Zandrel > the command, the dialog, the success alert, then the host's save.
void BM_PgDuplicateThroughDialog(benchmark::State& state) {
    const int64_t n = state.range(0);
    const std::string uri = Server::shared().freshSchema();
    {
        auto setup = DLPObjectContext::withoutUser(openStore(uri));
        auto user = setup->createObject<GWUser>(true);
        (*user)->setLoginName("bench");
        (*user)->setName("Bench Mark");
        (*user)->setActive(true);
        auto form = setup->createObject<CustomRecordSetDefinition>();
        (*form)->setName("Source");
        (*form)->setActive(true);
        for (int64_t i = 0; i < n; ++i) {
            auto field = setup->createObject<CustomRecordDefinition>();
            fill(**field, i);
            check((*form)->addToCustomRecordDefinitions(*field));
        }
        check(setup->saveChanges());
    }
    platform::ScriptedFrontEnd driver;
    auto app = host::HostApplication::create(
        {uri, std::filesystem::path(ZANDREL_PLUGIN_BUNDLE).parent_path(), ZANDREL_HOST_BUNDLE});
    check(app->openDatabase());
    check(app->loadPluginBundle(ZANDREL_PLUGIN_BUNDLE));
    auto command = platform::Application::shared()
                       .mainMenu()
                       ->itemWithTitle("Plug-ins")
                       ->submenu()
                       ->itemWithTitle("Zandrel")
                       ->submenu()
                       ->itemAtIndex(0);
    int64_t copies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        app->showLoginWindow();
        check(app->signIn("bench"));
        std::string name = fmt::format("Copy {}", ++copies);
        state.ResumeTiming();

        command->performAction();
        driver.selectPopUpItem("template", "Source");
        driver.typeText("name", name);
        driver.answerAlert("Thanks!");
        driver.pressButton("duplicate");
        platform::RunLoop::main().runPending();
        check(app->saveChanges());

        state.PauseTiming();
        if (driver.lastAlert().title != "Success!") state.SkipWithError("the dialog did not duplicate");
        check(app->signOff());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// 100,000 permission records: 20 features for 5,000 contacts, a tenth of them another
// application's. The lookup is the one a feature check makes (KOPAFeature's connectorMapForUser).
constexpr const char* kPermissionQualifier =
    "foreignAppName = $appName AND foreignEntityType = $entity AND foreignID = $identifier AND contactID = "
    "$contactID";

const std::string& permissionDatabase() {
    static const std::string uri = [] {
        std::string made = Server::shared().freshSchema();
        openStore(made).reset();
        Server::exec(
            made,
            "INSERT INTO \"GWConnectorMap\" (pk, \"foreignAppName\", \"foreignEntityType\", \"foreignID\", "
            "\"contactID\") SELECT nextval('\"GWConnectorMap_pk_seq\"'), CASE WHEN i % 10 = 0 THEN "
            "'OtherApp' ELSE 'BenchApp' END, 'FeaturePermission', 'feature' || (i % 20), i / 20 "
            "FROM generate_series(0, 99999) AS i; ANALYZE \"GWConnectorMap\"");
        return made;
    }();
    return uri;
}

void BM_PgPermissionCheckThroughContext(benchmark::State& state) {
    auto context = DLPObjectContext::withoutUser(openStore(permissionDatabase()));
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

void BM_PgPermissionCheckRaw(benchmark::State& state) {
    PGconn* db = PQconnectdb(permissionDatabase().c_str());
    PQclear(
        PQprepare(db, "lookup",
                  "SELECT pk, \"foreignAppName\", \"foreignEntityType\", \"foreignID\", \"foreignDatabase\", "
                  "\"contactID\" FROM \"GWConnectorMap\" WHERE \"foreignAppName\" = $1 AND "
                  "\"foreignEntityType\" = $2 AND \"foreignID\" = $3 AND \"contactID\" = $4 ORDER BY pk",
                  4, nullptr));
    int64_t i = 0, found = 0;
    for (auto _ : state) {
        ++i;
        const std::string feature = fmt::format("feature{}", i % 20),
                          contact = std::to_string((i * 37) % 5000);
        const char* values[] = {"BenchApp", "FeaturePermission", feature.c_str(), contact.c_str()};
        PGresult* result = PQexecPrepared(db, "lookup", 4, values, nullptr, nullptr, 0);
        if (PQresultStatus(result) != PGRES_TUPLES_OK) state.SkipWithError(PQresultErrorMessage(result));
        found += PQntuples(result);
        PQclear(result);
    }
    PQfinish(db);
    state.counters["found"] = double(found) / double(i);
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_PgRawInsert)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PgDuplicateThroughDialog)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PgPermissionCheckThroughContext)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PgPermissionCheckRaw)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
