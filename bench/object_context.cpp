// Object database benchmarks: creating and saving N field definitions through the object
// context, duplicating a template of N field definitions through the plug-in's real dialog
// (menu command, pop-up, name, button, alert, save), and, as the floor, a raw SQLite insert of
// the same rows in one transaction into the same table.
//
// Run: build-dir/bin/bench_object_context   (items_per_second = field definitions per second)

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "bench/support/BenchHost.h"
#include "bench/support/RawCopy.h"
#include "bench/support/ScratchFolder.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/sqlite/Database.h"
#include "platform/ui/ScriptedFrontEnd.h"

namespace {

using bench::BenchHost;
using bench::ScratchFolder;

std::shared_ptr<host::Database> openDatabase(const std::filesystem::path& file) {
    auto database = host::Database::open(file);
    if (!database) throw std::runtime_error(database.status().message());
    return *database;
}

void BM_RawInsert(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFolder scratch;
        openDatabase(scratch.databaseFile()).reset();  // our schema, so both write the same table
        sqlite3* db = nullptr;
        sqlite3_open(scratch.databaseFile().c_str(), &db);
        sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        state.ResumeTiming();

        if (auto error = bench::RawCopy::intoSqlite(db, n); !error.empty())
            state.SkipWithError(error.c_str());

        state.PauseTiming();
        sqlite3_close(db);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_CreateAndSave(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFolder scratch;
        auto context = DLPObjectContext::withoutUser(openDatabase(scratch.databaseFile()));
        state.ResumeTiming();

        auto form = context->createObject<CustomRecordSetDefinition>();
        (*form)->setName("Copy");
        (*form)->setActive(true);
        for (int64_t i = 0; i < n; ++i) {
            auto field = context->createObject<CustomRecordDefinition>();
            BenchHost::fill(**field, i);
            BenchHost::check((*form)->addToCustomRecordDefinitions(*field));
        }
        BenchHost::check(context->saveChanges());

        state.PauseTiming();
        context.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// Deletes the template of that name; its field definitions go with it (the owner reference
// deletes with its owner). Returns SQLite's message on failure, "" on success.
std::string removeTemplate(const std::filesystem::path& file, const std::string& name) {
    sqlite3* db = nullptr;
    std::string error;
    if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr) == SQLITE_OK &&
            sqlite3_prepare_v2(db, "DELETE FROM \"CustomRecordSetDefinition\" WHERE name = ?", -1, &statement,
                               nullptr) == SQLITE_OK &&
            sqlite3_bind_text(statement, 1, name.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_DONE && sqlite3_changes(db) == 1)
            error = "";
        else
            error = fmt::format("removing the copy \"{}\": {}", name, sqlite3_errmsg(db));
        sqlite3_finalize(statement);
    } else {
        error = fmt::format("opening {}: {}", file.string(), sqlite3_errmsg(db));
    }
    sqlite3_close(db);
    return error;
}

// The duplicate command end to end, as a person runs it: the real plug-in bundle loaded by the
// host, Plug-ins > Zandrel > the command, the dialog's pop-up and name field, the duplicate
// button, the success alert, then the host's save. Only the sign-in before and the sign-off
// after each copy are left out of the time. peak_rss_MiB is the process's peak resident size
// so far (sizes run in ascending order, so it grows with the largest copy made).
void BM_DuplicateThroughDialog(benchmark::State& state) {
    const int64_t n = state.range(0);
    ScratchFolder scratch;
    platform::ScriptedFrontEnd driver;
    BenchHost host(scratch.databaseFile().string(), n);
    int64_t copies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        host.app().showLoginWindow();
        BenchHost::check(host.app().signIn("bench"));
        std::string name = fmt::format("Copy {}", ++copies);
        state.ResumeTiming();

        const bool duplicated = host.duplicateThroughDialog(driver, name);

        state.PauseTiming();
        if (!duplicated) state.SkipWithError("the dialog did not duplicate");
        BenchHost::check(host.app().signOff());
        // Each copy starts from the database the first one found (the source template alone),
        // as the raw insert starts from empty tables: copies left behind would make every later
        // save's list refresh count their fields too.
        if (auto error = removeTemplate(scratch.databaseFile(), name); !error.empty())
            state.SkipWithError(error.c_str());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

BENCHMARK(BM_RawInsert)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateAndSave)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DuplicateThroughDialog)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
