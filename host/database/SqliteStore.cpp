#include "host/database/SqliteStore.h"

#include <fmt/format.h>

#include "host/database/EntityCatalog.h"
#include "host/database/EntityDescription.h"
#include "host/database/Qualifier.h"
#include "host/database/SqlText.h"
#include "host/database/SqliteDialect.h"

using platform::Result;
using platform::Status;
using platform::Value;

namespace host {

namespace {

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
    std::unique_ptr<Statement> byKey, insert, update, remove, highestKey;
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
    auto& statements = statementsFor(entity);
    auto statement = m_database->cached(fmt::format("SELECT {} FROM {} WHERE pk > 0 AND ({}) ORDER BY pk",
                                                    statements.columns, statements.table, qualifier.sql()));
    if (!statement) return statement.status();
    qualifier.bindParameters(**statement);
    return visitRows(**statement, visit);
}

Status SqliteStore::fetchKeys(const EntityDescription& entity, const Qualifier& qualifier,
                              const KeyVisitor& visit) {
    auto& statements = statementsFor(entity);
    auto statement = m_database->cached(
        fmt::format("SELECT pk FROM {} WHERE pk > 0 AND ({})", statements.table, qualifier.sql()));
    if (!statement) return statement.status();
    qualifier.bindParameters(**statement);
    while ((*statement)->step()) visit((*statement)->columnInteger(0));
    return (*statement)->lastStatus();
}

Result<int64_t> SqliteStore::count(const EntityDescription& entity, const Qualifier& qualifier) {
    auto& statements = statementsFor(entity);
    auto statement = m_database->cached(
        fmt::format("SELECT count(*) FROM {} WHERE pk > 0 AND ({})", statements.table, qualifier.sql()));
    if (!statement) return statement.status();
    qualifier.bindParameters(**statement);
    if (!(*statement)->step()) return (*statement)->lastStatus();
    return (*statement)->columnInteger(0);
}

Result<bool> SqliteStore::fetchByKey(const EntityDescription& entity, int64_t key, const RowVisitor& visit) {
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
    return Status::ok();
}

Result<std::vector<int64_t>> SqliteStore::allocateKeys(const EntityDescription& entity, size_t count) {
    if (!m_save)
        return Status::error(fmt::format("keys for {} are handed out only inside a save", entity.name));
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
    auto& statements = statementsFor(entity);
    auto statement = prepared(statements.insert, [&] {
        std::string placeholders = "?";
        for (size_t i = 0; i < entity.attributes.size(); ++i) placeholders += ", ?";
        return fmt::format("INSERT INTO {} ({}) VALUES ({})", statements.table, statements.columns,
                           placeholders);
    });
    if (!statement) return statement.status();
    ResetOnExit reset(**statement);
    (*statement)->bindInteger(1, key);
    return writeRecord(**statement, entity, 2, values);
}

Status SqliteStore::updateRecord(const EntityDescription& entity, int64_t key,
                                 const std::vector<Value>& values) {
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
    auto status = m_save->commit();
    m_save.reset();
    m_reservedKeys.clear();
    return status;
}

void SqliteStore::abandonSave() {
    m_save.reset();  // rolls back
    m_reservedKeys.clear();
}

Result<std::optional<std::string>> SqliteStore::setting(int64_t owner, std::string_view key) {
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
        if (auto status = own->commit(); !status) return status.withContext(fmt::format("changing the setting {}", key));
    return true;
}

}  // namespace host
