#include "host/database/sqlite/SqliteSchema.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <optional>

#include "host/database/model/EntityCatalog.h"
#include "host/database/sqlite/Database.h"
#include "host/database/sqlite/Transaction.h"
#include "host/database/store/SqlText.h"

namespace host {

namespace {

constexpr const char* kUserDefaultTable = Schema::kUserDefaultTable;

Schema::Place placeOf(const Database& db) {
    return {db.path().string(), "file"};
}

// The first column of the first row; a failure keeps SQLite's code in the connection.
platform::Result<std::optional<StoredValue>> firstValue(Database& db, const std::string& sql) {
    auto statement = db.prepare(sql);
    if (!statement) return statement.status();
    if (!statement->step()) {
        if (!statement->lastStatus()) return statement->lastStatus();
        return std::optional<StoredValue>();
    }
    return std::optional<StoredValue>(statement->columnStored(0));
}

platform::Result<int64_t> singleInteger(Database& db, const std::string& sql) {
    auto value = firstValue(db, sql);
    if (!value) return value.status();
    return *value && (*value)->kind == StoredValue::Kind::Integer ? (*value)->integer : int64_t{0};
}

std::string userDefaultTableSql(const std::string& schemaName) {
    return fmt::format(
        "CREATE TABLE IF NOT EXISTS {}.{} ("
        " pk INTEGER PRIMARY KEY AUTOINCREMENT, user_pk INTEGER NOT NULL, key TEXT NOT NULL, value TEXT,"
        " UNIQUE (user_pk, key))",
        SqlText::quotedIdentifier(schemaName), kUserDefaultTable);
}

platform::Status createTables(Database& db) {
    for (const auto& entity : EntityCatalog::shared().entities())
        if (auto status = db.exec(SqliteSchema::createTableSql(entity)); !status)
            return status.withContext(entity.name);
    return db.exec(userDefaultTableSql("main"));
}

// A read-only connection cannot add the tables of entities the file predates; empty ones of
// its own let every fetch work the same way.
platform::Status createMissingTablesForThisConnection(Database& db) {
    auto exists = [&](const std::string& table) -> platform::Result<bool> {
        auto statement =
            db.prepare("SELECT count(*) FROM main.sqlite_schema WHERE type = 'table' AND name = ?");
        if (!statement) return statement.status();
        statement->bindText(1, table);
        if (!statement->step()) return statement->lastStatus();
        return statement->columnInteger(0) > 0;
    };
    for (const auto& entity : EntityCatalog::shared().entities()) {
        auto found = exists(entity.name);
        if (!found) return found.status();
        if (!*found)
            if (auto status = db.exec(SqliteSchema::createTableSql(entity, "temp")); !status)
                return status.withContext(entity.name);
    }
    auto found = exists(kUserDefaultTable);
    if (!found) return found.status();
    return *found ? platform::Status::ok() : db.exec(userDefaultTableSql("temp"));
}

struct Header {
    int64_t applicationId = 0;
    int64_t tables = 0;
    bool empty() const { return applicationId == 0 && tables == 0; }
};

// Reads what decides whether the file is ours. Failures say why the file cannot be read:
// busy, damaged, not a database or unreadable.
platform::Result<Header> readHeader(Database& db) {
    const std::string file = db.path().string();
    Header header;
    auto applicationId = singleInteger(db, "PRAGMA application_id");
    auto tables = applicationId ? singleInteger(db, "SELECT count(*) FROM sqlite_schema") : applicationId;
    if (applicationId && tables) {
        header.applicationId = *applicationId;
        header.tables = *tables;
        return header;
    }
    const std::string& message = (applicationId ? tables : applicationId).status().message();
    switch (db.lastErrorCode() & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return platform::Status::error(
                fmt::format("{} is busy: another program keeps it locked ({}); wait until that "
                            "program is done with it (or close it) and try again",
                            file, message));
        case SQLITE_NOTADB:
            return platform::Status::error(
                fmt::format("{} is not a {} database (it is not an SQLite database at all); "
                            "choose another file",
                            file, Schema::kProgramName));
        case SQLITE_READONLY:
            if (db.lastErrorCode() == SQLITE_READONLY_ROLLBACK)
                return platform::Status::error(fmt::format(
                    "{} holds a save that a program left unfinished when it stopped; open it once with a "
                    "command that "
                    "writes (such as the host itself) so the unfinished save is undone, then try again",
                    file));
            return platform::Status::error(fmt::format("cannot read {}: {}", file, message));
        case SQLITE_CORRUPT:
            return platform::Status::error(fmt::format(
                "{} is damaged ({}); restore it from a backup or choose another file", file, message));
        default:
            return platform::Status::error(fmt::format("cannot read {}: {}", file, message));
    }
}

// Gives an empty file the schema. Another program may have done so since the header was read;
// the check is made again under the write lock, and then nothing is written (false).
platform::Result<bool> createSchema(Database& db) {
    auto transaction = Transaction::begin(db);
    if (!transaction) return transaction.status();
    auto header = readHeader(db);
    if (!header) return header.status();
    if (!header->empty()) return false;
    std::string pragmas = fmt::format("PRAGMA application_id = {}; PRAGMA user_version = {};",
                                      Schema::kApplicationId, Schema::kVersion);
    if (auto status = db.exec(pragmas); !status) return status;
    if (auto status =
            db.exec(fmt::format("CREATE TABLE {} (name TEXT PRIMARY KEY, value)", Schema::kMetaTable));
        !status)
        return status;
    auto insert = db.prepare(fmt::format("INSERT INTO {} (name, value) VALUES (?, ?)", Schema::kMetaTable));
    if (!insert) return insert.status();
    insert->bindText(1, Schema::kApplicationRecord);
    insert->bindText(2, Schema::kProgramName);
    if (auto status = insert->run(); !status) return status;
    insert->bindText(1, Schema::kVersionRecord);
    insert->bindInteger(2, Schema::kVersion);
    if (auto status = insert->run(); !status) return status;
    if (auto status = createTables(db); !status) return status;
    if (auto status = transaction->commit(); !status) return status;
    return true;
}

// Both version records, which must agree. Returns the version or why the file is refused.
platform::Result<int64_t> readVersion(Database& db) {
    const Schema::Place place = placeOf(db);
    auto header = singleInteger(db, "PRAGMA user_version");
    if (!header) return header.status();
    auto meta = db.prepare(fmt::format("SELECT name, value FROM {}", Schema::kMetaTable));
    if (!meta)
        return Schema::notOurs(place, fmt::format("its {} table is missing or damaged: {}",
                                                  Schema::kMetaTable, meta.status().message()));
    Schema::Records records;
    while (meta->step()) {
        const StoredValue name = meta->columnStored(0), value = meta->columnStored(1);
        if (name.kind != StoredValue::Kind::Text) continue;
        if (name.bytes == Schema::kApplicationRecord && value.kind == StoredValue::Kind::Text)
            records.application = value.bytes;
        if (name.bytes == Schema::kVersionRecord) records.version = value;
    }
    if (!meta->lastStatus()) return meta->lastStatus();
    if (records.version && records.version->kind == StoredValue::Kind::Integer &&
        records.version->integer != *header)
        return Schema::damaged(
            place, fmt::format("its schema version is {} in {} but {} in the file header; another tool "
                               "changed one of them",
                               records.version->integer, Schema::kMetaTable, *header));
    return Schema::checkRecords(place, records);
}

}  // namespace

std::string SqliteSchema::createTableSql(const EntityDescription& entity, const std::string& schemaName) {
    const bool temporary = schemaName == "temp";
    auto q = [](std::string_view name) { return SqlText::quotedIdentifier(name); };
    std::string sql = fmt::format("CREATE TABLE IF NOT EXISTS {}.{} (pk INTEGER PRIMARY KEY AUTOINCREMENT",
                                  q(schemaName), q(entity.name));
    for (size_t slot = 0; slot < entity.attributes.size(); ++slot) {
        sql += ", " + q(entity.attributes[slot].name);
        if (entity.owner && slot == entity.ownerKeySlot && !temporary)
            sql += fmt::format(" REFERENCES {}(pk) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED",
                               q(entity.owner->name));
    }
    sql += ");";
    for (const auto& index : Schema::indexes(entity)) {
        std::string columns;
        for (const auto& column : index.columns) columns += (columns.empty() ? "" : ", ") + q(column);
        sql += fmt::format("CREATE INDEX IF NOT EXISTS {}.{} ON {}({});", q(schemaName), q(index.name),
                           q(entity.name), columns);
    }
    return sql;
}

platform::Status SqliteSchema::prepare(Database& db) {
    const std::string file = db.path().string();
    // Connection setting; must be made outside a transaction.
    if (auto status = db.exec("PRAGMA foreign_keys = ON"); !status) return status;
    auto header = readHeader(db);
    if (!header) return header.status();

    if (header->empty()) {
        if (db.isReadOnly())
            return platform::Status::error(fmt::format(
                "{} holds no {} database (it is empty); choose another file or create the database first",
                file, Schema::kProgramName));
        auto created = createSchema(db);
        if (!created) return created.status().withContext("creating " + file);
        if (*created) return platform::Status::ok();
        header = readHeader(db);  // another program made it meanwhile: check what it made
        if (!header) return header.status();
    }
    if (header->applicationId != Schema::kApplicationId)
        return Schema::notOurs(placeOf(db), "it holds another program's tables");
    if (auto version = readVersion(db); !version) return version.status();
    // Entities added since the file was made get their (empty) tables.
    if (db.isReadOnly()) return createMissingTablesForThisConnection(db).withContext("opening " + file);
    return createTables(db).withContext("opening " + file);
}

}  // namespace host
