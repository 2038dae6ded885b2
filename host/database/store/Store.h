#pragma once

// Store: where a host database lives -- one connection to one database, under DLPObjectContext.
// The context keeps the objects, their identity and their unsaved changes; a store only reads
// and writes records. SQLite (SqliteStore, a file) and PostgreSQL (a server) are the two kinds;
// StoreFactory picks one from the address the user gives (--db).
//
// Records: each entity (EntityCatalog) is one table with the key "pk" and one column per
// attribute. A record's values are StoredValues in the entity's attribute order; stored keys are
// positive, and records with a key below 1 (written by another tool) are never returned.
//
// Qualifiers: a store compiles nothing itself. The context compiles a Qualifier with the
// store's dialect(); the store puts the qualifier's condition into its statement and binds its
// parameters (numbered from 1) before any parameter of its own.
//
// Freshness: every read goes to the database. A store keeps prepared statements, never records,
// so a read sees every change committed before it began, by this or any other connection.
//
// Saving: beginSave() .. commitSave() is one transaction. Until commitSave() succeeds nothing is
// visible to other connections. After any failed step the caller calls abandonSave() (the
// context does), which rolls all of it back, as a failed commitSave() does by itself; the store
// is then ready for the next beginSave(). Saves do not nest.
//
// Keys: allocateKeys() hands out keys for new records, only inside a save, ascending, and a
// later call in the same save continues above the earlier ones. Keys of a committed save are
// never handed out again, to this or any other connection or program (SQLite: one past the
// highest key the table ever had, while the save holds the file's write lock; PostgreSQL: the
// table's sequence). Keys of a save that failed may come again (SQLite) or be skipped
// (PostgreSQL): nothing was stored under them. Any number of connections may insert at once.
//
// Errors: every failure is a Status whose message says what failed and, where the cause is
// outside the program (a busy file, a full disk, a server that went away), what to do. Nothing
// here throws for bad data or a failing database.
//
// One connection: not thread-safe; the host uses its store from the main thread only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/database/store/StoredValue.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

namespace host {

class Qualifier;
class SqlDialect;
struct EntityDescription;

// One record as a read delivers it; valid only during the visitor's call.
class StoreRow {
public:
    virtual ~StoreRow() = default;
    virtual int64_t key() const = 0;
    // The value of the attribute in that slot (the entity's attribute order).
    virtual StoredValue value(size_t slot) const = 0;
};

class Store {
public:
    using RowVisitor = std::function<void(const StoreRow&)>;
    using KeyVisitor = std::function<void(int64_t)>;

    virtual ~Store() = default;

    // --- What it is ------------------------------------------------------------------------
    // For messages: the file path, or the server address without any password.
    virtual std::string displayName() const = 0;
    // Opened read-only: every write (beginSave, setSetting) fails, naming the database.
    virtual bool isReadOnly() const = 0;
    // How the qualifier compiler writes conditions for this store.
    virtual const SqlDialect& dialect() const = 0;

    // --- Reading (each call one statement, seeing what was committed before it) ------------
    // The records of the entity that satisfy the qualifier, in ascending key order.
    virtual platform::Status fetch(const EntityDescription& entity, const Qualifier& qualifier,
                                   const RowVisitor& visit) = 0;
    // Only the keys of those records, in no particular order.
    virtual platform::Status fetchKeys(const EntityDescription& entity, const Qualifier& qualifier,
                                       const KeyVisitor& visit) = 0;
    // How many records satisfy the qualifier (an indexed count where the condition allows:
    // feature-permission and connector-map lookups rely on it).
    virtual platform::Result<int64_t> count(const EntityDescription& entity, const Qualifier& qualifier) = 0;
    // The record with that key: true when it exists (and was visited), false when not.
    virtual platform::Result<bool> fetchByKey(const EntityDescription& entity, int64_t key,
                                              const RowVisitor& visit) = 0;
    // The members of an ordered relation of the owner with that key, in relation order
    // (position, then key). `relation` indexes the owner entity's toMany.
    virtual platform::Status fetchMembers(const EntityDescription& owner, size_t relation, int64_t ownerKey,
                                          const RowVisitor& visit) = 0;

    // --- Saving (see above) -----------------------------------------------------------------
    virtual platform::Status beginSave() = 0;
    // `count` (>= 1) new keys for the entity, ascending, never handed out before.
    virtual platform::Result<std::vector<int64_t>> allocateKeys(const EntityDescription& entity,
                                                                size_t count) = 0;
    // `values` are the attribute values in slot order, already checked against their types
    // (coerceAttributeValue) and with references to new objects replaced by stored keys.
    virtual platform::Status insertRecord(const EntityDescription& entity, int64_t key,
                                          const std::vector<platform::Value>& values) = 0;
    virtual platform::Status updateRecord(const EntityDescription& entity, int64_t key,
                                          const std::vector<platform::Value>& values) = 0;
    // Deleting a record that is already gone is not an error (another connection was first).
    virtual platform::Status deleteRecord(const EntityDescription& entity, int64_t key) = 0;
    // Inside a save: waits until no other save holding a lock of that name is open, and keeps
    // the lock until this save ends, so a check made after it (is the name still free?) holds
    // until the commit. SQLite's write lock already serialises saves; PostgreSQL takes a
    // transaction-level advisory lock.
    virtual platform::Status lockForSave(std::string_view name) = 0;
    // Commits; on failure everything since beginSave is rolled back. A failure whose code is
    // Status::Code::Unknown means the connection broke during the commit and the store could not
    // learn whether it took effect; the next beginSave() resolves it first and fails with that
    // code until it can (see lastSaveOutcome).
    virtual platform::Status commitSave() = 0;
    // After a commit that ended in Code::Unknown: asks the database whether that save was
    // stored (true), was not (false), or still cannot say (an Unknown failure). With no such
    // commit outstanding it answers false.
    virtual platform::Result<bool> lastSaveOutcome() { return false; }
    // Rolls back an open save; nothing when none is open. Never fails.
    virtual void abandonSave() = 0;

    // --- Settings (MCUserDefaults): JSON texts per owner (a user's key, or 0 for all) -------
    virtual platform::Result<std::optional<std::string>> setting(int64_t owner, std::string_view key) = 0;
    // Writes as a statement of its own (part of a save only while one is open); no value
    // (nullopt) removes the setting.
    virtual platform::Status setSetting(int64_t owner, std::string_view key,
                                        const std::optional<std::string>& json) = 0;
    // Writes `json` (nullopt removes) only if the stored value is still `expected` (nullopt: no
    // value stored), atomically against every other connection: true when written, false when
    // another writer changed it first (read it again and retry).
    virtual platform::Result<bool> compareAndSetSetting(int64_t owner, std::string_view key,
                                                        const std::optional<std::string>& expected,
                                                        const std::optional<std::string>& json) = 0;
};

}  // namespace host
