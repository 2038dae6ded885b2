#pragma once

// SqliteStore: the host database in one SQLite file (see Schema.h for the file and its checks,
// Database.h for the connection). Each entity's statements (fetch by key, members, insert,
// update, delete) are prepared the first time they are needed and kept for the connection's
// life; fetches and counts with a qualifier are kept by their SQL text (Database::cached).
//
// Saves take the file's write lock first (BEGIN IMMEDIATE), so the keys allocateKeys reads
// stay free until the commit whichever other programs write to the file: one past the highest
// key the table ever had (AUTOINCREMENT's record, or a higher key another tool wrote), so
// deleted keys are not reused. A file another program keeps locked longer than the busy timeout
// fails the save as busy.
//
// Inserts of a save are gathered and written many rows to a statement (SQLite's cost is mostly
// per statement), before any other statement and at the commit; a failure there names the
// record at fault (the rows are tried one by one then), and once a write of the save failed its
// commit fails too and rolls back.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/database/sqlite/Database.h"
#include "host/database/sqlite/Transaction.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"

namespace host {

class SqliteStore final : public Store {
public:
    // Opens the file (Database::open: checks, and creates or completes the schema unless
    // read-only).
    static platform::Result<std::shared_ptr<SqliteStore>> open(const std::filesystem::path& file,
                                                               const StoreFactory::Options& options = {});
    // A store on a connection that is already open (and checked).
    explicit SqliteStore(std::shared_ptr<Database> database);
    ~SqliteStore() override;

    // The connection, for maintenance and tests that need SQLite itself.
    Database& database() { return *m_database; }
    const std::shared_ptr<Database>& sharedDatabase() const { return m_database; }

    std::string displayName() const override;
    bool isReadOnly() const override;
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
    platform::Status lockForSave(std::string_view name) override;
    platform::Status commitSave() override;
    void abandonSave() override;

    platform::Result<std::optional<std::string>> setting(int64_t owner, std::string_view key) override;
    platform::Status setSetting(int64_t owner, std::string_view key,
                                const std::optional<std::string>& json) override;
    platform::Result<bool> compareAndSetSetting(int64_t owner, std::string_view key,
                                                const std::optional<std::string>& expected,
                                                const std::optional<std::string>& json) override;

private:
    struct EntityStatements;
    EntityStatements& statementsFor(const EntityDescription& entity);
    // The entity's statement in `slot`, prepared from `sql()` on first use.
    template <typename MakeSql>
    platform::Result<Statement*> prepared(std::unique_ptr<Statement>& slot, MakeSql&& sql);
    platform::Status visitRows(Statement& statement, const RowVisitor& visit);
    platform::Status writeRecord(Statement& statement, const EntityDescription& entity, int firstValue,
                                 const std::vector<platform::Value>& values);
    // Writes the gathered inserts; every other statement of a save runs after it.
    platform::Status flushInserts();
    platform::Status insertPendingRows(size_t first, size_t rows);
    void bindPendingRow(Statement& statement, int firstParameter, size_t row) const;
    std::string describePendingRow(size_t row) const;
    void clearPending();

    // A value as it is bound: texts and blobs point into PendingInserts::bytes.
    struct PendingValue {
        StoredValue::Kind kind = StoredValue::Kind::Null;
        int64_t integer = 0;
        double real = 0;
        size_t offset = 0, size = 0;
    };
    // Inserts gathered for one entity, row after row (the key, then the attributes).
    struct PendingInserts {
        const EntityDescription* entity = nullptr;
        size_t rows = 0;
        int64_t highestKey = 0;
        std::vector<PendingValue> values;
        std::string bytes;
    };

    std::shared_ptr<Database> m_database;
    std::vector<std::unique_ptr<EntityStatements>> m_entities;  // by entity index
    std::optional<Transaction> m_save;
    // Per entity index: the highest key handed out in the open save.
    std::unordered_map<size_t, int64_t> m_reservedKeys;
    PendingInserts m_pending;
    size_t m_batchRows = 0;  // rows of one batch statement, for m_pending.entity
    // The first write of the open save that failed: its commit fails with it.
    platform::Status m_saveFailure;
};

}  // namespace host
