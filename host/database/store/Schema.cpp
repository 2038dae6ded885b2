#include "host/database/store/Schema.h"

#include <fmt/format.h>

#include <charconv>

#include "host/database/model/EntityDescription.h"

namespace host {

std::vector<Schema::Index> Schema::indexes(const EntityDescription& entity) {
    std::vector<Index> indexes;
    if (entity.owner) {
        const std::string& ownerKey = entity.attributes[entity.ownerKeySlot].name;
        indexes.push_back(
            {entity.name + "_" + ownerKey, {ownerKey, entity.attributes[entity.positionSlot].name}});
    }
    for (const auto& declared : entity.indexes) {
        Index index{entity.name, {}};
        for (const auto& attribute : declared) {
            index.name += "_" + attribute;
            index.columns.push_back(attribute);
        }
        indexes.push_back(std::move(index));
    }
    return indexes;
}

platform::Status Schema::notOurs(const Place& database, const std::string& why) {
    return platform::Status::error(fmt::format("{} is not a {} database ({}); choose another {}",
                                               database.name, kProgramName, why, database.another));
}

platform::Status Schema::damaged(const Place& database, const std::string& why) {
    return platform::Status::error(
        fmt::format("{} is a damaged {} database ({}); restore it from a backup or choose another {}",
                    database.name, kProgramName, why, database.another));
}

platform::Result<int64_t> Schema::checkRecords(const Place& database, const Records& records) {
    if (records.application != kProgramName)
        return notOurs(database,
                       fmt::format("its {} names {}", kMetaTable,
                                   records.application ? "\"" + *records.application + "\"" : "no program"));
    if (!records.version)
        return damaged(database, fmt::format("{} records no {}", kMetaTable, kVersionRecord));
    // A whole number, kept as one (SQLite) or as its digits (a server's text column).
    const StoredValue& value = *records.version;
    std::optional<int64_t> number;
    if (value.kind == StoredValue::Kind::Integer) {
        number = value.integer;
    } else if (value.kind == StoredValue::Kind::Text && !value.bytes.empty()) {
        int64_t parsed = 0;
        const char* end = value.bytes.data() + value.bytes.size();
        auto [stop, error] = std::from_chars(value.bytes.data(), end, parsed);
        if (error == std::errc() && stop == end) number = parsed;
    }
    if (!number) {
        const std::string shown = value.kind == StoredValue::Kind::Real   ? fmt::format("{}", value.real)
                                  : value.kind == StoredValue::Kind::Null ? std::string("NULL")
                                                                          : "\"" + value.bytes + "\"";
        return damaged(database, fmt::format("its {} {} is not a whole number", kVersionRecord, shown));
    }
    if (*number < 1) return damaged(database, fmt::format("its schema version {} is not valid", *number));
    if (*number > kVersion)
        return platform::Status::error(
            fmt::format("{} was written by a newer version of {} (schema {}, this program reads up to {}): "
                        "upgrade the program",
                        database.name, kProgramName, *number, kVersion));
    return *number;
}

}  // namespace host
