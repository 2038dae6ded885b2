#include "host/database/Schema.h"

#include "host/database/Database.h"
#include "host/database/EntityCatalog.h"
#include "host/database/Transaction.h"

#include <fmt/format.h>

namespace host {

namespace {

platform::Result<int64_t> singleInteger(Database& db, const std::string& sql) {
    auto statement = db.prepare(sql);
    if (!statement) return statement.status();
    if (!statement->step()) {
        if (!statement->lastStatus()) return statement->lastStatus();
        return int64_t{0};
    }
    return statement->columnInteger(0);
}

platform::Status createTables(Database& db) {
    for (const auto& entity : EntityCatalog::shared().entities())
        if (auto status = db.exec(Schema::createTableSql(entity)); !status) return status.withContext(entity.name);
    return db.exec(
        "CREATE TABLE IF NOT EXISTS zandrel_user_default ("
        " pk INTEGER PRIMARY KEY AUTOINCREMENT, user_pk INTEGER NOT NULL, key TEXT NOT NULL, value TEXT,"
        " UNIQUE (user_pk, key))");
}

platform::Status createSchema(Database& db) {
    auto transaction = Transaction::begin(db);
    if (!transaction) return transaction.status();
    std::string header = fmt::format("PRAGMA application_id = {}; PRAGMA user_version = {};", Schema::kApplicationId,
                                     Schema::kVersion);
    if (auto status = db.exec(header); !status) return status;
    if (auto status = db.exec("CREATE TABLE zandrel_meta (name TEXT PRIMARY KEY, value)"); !status) return status;
    auto insert = db.prepare("INSERT INTO zandrel_meta (name, value) VALUES (?, ?)");
    if (!insert) return insert.status();
    insert->bindText(1, "application");
    insert->bindText(2, Schema::kProgramName);
    if (auto status = insert->run(); !status) return status;
    insert->bindText(1, "schema_version");
    insert->bindInteger(2, Schema::kVersion);
    if (auto status = insert->run(); !status) return status;
    if (auto status = createTables(db); !status) return status;
    return transaction->commit();
}

}  // namespace

std::string Schema::createTableSql(const EntityDescription& entity) {
    std::string sql = fmt::format("CREATE TABLE IF NOT EXISTS \"{}\" (pk INTEGER PRIMARY KEY AUTOINCREMENT", entity.name);
    for (size_t slot = 0; slot < entity.attributes.size(); ++slot) {
        sql += fmt::format(", \"{}\"", entity.attributes[slot].name);
        if (entity.owner && slot == entity.ownerKeySlot)
            sql += fmt::format(" REFERENCES \"{}\"(pk) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED", entity.owner->name);
    }
    sql += ");";
    if (entity.owner)
        sql += fmt::format("CREATE INDEX IF NOT EXISTS \"{0}_{1}\" ON \"{0}\"(\"{1}\", \"{2}\");", entity.name,
                           entity.attributes[entity.ownerKeySlot].name, entity.attributes[entity.positionSlot].name);
    return sql;
}

platform::Status Schema::prepare(Database& db) {
    const std::string file = db.path().string();
    auto notOurs = [&](const std::string& why) {
        return platform::Status::error(
            fmt::format("{} is not a {} database ({}); choose another file", file, kProgramName, why));
    };

    // Connection setting; must be made outside a transaction.
    if (auto status = db.exec("PRAGMA foreign_keys = ON"); !status) return status;
    auto applicationId = singleInteger(db, "PRAGMA application_id");
    if (!applicationId) return notOurs(applicationId.status().message());
    auto tables = singleInteger(db, "SELECT count(*) FROM sqlite_schema");
    if (!tables) return notOurs(tables.status().message());

    if (*applicationId == 0 && *tables == 0) return createSchema(db).withContext("creating " + file);
    if (*applicationId != kApplicationId) return notOurs("it holds another program's tables");

    auto version = singleInteger(db, "SELECT value FROM zandrel_meta WHERE name = 'schema_version'");
    if (!version) return notOurs("its zandrel_meta table is missing or damaged");
    if (*version > kVersion)
        return platform::Status::error(fmt::format(
            "{} was written by a newer version of {} (schema {}, this program reads up to {}): upgrade the program",
            file, kProgramName, *version, kVersion));
    if (*version < 1) return notOurs(fmt::format("its schema version {} is not valid", *version));
    // Entities added since the file was made get their (empty) tables.
    return createTables(db).withContext("opening " + file);
}

}  // namespace host
