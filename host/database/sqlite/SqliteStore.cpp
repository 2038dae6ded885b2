#include "host/database/sqlite/SqliteStore.h"

#include <fmt/format.h>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/EntityDescription.h"
#include "host/database/model/Qualifier.h"
#include "host/database/sqlite/SqliteDialect.h"
#include "host/database/store/SqlText.h"

using platform::Result;
using platform::Status;
using platform::Value;

namespace host {

namespace {

// Rows of one insert statement: enough to make SQLite's cost per statement small, few enough
// for any build's parameter limit with room to spare.
constexpr size_t kMaxBatchRows = 64;

class StatementRow final : public StoreRow {
public:
    explicit StatementRow(const Statement& statement) : m_statement(statement) {}
    int64_t key() const override { return m_statement.columnInteger(0); }
    StoredValue value(size_t slot) const override { return m_statement.columnStored(int(slot) + 1); }

private:
    const Statement& m_statement;
};

// Resets a kept statement when its use ends, so the next use starts clean and no read stays
// open on the file.
class ResetOnExit {
public:
    explicit ResetOnExit(Statement& statement) : m_statement(statement) {}
    ~ResetOnExit() { m_statement.reset(); }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    Statement& m_statement;
};

std::string selectColumns(const EntityDescription& entity) {
    std::string columns = "pk";
    for (const auto& attribute : entity.attributes) {
        columns += ", ";
        SqlText::appendQuotedIdentifier(columns, attribute.name);
    }
    return columns;
}

}  // namespace

struct SqliteStore::EntityStatements {
    std::string columns;  // "pk, "a", "b" ..."
    std::string table;    // quoted
    std::unique_ptr<Statement> byKey, insert, batchInsert, update, remove, highestKey;
    std::vector<std::unique_ptr<Statement>> members;  // per to-many relation
};

Result<std::shared_ptr<SqliteStore>> SqliteStore::open(const std::filesystem::path& file,
                                                       const StoreFactory::Options& options) {
    Database::Options connection;
    connection.mode = options.readOnly ? Database::Mode::ReadOnly : Database::Mode::ReadWrite;
    connection.busyTimeout = options.busyTimeout;
    auto database = Database::open(file, connection);
    if (!database) return database.status();
    return std::make_shared<SqliteStore>(std::move(*database));
}

SqliteStore::SqliteStore(std::shared_ptr<Database> database)
    : m_database(std::move(database)), m_entities(EntityCatalog::shared().entities().size()) {}

SqliteStore::~SqliteStore() {
    // Kept statements and the open save must end before the connection may close.
    m_save.reset();
    m_entities.clear();
}

std::string SqliteStore::displayName() const {
    return m_database->path().string();
}

bool SqliteStore::isReadOnly() const {
    return m_database->isReadOnly();
}

const SqlDialect& SqliteStore::dialect() const {
    return SqliteDialect::shared();
}

SqliteStore::EntityStatements& SqliteStore::statementsFor(const EntityDescription& entity) {
    auto& slot = m_entities[entity.index];
    if (!slot) {
        slot = std::make_unique<EntityStatements>();
        slot->columns = selectColumns(entity);
        slot->table = SqlText::quotedIdentifier(entity.name);
        slot->members.resize(entity.toMany.size());
    }
    return *slot;
}

template <typename MakeSql>
Result<Statement*> SqliteStore::prepared(std::unique_ptr<Statement>& slot, MakeSql&& sql) {
    if (!slot) {
        auto made = m_database->prepare(sql());
        if (!made) return made.status();
        slot = std::make_unique<Statement>(std::move(*made));
    }
    return slot.get();
}

Status SqliteStore::visitRows(Statement& statement, const RowVisitor& visit) {
    StatementRow row(statement);
    while (statement.step()) visit(row);
    return statement.lastStatus();
}

Status SqliteStore::fetch(const EntityDescription& entity, const Qualifier& qualifier,
                          const RowVisitor& visit) {
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto& statements = statementsFor(entity);
    auto statement = m_database->cached(fmt::format("SELECT {} FROM {} WHERE pk > 0 AND ({}) ORDER BY pk",
                                                    statements.columns, statements.table, qualifier.sql()));
    if (!statement) return statement.status();
    qualifier.bindParameters(**statement);
    return visitRows(**statement, visit);
}

Status SqliteStore::fetchKeys(const EntityDescription& entity, const Qualifier& qualifier,
                              const KeyVisitor& visit) {
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto& statements = statementsFor(entity);
    auto statement = m_database->cached(
        fmt::format("SELECT pk FROM {} WHERE pk > 0 AND ({})", statements.table, qualifier.sql()));
    if (!statement) return statement.status();
    qualifier.bindParameters(**statement);
    while ((*statement)->step()) visit((*statement)->columnInteger(0));
    return (*statement)->lastStatus();
}

Result<int64_t> SqliteStore::count(const EntityDescription& entity, const Qualifier& qualifier) {
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto& statements = statementsFor(entity);
    auto statement = m_database->cached(
        fmt::format("SELECT count(*) FROM {} WHERE pk > 0 AND ({})", statements.table, qualifier.sql()));
    if (!statement) return statement.status();
    qualifier.bindParameters(**statement);
    if (!(*statement)->step()) return (*statement)->lastStatus();
    return (*statement)->columnInteger(0);
}

Result<bool> SqliteStore::fetchByKey(const EntityDescription& entity, int64_t key, const RowVisitor& visit) {
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto& statements = statementsFor(entity);
    auto statement = prepared(statements.byKey, [&] {
        return fmt::format("SELECT {} FROM {} WHERE pk = ? AND pk > 0", statements.columns, statements.table);
    });
    if (!statement) return statement.status();
    ResetOnExit reset(**statement);
    (*statement)->bindInteger(1, key);
    if ((*statement)->step()) {
        visit(StatementRow(**statement));
        return true;
    }
    if (!(*statement)->lastStatus()) return (*statement)->lastStatus();
    return false;
}

Status SqliteStore::fetchMembers(const EntityDescription& owner, size_t relation, int64_t ownerKey,
                                 const RowVisitor& visit) {
    if (auto flushed = flushInserts(); !flushed) return flushed;
    const EntityDescription& target = *owner.targets[relation];
    const auto& description = owner.toMany[relation];
    auto& targetStatements = statementsFor(target);
    auto& slot = statementsFor(owner).members[relation];
    auto statement = prepared(slot, [&] {
        return fmt::format("SELECT {} FROM {} WHERE {} = ? AND pk > 0 ORDER BY {}, pk",
                           targetStatements.columns, targetStatements.table,
                           SqlText::quotedIdentifier(description.ownerKeyAttribute),
                           SqlText::quotedIdentifier(description.positionAttribute));
    });
    if (!statement) return statement.status();
    ResetOnExit reset(**statement);
    (*statement)->bindInteger(1, ownerKey);
    return visitRows(**statement, visit);
}

Status SqliteStore::beginSave() {
    if (m_database->isReadOnly())
        return Status::error(fmt::format("{} was opened read-only", m_database->path().string()));
    if (m_save) return Status::error("a save is already open on this connection");
    auto transaction = Transaction::begin(*m_database);
    if (!transaction) return transaction.status();
    m_save.emplace(std::move(*transaction));
    m_saveFailure = Status::ok();
    return Status::ok();
}

Result<std::vector<int64_t>> SqliteStore::allocateKeys(const EntityDescription& entity, size_t count) {
    if (!m_save)
        return Status::error(fmt::format("keys for {} are handed out only inside a save", entity.name));
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto& statements = statementsFor(entity);
    // The highest key ever handed out: AUTOINCREMENT's record, or the table's maximum (rows
    // written by another tool may lie above the record). The save holds the write lock, so no
    // other program can take the keys above it before the commit.
    auto statement = prepared(statements.highestKey, [&] {
        return "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = ?), 0), "
               "coalesce((SELECT max(pk) FROM " +
               statements.table + "), 0))";
    });
    if (!statement) return statement.status();
    ResetOnExit reset(**statement);
    (*statement)->bindText(1, entity.name);
    if (!(*statement)->step())
        return (*statement)->lastStatus().withContext(fmt::format("finding the next key of {}", entity.name));
    const int64_t highest = (*statement)->columnInteger(0);
    // Later calls in the same save must not hand out these keys again before they are written.
    int64_t& reserved = m_reservedKeys[entity.index];
    const int64_t first = std::max(highest, reserved) + 1;
    std::vector<int64_t> keys(count);
    for (size_t i = 0; i < count; ++i) keys[i] = first + int64_t(i);
    reserved = first + int64_t(count) - 1;
    return keys;
}

Status SqliteStore::writeRecord(Statement& statement, const EntityDescription& entity, int firstValue,
                                const std::vector<Value>& values) {
    for (size_t slot = 0; slot < entity.attributes.size(); ++slot) {
        const Value& value = values[slot];
        // Texts are bound straight from the value (saves copy every text once more otherwise).
        if (value.isString())
            statement.bindText(firstValue + int(slot), value.asString());
        else
            statement.bind(firstValue + int(slot), storedAttributeValue(entity.attributes[slot].type, value));
    }
    return statement.run();
}

Status SqliteStore::insertRecord(const EntityDescription& entity, int64_t key,
                                 const std::vector<Value>& values) {
    if (!m_saveFailure) return m_saveFailure;
    if (m_pending.entity != &entity) {
        if (auto status = flushInserts(); !status) return status;
        m_pending.entity = &entity;
        const auto limit = size_t(std::max(1, m_database->parameterLimit()));
        m_batchRows = std::max<size_t>(1, std::min(kMaxBatchRows, limit / (entity.attributes.size() + 1)));
    }
    using Kind = StoredValue::Kind;
    auto& pending = m_pending.values;
    const size_t columns = entity.attributes.size() + 1;
    // A key given twice fails at once, as a statement of its own would.
    bool repeated = false;
    if (m_pending.rows > 0 && key <= m_pending.highestKey)
        for (size_t row = 0; row < m_pending.rows && !repeated; ++row)
            repeated = pending[row * columns].integer == key;
    m_pending.highestKey = m_pending.rows > 0 ? std::max(m_pending.highestKey, key) : key;
    pending.push_back({Kind::Integer, key, 0, 0, 0});
    for (size_t slot = 0; slot < entity.attributes.size(); ++slot) {
        const Value& value = values[slot];
        PendingValue& bound = pending.emplace_back();
        const auto appendBytes = [&](std::string_view bytes) {
            bound.offset = m_pending.bytes.size();
            bound.size = bytes.size();
            m_pending.bytes.append(bytes);
        };
        switch (value.type()) {
            case Value::Type::Null:
                break;
            case Value::Type::Integer:
                bound.kind = Kind::Integer;
                bound.integer = value.asInteger();
                break;
            case Value::Type::String:
                bound.kind = Kind::Text;
                appendBytes(value.asString());
                break;
            default: {
                const StoredValue stored = storedAttributeValue(entity.attributes[slot].type, value);
                bound.kind = stored.kind;
                bound.integer = stored.integer;
                bound.real = stored.real;
                appendBytes(stored.bytes);
                break;
            }
        }
    }
    ++m_pending.rows;
    // Outside a save every insert is a statement of its own.
    if (!m_save || repeated || m_pending.rows >= m_batchRows) return flushInserts();
    return Status::ok();
}

void SqliteStore::bindPendingRow(Statement& statement, int firstParameter, size_t row) const {
    using Kind = StoredValue::Kind;
    const size_t columns = m_pending.entity->attributes.size() + 1;
    const PendingValue* values = m_pending.values.data() + row * columns;
    for (size_t column = 0; column < columns; ++column) {
        const PendingValue& value = values[column];
        const int parameter = firstParameter + int(column);
        const std::string_view bytes(m_pending.bytes.data() + value.offset, value.size);
        switch (value.kind) {
            case Kind::Integer:
                statement.bindInteger(parameter, value.integer);
                break;
            case Kind::Real:
                statement.bindReal(parameter, value.real);
                break;
            case Kind::Text:
                statement.bindBorrowedText(parameter, bytes);
                break;
            case Kind::Blob:
                statement.bindBorrowedBlob(parameter, bytes);
                break;
            case Kind::Null:
            case Kind::List:
                statement.bindNull(parameter);
                break;
        }
    }
}

std::string SqliteStore::describePendingRow(size_t row) const {
    // As the object context names a record: <Entity key name="...">.
    const EntityDescription& entity = *m_pending.entity;
    const size_t columns = entity.attributes.size() + 1;
    const PendingValue* values = m_pending.values.data() + row * columns;
    std::string text = fmt::format("<{} {}", entity.name, values[0].integer);
    if (auto slot = entity.slot("name"); slot && values[*slot + 1].kind == StoredValue::Kind::Text)
        text += " name=" + Value(std::string_view(m_pending.bytes.data() + values[*slot + 1].offset,
                                                  values[*slot + 1].size))
                               .toJson();
    return text + ">";
}

void SqliteStore::clearPending() {
    m_pending.entity = nullptr;
    m_pending.rows = 0;
    m_pending.values.clear();
    m_pending.bytes.clear();
}

Status SqliteStore::flushInserts() {
    if (!m_pending.entity || m_pending.rows == 0) return Status::ok();
    Status status = insertPendingRows(0, m_pending.rows);
    clearPending();
    if (!status && m_save && m_saveFailure) m_saveFailure = status;
    return status;
}

Status SqliteStore::insertPendingRows(size_t first, size_t rows) {
    const EntityDescription& entity = *m_pending.entity;
    auto& statements = statementsFor(entity);
    const size_t columns = entity.attributes.size() + 1;
    const auto insertSql = [&](size_t count) {
        std::string row = "(?";
        for (size_t i = 1; i < columns; ++i) row += ", ?";
        row += ')';
        std::string sql =
            fmt::format("INSERT INTO {} ({}) VALUES {}", statements.table, statements.columns, row);
        for (size_t i = 1; i < count; ++i) (sql += ", ") += row;
        return sql;
    };
    if (rows == 1) {
        auto statement = prepared(statements.insert, [&] { return insertSql(1); });
        if (!statement) return statement.status();
        ResetOnExit reset(**statement);
        bindPendingRow(**statement, 1, first);
        if (auto status = (*statement)->run(); !status)
            return status.withContext("inserting " + describePendingRow(first));
        return Status::ok();
    }
    // Full batches use the entity's kept statement; the last, shorter one of a save one kept by
    // its text.
    std::optional<CachedStatement> cached;
    Statement* statement = nullptr;
    if (rows == m_batchRows) {
        auto kept = prepared(statements.batchInsert, [&] { return insertSql(rows); });
        if (!kept) return kept.status();
        statement = *kept;
    } else {
        auto made = m_database->cached(insertSql(rows));
        if (!made) return made.status();
        cached.emplace(std::move(*made));
        statement = &**cached;
    }
    ResetOnExit reset(*statement);
    // A savepoint, so that a failed batch leaves nothing behind (whatever conflict handling a
    // trigger asks for) and its rows can be tried one by one to name the record at fault.
    auto savepoint = m_database->cached("SAVEPOINT zandrel_insert");
    if (!savepoint) return savepoint.status();
    if (auto status = (*savepoint)->run(); !status) return status.withContext("inserting " + entity.name);
    for (size_t row = 0; row < rows; ++row) bindPendingRow(*statement, int(row * columns) + 1, first + row);
    Status batch = statement->run();
    if (batch) {
        auto release = m_database->cached("RELEASE zandrel_insert");
        if (!release) return release.status();
        return (*release)->run();
    }
    // A failure that ended the transaction leaves nothing to try again.
    if (!m_database->inTransaction())
        return batch.withContext(fmt::format("inserting {} records", entity.name));
    auto undo = m_database->cached("ROLLBACK TO zandrel_insert");
    if (!undo) return undo.status();
    if (auto status = (*undo)->run(); !status) return status;
    auto release = m_database->cached("RELEASE zandrel_insert");
    if (!release) return release.status();
    if (auto status = (*release)->run(); !status) return status;
    for (size_t row = 0; row < rows; ++row)
        if (auto alone = insertPendingRows(first + row, 1); !alone) return alone;
    return batch.withContext(fmt::format("inserting {} records", entity.name));
}

Status SqliteStore::updateRecord(const EntityDescription& entity, int64_t key,
                                 const std::vector<Value>& values) {
    if (!m_saveFailure) return m_saveFailure;
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto& statements = statementsFor(entity);
    auto statement = prepared(statements.update, [&] {
        std::string assignments;
        for (const auto& attribute : entity.attributes) {
            if (!assignments.empty()) assignments += ", ";
            SqlText::appendQuotedIdentifier(assignments, attribute.name);
            assignments += " = ?";
        }
        return fmt::format("UPDATE {} SET {} WHERE pk = ?", statements.table, assignments);
    });
    if (!statement) return statement.status();
    ResetOnExit reset(**statement);
    (*statement)->bindInteger(int(entity.attributes.size()) + 1, key);
    return writeRecord(**statement, entity, 1, values);
}

Status SqliteStore::deleteRecord(const EntityDescription& entity, int64_t key) {
    if (!m_saveFailure) return m_saveFailure;
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto& statements = statementsFor(entity);
    auto statement = prepared(statements.remove,
                              [&] { return fmt::format("DELETE FROM {} WHERE pk = ?", statements.table); });
    if (!statement) return statement.status();
    ResetOnExit reset(**statement);
    (*statement)->bindInteger(1, key);
    return (*statement)->run();
}

Status SqliteStore::lockForSave(std::string_view name) {
    // The save already holds the file's write lock (BEGIN IMMEDIATE): no other save runs.
    if (!m_save) return Status::error(fmt::format("locking \"{}\": no save is open", name));
    return Status::ok();
}

Status SqliteStore::commitSave() {
    if (!m_save) return Status::error("no save is open on this connection");
    if (m_saveFailure) (void)flushInserts();
    if (!m_saveFailure) {
        Status failure = m_saveFailure;
        abandonSave();
        return failure;
    }
    auto status = m_save->commit();
    m_save.reset();
    m_reservedKeys.clear();
    return status;
}

void SqliteStore::abandonSave() {
    clearPending();
    m_saveFailure = Status::ok();
    m_save.reset();  // rolls back
    m_reservedKeys.clear();
}

Result<std::optional<std::string>> SqliteStore::setting(int64_t owner, std::string_view key) {
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto statement =
        m_database->cached("SELECT value FROM zandrel_user_default WHERE user_pk = ? AND key = ?");
    if (!statement) return statement.status();
    (*statement)->bindInteger(1, owner);
    (*statement)->bindText(2, key);
    if ((*statement)->step()) return std::optional<std::string>((*statement)->columnText(0));
    if (!(*statement)->lastStatus()) return (*statement)->lastStatus();
    return std::optional<std::string>();
}

Status SqliteStore::setSetting(int64_t owner, std::string_view key, const std::optional<std::string>& json) {
    if (auto flushed = flushInserts(); !flushed) return flushed;
    auto statement =
        m_database->cached(!json ? "DELETE FROM zandrel_user_default WHERE user_pk = ? AND key = ?"
                                 : "INSERT INTO zandrel_user_default (user_pk, key, value) VALUES "
                                   "(?, ?, ?) ON CONFLICT (user_pk, key) DO UPDATE SET value = "
                                   "excluded.value");
    if (!statement) return statement.status();
    (*statement)->bindInteger(1, owner);
    (*statement)->bindText(2, key);
    if (json) (*statement)->bindText(3, *json);
    return (*statement)->run();
}

Result<bool> SqliteStore::compareAndSetSetting(int64_t owner, std::string_view key,
                                               const std::optional<std::string>& expected,
                                               const std::optional<std::string>& json) {
    // Read and write under the file's write lock: the save's, or a transaction of our own.
    if (auto flushed = flushInserts(); !flushed) return flushed;
    std::optional<Transaction> own;
    if (!m_save) {
        auto begun = Transaction::begin(*m_database);
        if (!begun) return begun.status().withContext(fmt::format("changing the setting {}", key));
        own.emplace(std::move(*begun));
    }
    auto current = setting(owner, key);
    if (!current) return current.status();
    if (*current != expected) return false;
    if (auto status = setSetting(owner, key, json); !status) return status;
    if (own)
        if (auto status = own->commit(); !status)
            return status.withContext(fmt::format("changing the setting {}", key));
    return true;
}

}  // namespace host
