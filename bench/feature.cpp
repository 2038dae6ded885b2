// Feature permission checks against a database holding 100,000 permission records: the
// framework's check (KOPAFeature, through the object context and its qualifier) beside the same
// lookup as one raw prepared SQLite query on the same file. The two should stay within 1.5x.
//
// Run: build-dir/bin/bench_feature

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include "framework/Classes/VEXAFeature.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/GWUser.h"
#include "host/database/model/Qualifier.h"
#include "host/database/sqlite/Database.h"

namespace {

constexpr int kRecords = 100000;
constexpr int kFeatures = 20;
constexpr int kContacts = 10000;
constexpr const char* kApp = "BenchApp";

void check(const platform::Status& status) {
    if (!status) throw std::runtime_error(status.message());
}

// One file for every benchmark: permission records of kFeatures features for contacts 1 to
// kContacts (and for all users: feature0 only), a tenth of them another application's, plus a
// signed-in user whose own record exists for "feature3" only.
struct Fixture {
    std::filesystem::path dir;
    std::filesystem::path file;
    std::shared_ptr<DLPObjectContext> context;
    std::shared_ptr<GWUser> user;
    int64_t contact = 0;
    sqlite3* raw = nullptr;

    Fixture() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zandrel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
        dir = pattern;
        file = dir / "bench.zandrel";
        auto database = host::Database::open(file);
        if (!database) throw std::runtime_error(database.status().message());
        auto setup = DLPObjectContext::withoutUser(*database);
        auto person = setup->createObjectForEntityNamedInsert("Contact", true);
        auto account = setup->createObject<GWUser>();
        if (!person || !account) throw std::runtime_error("cannot create the user");
        (*account)->setLoginName("bench");
        (*account)->setName("Bench User");
        (*account)->setContactID((*person)->primaryKeyValue());
        (*account)->setActive(true);
        check(setup->saveChanges());
        contact = (*person)->primaryKeyValue() + kContacts;  // a contact number no bulk record uses

        sqlite3_open(file.c_str(), &raw);
        sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(
            raw,
            "INSERT INTO GWConnectorMap (foreignAppName, foreignEntityType, foreignID, contactID) "
            "VALUES (?, 'FeaturePermission', ?, ?)",
            -1, &insert, nullptr);
        std::mt19937 random(7);
        for (int i = 0; i < kRecords; ++i) {
            // All-users records only for feature0, so feature4 is nobody's without a record.
            const bool everybody = i % 1000 == 0;
            std::string feature = everybody ? "feature0" : fmt::format("feature{}", random() % kFeatures);
            sqlite3_bind_text(insert, 1, i % 10 == 0 ? "OtherApp" : kApp, -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 2, feature.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 3, everybody ? 0 : 1 + static_cast<int64_t>(random() % kContacts));
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_exec(raw,
                     fmt::format("UPDATE User SET contactID = {} WHERE loginName = 'bench'", contact).c_str(),
                     nullptr, nullptr, nullptr);
        sqlite3_exec(
            raw,
            fmt::format(
                "INSERT INTO GWConnectorMap (foreignAppName, foreignEntityType, foreignID, contactID) "
                "VALUES ('{}', 'FeaturePermission', 'feature3', {})",
                kApp, contact)
                .c_str(),
            nullptr, nullptr, nullptr);

        std::ofstream config(dir / "features.json");
        config << "{";
        for (int i = 0; i < kFeatures; ++i)
            config << (i ? ", " : "") << fmt::format(R"("feature{}": {{}})", i);
        config << "}";
        config.close();
        KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile(kApp, dir / "features.json");

        auto signedIn = DLPObjectContext::open(file, "bench");
        if (!signedIn) throw std::runtime_error(signedIn.status().message());
        context = *signedIn;
        user = context->user();
    }
    ~Fixture() {
        sqlite3_close(raw);
        context.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Fixture& fixture() {
    static Fixture shared;
    return shared;
}

// The user's own record exists: one lookup finds it.
void BM_FeatureCheckGranted(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) {
        bool granted = KOPAFeature::userHasFeatureWithID(*f.context, f.user.get(), "feature3");
        if (!granted) throw std::runtime_error("feature3 should be granted");
        benchmark::DoNotOptimize(granted);
    }
}

// The same question as one raw prepared query: the user's own record or the all-users record.
bool rawCheck(sqlite3_stmt* lookup, const char* feature, int64_t contact) {
    sqlite3_bind_text(lookup, 1, kApp, -1, SQLITE_STATIC);
    sqlite3_bind_text(lookup, 2, "FeaturePermission", -1, SQLITE_STATIC);
    sqlite3_bind_text(lookup, 3, feature, -1, SQLITE_STATIC);
    sqlite3_bind_int64(lookup, 4, contact);
    bool granted = sqlite3_step(lookup) == SQLITE_ROW;
    sqlite3_reset(lookup);
    return granted;
}

sqlite3_stmt* prepareRawCheck(sqlite3* db) {
    sqlite3_stmt* lookup = nullptr;
    sqlite3_prepare_v2(
        db,
        "SELECT pk FROM GWConnectorMap WHERE pk > 0 AND foreignAppName = ? AND foreignEntityType = ? "
        "AND foreignID = ? AND contactID IN (?, 0)",
        -1, &lookup, nullptr);
    return lookup;
}

void BM_RawCheckGranted(benchmark::State& state) {
    auto& f = fixture();
    sqlite3_stmt* lookup = prepareRawCheck(f.raw);
    for (auto _ : state) {
        bool granted = rawCheck(lookup, "feature3", f.contact);
        if (!granted) throw std::runtime_error("feature3 should be granted");
        benchmark::DoNotOptimize(granted);
    }
    sqlite3_finalize(lookup);
}

// Neither an own record nor the all-users record.
void BM_FeatureCheckRefused(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) {
        bool granted = KOPAFeature::userHasFeatureWithID(*f.context, f.user.get(), "feature4");
        if (granted) throw std::runtime_error("feature4 should not be granted");
        benchmark::DoNotOptimize(granted);
    }
}

void BM_RawCheckRefused(benchmark::State& state) {
    auto& f = fixture();
    sqlite3_stmt* lookup = prepareRawCheck(f.raw);
    for (auto _ : state) {
        bool granted = rawCheck(lookup, "feature4", f.contact);
        if (granted) throw std::runtime_error("feature4 should not be granted");
        benchmark::DoNotOptimize(granted);
    }
    sqlite3_finalize(lookup);
}

// Any of three features for the signed-in user (its own records only).
void BM_AnyFeatureCheck(benchmark::State& state) {
    auto& f = fixture();
    const std::vector<std::string> features{"feature1", "feature3", "feature9"};
    for (auto _ : state) {
        bool granted = KOPAFeature::userOfContextHasAnyFeatureWithIDs(*f.context, features);
        if (!granted) throw std::runtime_error("feature3 should be granted");
        benchmark::DoNotOptimize(granted);
    }
}

// What a check costs when its qualifier is not among the context's recent ones: compiling it.
void BM_QualifierCompile(benchmark::State& state) {
    const auto& entity = *host::EntityCatalog::shared().find("GWConnectorMap");
    for (auto _ : state) {
        auto compiled = host::Qualifier::compile(entity,
                                                 "foreignAppName = $appName AND foreignEntityType = $entity "
                                                 "AND foreignID = $identifier AND contactID IN "
                                                 "$contactIDs",
                                                 {{"appName", kApp},
                                                  {"entity", "FeaturePermission"},
                                                  {"identifier", "feature3"},
                                                  {"contactIDs", platform::Array{int64_t{0}, int64_t{12}}}});
        benchmark::DoNotOptimize(compiled);
    }
}

}  // namespace

BENCHMARK(BM_QualifierCompile);
BENCHMARK(BM_FeatureCheckGranted);
BENCHMARK(BM_RawCheckGranted);
BENCHMARK(BM_FeatureCheckRefused);
BENCHMARK(BM_RawCheckRefused);
BENCHMARK(BM_AnyFeatureCheck);
BENCHMARK_MAIN();
