#include "host/database/Schema.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <optional>

#include "host/database/Database.h"
#include "host/database/EntityCatalog.h"
#include "host/database/SqlText.h"
#include "host/database/Transaction.h"

namespace host {

namespace {

constexpr const char* kUserDefaultTable = "zandrel_user_default";

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
        if (auto status = db.exec(Schema::createTableSql(entity)); !status)
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
            if (auto status = db.exec(Schema::createTableSql(entity, "temp")); !status)
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
    if (auto status = db.exec("CREATE TABLE zandrel_meta (name TEXT PRIMARY KEY, value)"); !status)
        return status;
    auto insert = db.prepare("INSERT INTO zandrel_meta (name, value) VALUES (?, ?)");
    if (!insert) return insert.status();
    insert->bindText(1, "application");
    insert->bindText(2, Schema::kProgramName);
    if (auto status = insert->run(); !status) return status;
    insert->bindText(1, "schema_version");
    insert->bindInteger(2, Schema::kVersion);
    if (auto status = insert->run(); !status) return status;
    if (auto status = createTables(db); !status) return status;
    if (auto status = transaction->commit(); !status) return status;
    return true;
}

// Both version records, which must agree. Returns the version or why the file is refused.
platform::Result<int64_t> readVersion(Database& db) {
    const std::string file = db.path().string();
    auto damaged = [&](const std::string& why) {
        return platform::Status::error(
            fmt::format("{} is a damaged {} database ({}); restore it from a backup or choose another file",
                        file, Schema::kProgramName, why));
    };
    auto header = singleInteger(db, "PRAGMA user_version");
    if (!header) return header.status();
    auto recorded = firstValue(db, "SELECT value FROM zandrel_meta WHERE name = 'schema_version'");
    if (!recorded)
        return platform::Status::error(
            fmt::format("{} is not a {} database (its zandrel_meta table is missing or "
                        "damaged: {}); choose another file",
                        file, Schema::kProgramName, recorded.status().message()));
    if (!*recorded) return damaged("zandrel_meta records no schema_version");
    const StoredValue& value = **recorded;
    if (value.kind != StoredValue::Kind::Integer) {
        std::string shown = value.kind == StoredValue::Kind::Real   ? fmt::format("{}", value.real)
                            : value.kind == StoredValue::Kind::Null ? std::string("NULL")
                                                                    : "\"" + value.bytes + "\"";
        return damaged(fmt::format("its schema_version {} is not a whole number", shown));
    }
    if (value.integer != *header)
        return damaged(
            fmt::format("its schema version is {} in zandrel_meta but {} in the file header; another tool "
                        "changed one of them",
                        value.integer, *header));
    if (value.integer < 1) return damaged(fmt::format("its schema version {} is not valid", value.integer));
    return value.integer;
}

}  // namespace

std::string Schema::createTableSql(const EntityDescription& entity, const std::string& schemaName) {
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
    if (entity.owner) {
        const std::string& ownerKey = entity.attributes[entity.ownerKeySlot].name;
        sql += fmt::format("CREATE INDEX IF NOT EXISTS {}.{} ON {}({}, {});", q(schemaName),
                           q(entity.name + "_" + ownerKey), q(entity.name), q(ownerKey),
                           q(entity.attributes[entity.positionSlot].name));
    }
    for (const auto& index : entity.indexes) {
        std::string name = entity.name, columns;
        for (const auto& attribute : index) {
            name += "_" + attribute;
            columns += (columns.empty() ? "" : ", ") + q(attribute);
        }
        sql += fmt::format("CREATE INDEX IF NOT EXISTS {}.{} ON {}({});", q(schemaName), q(name),
                           q(entity.name), columns);
    }
    return sql;
}

platform::Status Schema::prepare(Database& db) {
    const std::string file = db.path().string();
    // Connection setting; must be made outside a transaction.
    if (auto status = db.exec("PRAGMA foreign_keys = ON"); !status) return status;
    auto header = readHeader(db);
    if (!header) return header.status();

    if (header->empty()) {
        if (db.isReadOnly())
            return platform::Status::error(fmt::format(
                "{} holds no {} database (it is empty); choose another file or create the database first",
                file, kProgramName));
        auto created = createSchema(db);
        if (!created) return created.status().withContext("creating " + file);
        if (*created) return platform::Status::ok();
        header = readHeader(db);  // another program made it meanwhile: check what it made
        if (!header) return header.status();
    }
    if (header->applicationId != kApplicationId)
        return platform::Status::error(
            fmt::format("{} is not a {} database (it holds another program's tables); choose another file",
                        file, kProgramName));

    auto version = readVersion(db);
    if (!version) return version.status();
    if (*version > kVersion)
        return platform::Status::error(
            fmt::format("{} was written by a newer version of {} (schema {}, this program reads up to {}): "
                        "upgrade the program",
                        file, kProgramName, *version, kVersion));
    // Entities added since the file was made get their (empty) tables.
    if (db.isReadOnly()) return createMissingTablesForThisConnection(db).withContext("opening " + file);
    return createTables(db).withContext("opening " + file);
}

}  // namespace host
