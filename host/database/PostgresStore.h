#pragma once

// PostgresStore: a host database in a PostgreSQL database (or schema), reached through libpq
// with any connection URI ("postgresql://USER@HOST:PORT/DBNAME"). Many hosts on many machines
// may use one database at once; the server keeps them apart.
//
// Schema: the tables of the entities live in the connection's current schema (the first of its
// search_path), with the same names, keys and indexes as in a SQLite file, typed by attribute:
// text (collation "C": compared bytewise, as SQLite does), bigint (booleans as 0 and 1, as in
// SQLite), double precision, and bytea for attributes of any type (a kind byte, then the value). Each table
// draws its keys from a sequence of its own ("<Entity>_pk_seq"), so hosts inserting at once never collide and
// no key is handed out twice, committed or not. zandrel_meta records the program and the schema
// version. Opening, as for a file:
//   - an empty schema gets the tables (when writing; refused read-only);
//   - ours at the current version is used, tables and indexes added since are created (when
//     writing; read-only, an entity without a table reads as empty);
//   - ours at a newer version is refused; a version record that is missing or not a whole
//     number is refused as damaged; a schema holding other tables (another program's) is refused.
// Several hosts opening an empty database at once create the tables once: creation waits for
// an advisory lock and looks again.
//
// Values: qualifier parameters and record values are always bound. Qualifiers are written for
// the columns' types (PostgresDialect compares like types only), so they decide as in memory
// and in SQLite: a text against a bigint column is ordered by kind, not refused.
//
// Saving: one transaction (READ COMMITTED), each record a prepared statement, so a failing one
// is reported as it happens, naming the record. Any failure rolls the transaction back; a save that conflicts
// with another host's (a row locked longer than the busy timeout) fails as busy.
//
// Broken connections: a statement on a lost connection fails, saying so; the store does not
// reconnect by itself (the host reports the failure and the changes stay pending).

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/database/PgConnection.h"
#include "host/database/Store.h"
#include "host/database/StoreFactory.h"

namespace host {

class PostgresStore final : public Store {
public:
    static platform::Result<std::shared_ptr<PostgresStore>> open(const std::string& uri,
                                                                 const StoreFactory::Options& options = {});

    std::string displayName() const override;
    bool isReadOnly() const override { return m_readOnly; }
    const SqlDialect& dialect() const override;

    platform::Status fetch(const EntityDescription& entity, const Qualifier& qualifier,
                           const RowVisitor& visit) override;
    platform::Status fetchKeys(const EntityDescription& entity, const Qualifier& qualifier,
                               const KeyVisitor& visit) override;
    platform::Result<int64_t> count(const EntityDescription& entity, const Qualifier& qualifier) override;
    platform::Result<bool> fetchByKey(const EntityDescription& entity, int64_t key,
                                      const RowVisitor& visit) override;
    platform::Status fetchMembers(const EntityDescription& owner, size_t relation, int64_t ownerKey,
                                  const RowVisitor& visit) override;

    platform::Status beginSave() override;
    platform::Result<std::vector<int64_t>> allocateKeys(const EntityDescription& entity,
                                                        size_t count) override;
    platform::Status insertRecord(const EntityDescription& entity, int64_t key,
                                  const std::vector<platform::Value>& values) override;
    platform::Status updateRecord(const EntityDescription& entity, int64_t key,
                                  const std::vector<platform::Value>& values) override;
    platform::Status deleteRecord(const EntityDescription& entity, int64_t key) override;
    platform::Status commitSave() override;
    void abandonSave() override;

    platform::Result<std::optional<std::string>> setting(int64_t owner, std::string_view key) override;
    platform::Status setSetting(int64_t owner, std::string_view key,
                                const std::optional<std::string>& json) override;

    // The DDL that creates the tables of every entity, their sequences and indexes, and the
    // settings table (each statement safe to run again).
    static std::string createTablesSql();
    // The sequence that hands out the entity's keys.
    static std::string sequenceName(const EntityDescription& entity);

private:
    PostgresStore(std::unique_ptr<PgConnection> connection, bool readOnly);
    platform::Status prepareSchema();
    platform::Status createOrComplete(bool empty);
    // Runs the statement, prepared once per connection for texts seen before.
    platform::Result<PgResult> run(const std::string& sql, PgParams& params);
    platform::Status read(const EntityDescription& entity, const PgResult& result, const RowVisitor& visit);
    platform::Status writable(std::string_view doing) const;
    bool hasTable(const EntityDescription& entity) const;

    std::unique_ptr<PgConnection> m_connection;
    bool m_readOnly;
    bool m_inSave = false;
    std::vector<bool> m_missingTables;  // read-only: entities whose table the database lacks
    std::unordered_map<std::string, std::string> m_statementNames;
};

}  // namespace host
