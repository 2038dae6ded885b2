#pragma once

// SqliteSchema: a host database (Schema) in an SQLite file, and the checks made when a file is
// opened.
//
// A file is ours when its SQLite header carries our application id (PRAGMA application_id)
// and it has the zandrel_meta table. Its schema version is kept twice, in PRAGMA user_version
// and as a whole number in zandrel_meta ("schema_version"); both must be present and agree.
// Opening:
//   - a missing or empty file (no tables, no application id) gets the current schema when
//     opened for writing, and is refused when opened read-only;
//   - our file at the current version is used as it is (tables of entities added since it was
//     made are created; a read-only connection gets empty ones of its own instead);
//   - our file at a newer version is refused: this program would not understand it;
//   - our file whose two version records disagree, or hold something other than a whole
//     number, is refused as damaged: another tool changed it;
//   - anything else (another program's SQLite file, or not SQLite at all) is refused;
//   - a file another program keeps locked is reported as busy, an unreadable one as
//     unreadable; in every refused case the file is left untouched.
//
// Tables: the key column "pk" is INTEGER PRIMARY KEY AUTOINCREMENT (so deleted keys are never
// handed out again); attribute columns are declared without a type, so values keep the storage
// class they were written with. Tables and indexes a file lacks are added whenever it is opened
// for writing.

#include <cstdint>
#include <string>

#include "host/database/store/Schema.h"
#include "platform/foundation/Status.h"

namespace host {

class Database;
struct EntityDescription;

class SqliteSchema {
public:
    // Checks the file behind a fresh connection and, unless the connection is read-only,
    // creates or completes its schema.
    static platform::Status prepare(Database& db);

    // `schemaName` "temp" makes a table for this connection only, without the owner reference
    // (which may not cross into the file's schema).
    static std::string createTableSql(const EntityDescription& entity,
                                      const std::string& schemaName = "main");
};

}  // namespace host
