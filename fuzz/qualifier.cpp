// Qualifiers: any text either fails to compile with a message or compiles to SQL that SQLite
// runs; and the SQL (over saved rows) and the in-memory test (over the same rows unsaved) pick
// the same rows. The rows and bindings mix integers beyond 2^53, reals, texts, booleans and
// missing values, where SQL and C++ comparisons differ most easily. The PostgreSQL dialect, whose
// comparisons are written for their operands' types, accepts exactly the same texts.

#include "host/database/model/Qualifier.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/postgres/PostgresDialect.h"
#include "host/database/sqlite/Database.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

struct Row {
    Value typeCode, active, defaultValue, details;
};

const int64_t kBig = 9007199254740993;  // 2^53 + 1: not a double
const Row kRows[] = {
    {0, true, "x", {}},
    {1, false, 5, "d"},
    {3, true, {}, "O'Brien"},
    {{}, {}, 2.5, "\xC3\xA9t\xC3\xA9"},
    {kBig, true, 9007199254740992.0, ""},
    {-1, false, kBig, "x"},
    {std::numeric_limits<int64_t>::max(), true, std::numeric_limits<int64_t>::min(), "X"},
    {std::numeric_limits<int64_t>::min(), false, 1e300, "5"},
    {2, {}, -0.0, "a\nb"},
    {9007199254740992, true, true, "2.5"},
};

const Dictionary& bindings() {
    static const Dictionary b = {
        {"a", kBig},
        {"b", 9007199254740992.0},
        {"c", "x"},
        {"d", Array{1, "x", Value(), 2.5, kBig}},
        {"e", Value()},
        {"f", true},
        {"g", std::numeric_limits<int64_t>::max()},
        {"h", Array{}},
        {"i", -1e300},
        {"j", "O'Brien"},
    };
    return b;
}

struct Fixture {
    std::filesystem::path folder;
    std::shared_ptr<DLPObjectContext> saved;    // rows in the file; fetches run the SQL
    std::shared_ptr<DLPObjectContext> unsaved;  // the same rows pending in an empty file
};

void addRows(DLPObjectContext& context) {
    int index = 0;
    for (const auto& row : kRows) {
        auto made = context.createObject<CustomRecordDefinition>();
        if (!made) fuzzcheck::fail("creating a row", made.status().message());
        (*made)->setName(Value("row" + std::to_string(index++)));
        (*made)->setTypeCode(row.typeCode);
        (*made)->setActive(row.active);
        (*made)->setDefaultValue(row.defaultValue);
        (*made)->setDetails(row.details);
    }
}

const Fixture& fixture() {
    static const Fixture f = [] {
        Fixture made;
        made.folder =
            std::filesystem::temp_directory_path() / ("zandrel-fuzz-qualifier-" + std::to_string(getpid()));
        std::filesystem::remove_all(made.folder);
        std::filesystem::create_directories(made.folder);
        auto savedFile = host::Database::open(made.folder / "saved.zandrel");
        auto emptyFile = host::Database::open(made.folder / "empty.zandrel");
        if (!savedFile || !emptyFile) fuzzcheck::fail("opening the databases", savedFile.status().message());
        auto writer = DLPObjectContext::withoutUser(*savedFile);
        addRows(*writer);
        if (auto status = writer->saveChanges(); !status)
            fuzzcheck::fail("saving the rows", status.message());
        made.saved = DLPObjectContext::withoutUser(*savedFile);
        made.unsaved = DLPObjectContext::withoutUser(*emptyFile);
        addRows(*made.unsaved);
        return made;
    }();
    return f;
}

std::vector<std::string> names(const DLPObjectContext::ObjectList& objects) {
    std::vector<std::string> result;
    for (const auto& object : objects) result.push_back(object->valueForKey("name")->asString());
    std::sort(result.begin(), result.end());
    return result;
}

std::string joined(const std::vector<std::string>& list) {
    std::string text;
    for (const auto& name : list) text += name + " ";
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view qualifier(reinterpret_cast<const char*>(data), size);
    const auto& f = fixture();
    static const host::EntityDescription* entity =
        host::EntityCatalog::shared().find("CustomRecordDefinition");
    const bool compiles = bool(host::Qualifier::compile(*entity, qualifier, bindings()));
    auto typed = host::Qualifier::compile(*entity, qualifier, bindings(), host::PostgresDialect::shared());
    FUZZ_CHECK(bool(typed) == compiles,
               "the dialects disagree on whether it compiles: " + std::string(qualifier));
    if (!compiles) return 0;  // refused with a message: fine
    auto fromSql =
        f.saved->objectsForEntityNamedQualifierLocumBindings("CustomRecordDefinition", qualifier, bindings());
    auto inMemory = f.unsaved->objectsForEntityNamedQualifierLocumBindings("CustomRecordDefinition",
                                                                           qualifier, bindings());
    // A qualifier that compiles must run on both paths.
    FUZZ_CHECK(bool(fromSql), "the compiled SQL failed: " + fromSql.status().message());
    FUZZ_CHECK(bool(inMemory), "the in-memory fetch failed: " + inMemory.status().message());
    auto sqlNames = names(*fromSql);
    auto memoryNames = names(*inMemory);
    FUZZ_CHECK(sqlNames == memoryNames, "qualifier: " + std::string(qualifier) + "\nSQL picks: " +
                                            joined(sqlNames) + "\nin memory: " + joined(memoryNames));
    return 0;
}
