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

#include "host/app/HostApplication.h"
#include "host/database/CustomRecordDefinition.h"
#include "host/database/CustomRecordSetDefinition.h"
#include "host/database/DLPObjectContext.h"
#include "host/database/Database.h"
#include "host/database/GWUser.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ScriptedFrontEnd.h"

namespace {

using platform::Array;
using platform::Value;

class ScratchFile {
public:
    ScratchFile() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zandrel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
        m_dir = pattern;
    }
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::filesystem::path path() const { return m_dir / "bench.zandrel"; }

private:
    std::filesystem::path m_dir;
};

std::shared_ptr<host::Database> openDatabase(const std::filesystem::path& file) {
    auto database = host::Database::open(file);
    if (!database) throw std::runtime_error(database.status().message());
    return *database;
}

void check(const platform::Status& status) {
    if (!status) throw std::runtime_error(status.message());
}

// The field values a realistic template carries: a name, details, a pop-up's options.
void fill(CustomRecordDefinition& field, int64_t i) {
    field.setActive(true);
    field.setDefaultValue(i % 3 == 0 ? Value("Medium") : Value());
    field.setDetails(fmt::format("Field number {}", i));
    field.setName(fmt::format("Field {}", i));
    field.setOptions(i % 3 == 0 ? Value(Array{"Low", "Medium", "High"}) : Value());
    field.setTypeCode(i % 5);
}

void BM_RawInsert(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFile scratch;
        openDatabase(scratch.path()).reset();  // our schema, so both write the same table
        sqlite3* db = nullptr;
        sqlite3_open(scratch.path().c_str(), &db);
        sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        state.ResumeTiming();

        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "INSERT INTO CustomRecordSetDefinition (pk, name, active) VALUES (1, 'Copy', 1)",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(
            db,
            "INSERT INTO CustomRecordDefinition (pk, active, defaultValue, details, name, options, "
            "typeCode, customRecordSetDefinitionID, position) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
            -1, &insert, nullptr);
        const std::string options = Value(Array{"Low", "Medium", "High"}).toJson();
        for (int64_t i = 0; i < n; ++i) {
            const std::string details = fmt::format("Field number {}", i);
            const std::string name = fmt::format("Field {}", i);
            sqlite3_bind_int64(insert, 1, i + 1);
            sqlite3_bind_int64(insert, 2, 1);
            if (i % 3 == 0)
                sqlite3_bind_text(insert, 3, "Medium", -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(insert, 3);
            sqlite3_bind_text(insert, 4, details.c_str(), int(details.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 5, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
            if (i % 3 == 0)
                sqlite3_bind_blob(insert, 6, options.data(), int(options.size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(insert, 6);
            sqlite3_bind_int64(insert, 7, i % 5);
            sqlite3_bind_int64(insert, 8, 1);
            sqlite3_bind_int64(insert, 9, i);
            if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            state.SkipWithError(sqlite3_errmsg(db));

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
        ScratchFile scratch;
        auto context = DLPObjectContext::withoutUser(openDatabase(scratch.path()));
        state.ResumeTiming();

        auto form = context->createObject<CustomRecordSetDefinition>();
        (*form)->setName("Copy");
        (*form)->setActive(true);
        for (int64_t i = 0; i < n; ++i) {
            auto field = context->createObject<CustomRecordDefinition>();
            fill(**field, i);
            check((*form)->addToCustomRecordDefinitions(*field));
        }
        check(context->saveChanges());

        state.PauseTiming();
        context.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The duplicate command end to end, as a person runs it: the real plug-in bundle loaded by the
// host, Plug-ins > Zandrel > the command, the dialog's pop-up and name field, the duplicate
// button, the success alert, then the host's save. Only the sign-in before and the sign-off
// after each copy are left out of the time. peak_rss_MiB is the process's peak resident size
// so far (sizes run in ascending order, so it grows with the largest copy made).
void BM_DuplicateThroughDialog(benchmark::State& state) {
    const int64_t n = state.range(0);
    ScratchFile scratch;
    {
        auto setup = DLPObjectContext::withoutUser(openDatabase(scratch.path()));
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
        {scratch.path(), std::filesystem::path(ZANDREL_PLUGIN_BUNDLE).parent_path(), ZANDREL_HOST_BUNDLE});
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
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

BENCHMARK(BM_RawInsert)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateAndSave)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DuplicateThroughDialog)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
