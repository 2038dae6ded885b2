// Object database benchmarks: creating and saving N field definitions through the object
// context, duplicating a template of N field definitions the way the duplicate dialog does
// (read the active templates, read the source's relation, create and copy, save), and, as the
// floor, a raw SQLite insert of the same rows in one transaction into the same table.
//
// Run: build-dir/bin/bench_object_context   (items_per_second = field definitions per second)

#include "host/database/CustomRecordDefinition.h"
#include "host/database/CustomRecordSetDefinition.h"
#include "host/database/DLPObjectContext.h"
#include "host/database/Database.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

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
        sqlite3_exec(db, "INSERT INTO CustomRecordSetDefinition (pk, name, active) VALUES (1, 'Copy', 1)", nullptr,
                     nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO CustomRecordDefinition (pk, active, defaultValue, details, name, options, "
                           "typeCode, customRecordSetDefinitionID, position) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
                           -1, &insert, nullptr);
        const std::string options = Value(Array{"Low", "Medium", "High"}).toJson();
        for (int64_t i = 0; i < n; ++i) {
            const std::string details = fmt::format("Field number {}", i);
            const std::string name = fmt::format("Field {}", i);
            sqlite3_bind_int64(insert, 1, i + 1);
            sqlite3_bind_int64(insert, 2, 1);
            if (i % 3 == 0) sqlite3_bind_text(insert, 3, "Medium", -1, SQLITE_TRANSIENT);
            else sqlite3_bind_null(insert, 3);
            sqlite3_bind_text(insert, 4, details.c_str(), int(details.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 5, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
            if (i % 3 == 0) sqlite3_bind_blob(insert, 6, options.data(), int(options.size()), SQLITE_TRANSIENT);
            else sqlite3_bind_null(insert, 6);
            sqlite3_bind_int64(insert, 7, i % 5);
            sqlite3_bind_int64(insert, 8, 1);
            sqlite3_bind_int64(insert, 9, i);
            if (sqlite3_step(insert) != SQLITE_DONE) state.SkipWithError(sqlite3_errmsg(db));
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) state.SkipWithError(sqlite3_errmsg(db));

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

// The duplicate dialog's path: the source template is read from the file, copied field by
// field into new objects, and the copy saved.
void BM_DuplicateTemplate(benchmark::State& state) {
    const int64_t n = state.range(0);
    for (auto _ : state) {
        state.PauseTiming();
        ScratchFile scratch;
        auto database = openDatabase(scratch.path());
        {
            auto setup = DLPObjectContext::withoutUser(database);
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
        auto context = DLPObjectContext::withoutUser(database);
        state.ResumeTiming();

        auto templates = context->optionsCache().activeCustomRecordSetDefinitions();
        const auto& source = templates->front();
        auto copy = context->createObject<CustomRecordSetDefinition>();
        (*copy)->setActive(source->active());
        (*copy)->setDetails(source->details());
        (*copy)->setForContact(source->forContact());
        (*copy)->setForGroup(source->forGroup());
        (*copy)->setForOpportunity(source->forOpportunity());
        (*copy)->setForOrganization(source->forOrganization());
        (*copy)->setForProject(source->forProject());
        (*copy)->setName("Copy");
        auto fields = source->customRecordDefinitions();
        for (const auto& field : *fields) {
            auto made = context->createObject<CustomRecordDefinition>();
            (*made)->setActive(field->active());
            (*made)->setDefaultValue(field->defaultValue());
            (*made)->setDetails(field->details());
            (*made)->setName(field->name());
            (*made)->setOptions(field->options());
            (*made)->setTypeCode(field->typeCode());
            check((*copy)->addToCustomRecordDefinitions(*made));
        }
        check(context->saveChanges());

        state.PauseTiming();
        context.reset();
        database.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

BENCHMARK(BM_RawInsert)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateAndSave)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DuplicateTemplate)->Arg(10)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
