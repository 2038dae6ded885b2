#pragma once

// Schema: what a host database holds, whichever store keeps it, and the one check of whether a
// database is ours and at a version this program reads. The stores write it in their own SQL
// (SqliteSchema for a file, PostgresStore for a server) from this description.
//
// A database of ours has:
//   - one table per entity (EntityCatalog), named after it, with the key column "pk" (keys are
//     never handed out twice, even after a delete) and one column per attribute; an ordered
//     relation's owner key references the owner (checked at commit, so a save may write members
//     before owners) and deletes with it;
//   - the indexes of indexes(): the owner key and position of an ordered relation's members,
//     then the ones the entity declares;
//   - zandrel_user_default: settings, one row per user and key;
//   - zandrel_meta (name, value): the rows "application" (kProgramName) and "schema_version"
//     (a whole number, kVersion when made).
// Tables and indexes of entities added later are created when the database is next written;
// they change no version, since a program that does not know them reads the database alike.
//
// Adding an entity: describe it in the EntityCatalog; both stores make its table and indexes
// from that description. Changing what an existing table holds needs a new kVersion and a
// migration in both stores.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/database/store/StoredValue.h"
#include "platform/foundation/Status.h"

namespace host {

struct EntityDescription;

class Schema {
public:
    static constexpr int kVersion = 1;
    static constexpr int32_t kApplicationId = 0x5A4E444C;  // "ZNDL", SQLite's file header
    static constexpr const char* kProgramName = "zandrel-host";
    static constexpr const char* kMetaTable = "zandrel_meta";
    static constexpr const char* kUserDefaultTable = "zandrel_user_default";
    static constexpr const char* kApplicationRecord = "application";
    static constexpr const char* kVersionRecord = "schema_version";

    struct Index {
        std::string name;
        std::vector<std::string> columns;
    };
    static std::vector<Index> indexes(const EntityDescription& entity);

    // What a database's zandrel_meta holds (nullopt: no such row).
    struct Records {
        std::optional<std::string> application;
        std::optional<StoredValue> version;
    };
    // Where a database is, as messages name it.
    struct Place {
        std::string name;     // a file's path, or "the PostgreSQL database …"
        std::string another;  // what the person may choose instead: "file", "database or schema"
    };
    // The schema version of a database of ours, or why it is refused, with what to do.
    static platform::Result<int64_t> checkRecords(const Place& database, const Records& records);

    // Refusals the stores share.
    static platform::Status notOurs(const Place& database, const std::string& why);
    static platform::Status damaged(const Place& database, const std::string& why);
};

}  // namespace host
