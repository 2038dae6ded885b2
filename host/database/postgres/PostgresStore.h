#pragma once

// PostgresStore: a host database in a PostgreSQL database (or schema), reached through libpq
// with any connection URI ("postgresql://USER@HOST:PORT/DBNAME"). Many hosts on many machines
// may use one database at once; the server keeps them apart.
//
// Schema: the tables of the entities live in the connection's current schema (the first of its
// search_path, which a URI may set: options=-csearch_path%3Dteam), with the same names, keys and
// indexes as in a SQLite file, typed by attribute: text (collation "C": compared bytewise, as
// SQLite does), bigint (booleans as 0 and 1, as in SQLite), double precision, and bytea for
// attributes of any type (a kind byte, then the value). Each table draws its keys from a
// sequence of its own ("<Entity>_pk_seq"), so hosts inserting at once never collide and no key
// is handed out twice, committed or not. zandrel_meta records the program and the schema
// version. Opening:
//   - an empty schema gets the tables only with Options::createSchema (and when writing);
//     without it it is refused, saying how to create the database (--init-demo);
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
// Saving: one transaction (READ COMMITTED). Consecutive inserts into one entity are kept and
// sent together as multi-row INSERTs (up to 1000 rows each) when the save does anything else or
// commits, so a save of many records costs a few round trips; a failing batch is reported with
// the entity and the range of keys it held (the server's detail names the key of a duplicate).
// Other records are one prepared statement each. Any failure rolls the transaction back; a save
// that conflicts with another host's (a row locked longer than the busy timeout) fails as busy
// (Code::Unavailable).
//
// The connection: opened by open() (which checks the schema), closed after Options::idleRelease
// without use (a timer on the main run loop, never in a save) and opened again at the next
// operation, so idle hosts hold no server connection. A host that had to wait for a connection
// slot (the server full) gives its connection back as soon as each operation ends, for
// kCrowdedWindow after the wait: hosts then share the slots operation by operation instead of
// holding them idle, so many more hosts than max_connections keep working. Every new connection gets the
// session settings again (lock_timeout, statement_timeout, read-only) and prepares its statements anew; it
// uses the URI as given, so a multi-host URI with target_session_attrs=read-write finds the new primary after
// a fail-over. Statements wait for their reply at most Options::responseTimeout; after Options::slowNotice
// the waitingNotice is told once.
//
// Broken connections: a connection found broken is dropped and opened again at the next
// operation, with Options::connectAttempts tries and a doubling delay between them. A read (or a
// setting written outside a save) whose connection broke is run once more on a fresh connection.
// Inside a save a broken connection fails the save with Code::Unavailable (nothing written);
// the next beginSave() connects again. A COMMIT cut off (the connection broke or no reply came
// in time) is not guessed at: the save learnt its transaction id at beginSave(), and the store
// reconnects and asks the server (txid_status): committed is a successful save; aborted, or an id
// the server has not reached (a standby promoted without it), is Code::Unavailable "not
// committed"; still in progress is asked again for a moment. When no server answers, the
// commit fails with Code::Unknown and the id is kept: lastSaveOutcome() asks again, and
// beginSave() asks first and refuses with Code::Unknown while it cannot tell, so a save is
// never stored twice.
//
// Failures caused by the server's state (no connection slot left, a read-only standby,
// starting up, shutting down, no server at the address, no answer in time) have
// Code::Unavailable and messages of their own saying what to check (PgConnection).

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/database/postgres/PgConnection.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"

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
    platform::Status lockForSave(std::string_view name) override;
    platform::Status commitSave() override;
    void abandonSave() override;

    platform::Result<std::optional<std::string>> setting(int64_t owner, std::string_view key) override;
    platform::Status setSetting(int64_t owner, std::string_view key,
                                const std::optional<std::string>& json) override;
    platform::Result<bool> compareAndSetSetting(int64_t owner, std::string_view key,
                                                const std::optional<std::string>& expected,
                                                const std::optional<std::string>& json) override;

    // The DDL that creates the tables of every entity, their sequences and indexes, and the
    // settings table (each statement safe to run again).
    static std::string createTablesSql();
    // The sequence that hands out the entity's keys.
    static std::string sequenceName(const EntityDescription& entity);

    ~PostgresStore() override;
    platform::Result<bool> lastSaveOutcome() override;

    // Whether the store holds a server connection now (it drops it when idle).
    bool isConnected() const { return m_connection != nullptr; }

private:
    PostgresStore(std::string uri, const StoreFactory::Options& options);
    // The connection, opened (with the bounded retries) when there is none or it broke.
    platform::Status connect(int attempts);
    platform::Status applySession();
    void drop();
    void used();
    void scheduleIdleRelease();
    std::chrono::nanoseconds idleRelease() const;
    void releaseIfIdle();
    platform::Status prepareSchema();
    platform::Status createOrComplete(bool empty);
    // Runs the statement, prepared once per connection for texts seen before. Outside a save a
    // read whose connection broke runs once more on a fresh one (`retry`); inside a save a broken
    // connection fails the save.
    platform::Result<PgResult> run(const std::string& sql, PgParams& params, bool retry = true);
    platform::Result<PgResult> runOnce(const std::string& sql, PgParams& params, bool prepare = true);
    // Sends the inserts kept for one entity.
    platform::Status flushInserts();
    // What the server says of the transaction: true committed, false not, an Unknown failure
    // when no server answers.
    platform::Result<bool> askOutcome(int64_t xid);
    platform::Status read(const EntityDescription& entity, const PgResult& result, const RowVisitor& visit);
    platform::Status writable(std::string_view doing) const;
    platform::Status inSave(std::string_view doing) const;
    bool hasTable(const EntityDescription& entity) const;
    void notice(const std::string& text) const;

    struct PendingInserts {
        const EntityDescription* entity = nullptr;
        std::vector<int64_t> keys;
        PgParams params;
    };

    std::string m_uri;
    StoreFactory::Options m_options;
    std::string m_description;
    std::unique_ptr<PgConnection> m_connection;
    bool m_readOnly;
    bool m_inSave = false;
    bool m_saveBroken = false;
    bool m_lastTimedOut = false;          // the connection broke inside the open save
    std::optional<int64_t> m_saveXid;     // the open save's transaction
    std::optional<int64_t> m_unresolved;  // a commit whose outcome is not known yet
    std::optional<bool> m_resolved;       // ... learnt by beginSave, until lastSaveOutcome asks
    PendingInserts m_pending;
    uint64_t m_idleTimer = 0;
    std::shared_ptr<PostgresStore*> m_self = std::make_shared<PostgresStore*>(this);
    std::chrono::steady_clock::time_point m_lastUse;
    // When a connect last found every server slot taken (by the run loop's clock); while that is
    // recent the connection is given back as soon as an operation ends.
    std::optional<std::chrono::steady_clock::time_point> m_crowdedAt;
    std::vector<bool> m_missingTables;  // read-only: entities whose table the database lacks
    std::unordered_map<std::string, std::string> m_statementNames;
};

}  // namespace host
