#include "host/database/postgres/PostgresStore.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <unordered_set>

#include "host/database/model/EntityCatalog.h"
#include "host/database/model/EntityDescription.h"
#include "host/database/model/Qualifier.h"
#include "host/database/postgres/PostgresDialect.h"
#include "host/database/store/Schema.h"
#include "host/database/store/SqlText.h"
#include "platform/foundation/Log.h"
#include "platform/runtime/RunLoop.h"

namespace host {

namespace {

constexpr const char* kMetaTable = Schema::kMetaTable;
constexpr const char* kUserDefaultTable = Schema::kUserDefaultTable;
// Taken while creating or completing the schema, so hosts opening at once do it one at a time.
constexpr int64_t kSchemaLock = Schema::kApplicationId;
// PostgreSQL cuts longer identifiers; names are cut the same way here so they can be looked up.
constexpr size_t kMaxIdentifier = 63;
// Statements prepared per connection before further texts run unprepared (each new qualifier
// text is a statement of its own).
constexpr size_t kMaxPreparedStatements = 500;
// Inserts sent in one statement: few round trips, well below the 65535 parameters a statement
// may have.
constexpr size_t kMaxBatchRows = 1000;
constexpr size_t kMaxBatchParameters = 30000;
// How long a commit the server still shows in progress is asked about again.
constexpr auto kInProgressPatience = std::chrono::seconds(2);

using platform::Status;
using Code = platform::Status::Code;

std::string q(std::string_view name) {
    return SqlText::quotedIdentifier(name.substr(0, kMaxIdentifier));
}

const char* columnType(AttributeType type) {
    switch (type) {
        case AttributeType::Text:
            return "text COLLATE \"C\"";
        case AttributeType::Integer:
            return "bigint";
        case AttributeType::Real:
            return "double precision";
        case AttributeType::Boolean:
            return "bigint";  // 0 and 1, as SQLite keeps them, so they compare with numbers alike
        case AttributeType::Any:
            break;
    }
    return "bytea";
}

// The server cuts longer names to 63 bytes.
std::vector<Schema::Index> indexes(const EntityDescription& entity) {
    auto indexes = Schema::indexes(entity);
    for (auto& index : indexes) index.name.resize(std::min(index.name.size(), kMaxIdentifier));
    return indexes;
}

std::string selectColumns(const EntityDescription& entity) {
    std::string columns = "pk";
    for (const auto& attribute : entity.attributes) columns += ", " + q(attribute.name);
    return columns;
}

// A value of an attribute of any type: its kind, then the value (bytea, so any bytes fit).
std::string taggedAny(const StoredValue& value) {
    switch (value.kind) {
        case StoredValue::Kind::Integer:
            return fmt::format("i{}", value.integer);
        case StoredValue::Kind::Real:
            return fmt::format("r{}", value.real);
        case StoredValue::Kind::Text:
            return "t" + value.bytes;
        default:
            return "b" + value.bytes;
    }
}

StoredValue untaggedAny(std::string_view bytes) {
    if (bytes.empty()) return StoredValue::null();
    std::string_view rest = bytes.substr(1);
    switch (bytes.front()) {
        case 'i': {
            int64_t integer = 0;
            std::from_chars(rest.data(), rest.data() + rest.size(), integer);
            return StoredValue::fromInteger(integer);
        }
        case 'r':
            return StoredValue::fromReal(std::strtod(std::string(rest).c_str(), nullptr));
        case 't':
            return StoredValue::fromText(std::string(rest));
        default:
            return StoredValue::fromBlob(std::string(rest));
    }
}

// bytea in the server's hex output form ("\x4869").
std::string byteaBytes(std::string_view text) {
    std::string bytes;
    if (text.size() < 2 || text[0] != '\\' || text[1] != 'x') return std::string(text);
    bytes.reserve((text.size() - 2) / 2);
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 2; i + 1 < text.size(); i += 2)
        bytes.push_back(char(nibble(text[i]) << 4 | nibble(text[i + 1])));
    return bytes;
}

void appendArrayElement(std::string& out, const StoredValue& value) {
    switch (value.kind) {
        case StoredValue::Kind::Null:
            out += "NULL";
            return;
        case StoredValue::Kind::Integer:
            fmt::format_to(std::back_inserter(out), "{}", value.integer);
            return;
        case StoredValue::Kind::Real:
            fmt::format_to(std::back_inserter(out), "{}", value.real);
            return;
        default:
            break;
    }
    std::string_view bytes = value.bytes;
    std::string hex;
    if (value.kind == StoredValue::Kind::Blob) {
        hex = "\\x";
        for (unsigned char c : value.bytes) fmt::format_to(std::back_inserter(hex), "{:02x}", c);
        bytes = hex;
    }
    out += '"';
    for (char c : bytes) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

void addParameter(PgParams& params, const StoredValue& value) {
    switch (value.kind) {
        case StoredValue::Kind::Null:
            params.addNull();
            break;
        case StoredValue::Kind::Integer:
            params.addInteger(value.integer);
            break;
        case StoredValue::Kind::Real:
            if (std::isnan(value.real))
                params.addNull();  // no value, as SQLite keeps it
            else
                params.addReal(value.real);
            break;
        case StoredValue::Kind::Text:
            params.addText(value.bytes);
            break;
        case StoredValue::Kind::Blob:
            params.addBytes(value.bytes);
            break;
        case StoredValue::Kind::List: {
            // One array literal; the server reads it as an array of the compared column's type.
            std::string array = "{";
            for (size_t i = 0; i < value.list.size(); ++i) {
                if (i) array += ',';
                appendArrayElement(array, value.list[i]);
            }
            params.addText(array + "}");
            break;
        }
    }
}

void addQualifierParameters(PgParams& params, const Qualifier& qualifier) {
    params.reserve(qualifier.parameters().size() + 1);
    for (const auto& value : qualifier.parameters()) addParameter(params, value);
}

void addAttributeValues(PgParams& params, const EntityDescription& entity,
                        const std::vector<platform::Value>& values) {
    for (size_t slot = 0; slot < entity.attributes.size(); ++slot) {
        const AttributeType type = entity.attributes[slot].type;
        StoredValue stored = slot < values.size() ? storedAttributeValue(type, values[slot]) : StoredValue();
        if (type == AttributeType::Any && stored.kind != StoredValue::Kind::Null &&
            !(stored.kind == StoredValue::Kind::Real && std::isnan(stored.real)))
            params.addBytes(taggedAny(stored));
        else
            addParameter(params, stored);
    }
}

class PgRow final : public StoreRow {
public:
    PgRow(const EntityDescription& entity, const PgResult& result) : m_entity(entity), m_result(result) {}
    void moveTo(int row) { m_row = row; }

    int64_t key() const override { return m_result.integer(m_row, 0); }
    StoredValue value(size_t slot) const override {
        const int column = int(slot) + 1;
        if (slot >= m_entity.attributes.size() || m_result.isNull(m_row, column)) return StoredValue::null();
        std::string_view text = m_result.text(m_row, column);
        switch (m_entity.attributes[slot].type) {
            case AttributeType::Text:
                return StoredValue::fromText(std::string(text));
            case AttributeType::Integer:
            case AttributeType::Boolean:
                return StoredValue::fromInteger(m_result.integer(m_row, column));
            case AttributeType::Real:
                return StoredValue::fromReal(std::strtod(std::string(text).c_str(), nullptr));
            case AttributeType::Any:
                break;
        }
        return untaggedAny(byteaBytes(text));
    }

private:
    const EntityDescription& m_entity;
    const PgResult& m_result;
    int m_row = 0;
};

}  // namespace

std::string PostgresStore::sequenceName(const EntityDescription& entity) {
    return entity.name + "_pk_seq";
}

std::string PostgresStore::createTablesSql() {
    std::string sql;
    for (const auto& entity : EntityCatalog::shared().entities()) {
        const std::string sequence = q(sequenceName(entity));
        sql += fmt::format("CREATE SEQUENCE IF NOT EXISTS {};", sequence);
        sql += fmt::format("CREATE TABLE IF NOT EXISTS {} (pk bigint PRIMARY KEY DEFAULT nextval('{}')",
                           q(entity.name), sequence);
        for (size_t slot = 0; slot < entity.attributes.size(); ++slot) {
            sql += fmt::format(", {} {}", q(entity.attributes[slot].name),
                               columnType(entity.attributes[slot].type));
            // Members may be written before their owner within a save: checked at commit.
            if (entity.owner && slot == entity.ownerKeySlot)
                sql += fmt::format(" REFERENCES {}(pk) ON DELETE CASCADE DEFERRABLE INITIALLY DEFERRED",
                                   q(entity.owner->name));
        }
        sql += ");";
        sql += fmt::format("ALTER SEQUENCE {} OWNED BY {}.pk;", sequence, q(entity.name));
        for (const auto& index : indexes(entity)) {
            std::string columns;
            for (const auto& column : index.columns) columns += (columns.empty() ? "" : ", ") + q(column);
            sql += fmt::format("CREATE INDEX IF NOT EXISTS {} ON {}({});", q(index.name), q(entity.name),
                               columns);
        }
    }
    sql += fmt::format(
        "CREATE TABLE IF NOT EXISTS {} (pk bigserial PRIMARY KEY, user_pk bigint NOT NULL, "
        "key text COLLATE \"C\" NOT NULL, value text, UNIQUE (user_pk, key));",
        kUserDefaultTable);
    return sql;
}

PostgresStore::PostgresStore(std::string uri, const StoreFactory::Options& options)
    : m_uri(std::move(uri)),
      m_options(options),
      m_readOnly(options.readOnly),
      m_missingTables(EntityCatalog::shared().entities().size(), false) {}

// The idle timer reaches the store through a weak token rather than being invalidated here: a
// store may outlive the main run loop at exit, and a timer that outlives the store does nothing.
PostgresStore::~PostgresStore() = default;

platform::Result<std::shared_ptr<PostgresStore>> PostgresStore::open(const std::string& uri,
                                                                     const StoreFactory::Options& options) {
    std::shared_ptr<PostgresStore> store(new PostgresStore(uri, options));
    // A host that finds no server at start says so at once; one that finds it full or starting
    // up waits its turn like a running host.
    if (auto status = store->connect(1); !status) {
        const bool worthWaiting = status.message().find("no connection left") != std::string::npos ||
                                  status.message().find("is starting up") != std::string::npos;
        if (!worthWaiting || options.connectAttempts <= 1) return status;
        if (auto again = store->connect(options.connectAttempts - 1); !again) return again;
    }
    if (auto status = store->prepareSchema(); !status) return status;
    store->used();
    return store;
}

void PostgresStore::notice(const std::string& text) const {
    if (m_options.waitingNotice)
        m_options.waitingNotice(text);
    else
        platform::Log::write(text);
}

Status PostgresStore::applySession() {
    // The busy timeout: how long a statement waits for a row or table another host holds.
    std::string sql = fmt::format("SET lock_timeout = {}; SET statement_timeout = {}",
                                  m_options.busyTimeout.count(), m_options.statementTimeout.count());
    if (m_readOnly) sql += "; SET default_transaction_read_only = on";
    auto set = m_connection->exec(sql);
    return set ? Status::ok() : set.status().withContext("setting up the connection to the " + displayName());
}

Status PostgresStore::connect(int attempts) {
    if (m_connection && !m_connection->isBroken()) return Status::ok();
    m_connection.reset();
    PgConnection::Limits limits;
    limits.connect = m_options.connectTimeout;
    limits.response = m_options.responseTimeout;
    limits.notice = m_options.slowNotice;
    limits.onWaiting = [this](const std::string& text) { notice(text); };
    limits.interrupts = m_options.interrupts;
    auto delay = m_options.reconnectDelay;
    const auto busyUntil = std::chrono::steady_clock::now() + m_options.busyServerWait;
    std::minstd_rand jitter{unsigned(getpid())};
    for (int attempt = 1;; ++attempt) {
        Status failure;
        auto made = PgConnection::connect(m_uri, limits);
        if (made) {
            m_connection = std::move(*made);
            m_description = m_connection->description();
            failure = applySession();
            if (failure) return Status::ok();
            m_connection.reset();
        } else {
            failure = made.status();
        }
        // A full server frees slots as other hosts go idle: asked again at random moments, so
        // hosts waiting together do not all come back in the same instant.
        const bool full = failure.message().find("no connection left") != std::string::npos;
        if (full) m_crowdedAt = platform::RunLoop::main().now();
        if (full && std::chrono::steady_clock::now() < busyUntil) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500 + jitter() % 1500));
            continue;
        }
        // Only a server that is away, busy or restarting is worth asking again.
        if (attempt >= attempts || failure.code() != Code::Unavailable) return failure;
        std::this_thread::sleep_for(delay);
        delay *= 2;
    }
}

void PostgresStore::drop() {
    m_connection.reset();
}

void PostgresStore::used() {
    auto& loop = platform::RunLoop::main();
    m_lastUse = loop.now();
    if (m_options.idleRelease.count() > 0 && !(m_idleTimer && loop.isTimerValid(m_idleTimer)))
        scheduleIdleRelease();
}

namespace {
// How long after finding the server full a host keeps giving its connection back at once.
constexpr auto kCrowdedWindow = std::chrono::minutes(5);
}  // namespace

std::chrono::nanoseconds PostgresStore::idleRelease() const {
    const auto configured = std::chrono::duration_cast<platform::Duration>(m_options.idleRelease);
    if (m_crowdedAt && platform::RunLoop::main().now() - *m_crowdedAt < kCrowdedWindow)
        return platform::Duration::zero();
    return configured;
}

void PostgresStore::scheduleIdleRelease() {
    auto& loop = platform::RunLoop::main();
    const auto idle = idleRelease();
    const auto since = loop.now() - m_lastUse;
    std::weak_ptr<PostgresStore*> token = m_self;
    m_idleTimer = loop.scheduleTimer(
        since < idle ? idle - since : platform::Duration::zero(), false,
        [token] {
            if (auto self = token.lock()) (*self)->releaseIfIdle();
        },
        platform::kCommonModes);
}

void PostgresStore::releaseIfIdle() {
    m_idleTimer = 0;
    if (!m_connection) return;
    const auto now = platform::RunLoop::main().now();
    // Never in the middle of a save (a modal loop may run while one is open).
    if (m_inSave) m_lastUse = now;
    if (now - m_lastUse < idleRelease()) {
        scheduleIdleRelease();
        return;
    }
    drop();
}

std::string PostgresStore::displayName() const {
    if (m_description.empty()) return "PostgreSQL database at " + PgConnection::maskedUri(m_uri);
    return "PostgreSQL " + m_description;
}

const SqlDialect& PostgresStore::dialect() const {
    return PostgresDialect::shared();
}

platform::Status PostgresStore::prepareSchema() {
    const std::string name = displayName();
    auto found = m_connection->exec(
        "SELECT current_schema(), coalesce((SELECT array_agg(c.relname::text) FROM pg_class c "
        "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = current_schema()), '{}')");
    if (!found) return found.status().withContext("opening the " + name);
    if (found->isNull(0, 0))
        return platform::Status::error(fmt::format(
            "the {} has no schema to keep tables in (its search_path names none that exists); create "
            "one or fix the search_path",
            name));
    // The relation names come as an array literal; only whether ours are there matters.
    std::string_view list = found->text(0, 1);
    std::unordered_set<std::string> relations;
    {
        std::string item;
        bool quoted = false;
        for (size_t i = 1; i + 1 < list.size() + 1 && i < list.size(); ++i) {
            char c = list[i];
            if (quoted) {
                if (c == '\\' && i + 1 < list.size()) {
                    item += list[++i];
                } else if (c == '"') {
                    quoted = false;
                } else {
                    item += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',' || c == '}') {
                if (!item.empty()) relations.insert(item);
                item.clear();
            } else {
                item += c;
            }
        }
    }
    const bool empty = relations.empty();
    if (empty) {
        if (m_readOnly)
            return platform::Status::error(
                fmt::format("the {} holds no {} database (it is empty); create it first (zandrel-host --db "
                            "URI --init-demo)",
                            name, Schema::kProgramName));
        // Tables are made only on request, so a mistyped database name (or template1) is not
        // turned into a Zandrel database by a command that merely opened it.
        if (!m_options.createSchema)
            return platform::Status::error(fmt::format(
                "the {} holds no {} database (it is empty); create it first with zandrel-host --db URI "
                "--init-demo, or check that the URI names the right database and schema",
                name, Schema::kProgramName));
        return createOrComplete(true);
    }
    const Schema::Place place{"the " + name, "database or schema"};
    if (!relations.count(kMetaTable)) return Schema::notOurs(place, "it holds another program's tables");

    // Databases made before both stores kept one layout name their records by "key", and the
    // application's by "program": read either, and bring the old one to the current layout when
    // written (below).
    auto columns = m_connection->exec(
        fmt::format("SELECT count(*) FROM pg_attribute WHERE attrelid = '{}'::regclass AND attname = 'key' "
                    "AND NOT attisdropped",
                    kMetaTable));
    if (!columns) return columns.status().withContext("reading the schema version of the " + name);
    const bool oldLayout = columns->integer(0, 0) > 0;
    auto meta =
        m_connection->exec(fmt::format("SELECT {}, value FROM {}", oldLayout ? "key" : "name", kMetaTable));
    if (!meta) return meta.status().withContext("reading the schema version of the " + name);
    Schema::Records records;
    const std::string applicationRecord = oldLayout ? "program" : Schema::kApplicationRecord;
    for (int row = 0; row < meta->rows(); ++row) {
        if (meta->isNull(row, 1)) {
            if (meta->text(row, 0) == Schema::kVersionRecord) records.version = StoredValue::null();
            continue;
        }
        if (meta->text(row, 0) == applicationRecord) records.application = std::string(meta->text(row, 1));
        if (meta->text(row, 0) == Schema::kVersionRecord)
            records.version = StoredValue::fromText(std::string(meta->text(row, 1)));
    }
    if (auto version = Schema::checkRecords(place, records); !version) return version.status();

    // Tables, sequences and indexes added since the database was made.
    bool complete = relations.count(kUserDefaultTable) > 0;
    for (const auto& entity : EntityCatalog::shared().entities()) {
        const bool table = relations.count(entity.name.substr(0, kMaxIdentifier)) > 0;
        m_missingTables[entity.index] = !table;
        complete = complete && table && relations.count(sequenceName(entity).substr(0, kMaxIdentifier));
        for (const auto& index : indexes(entity)) complete = complete && relations.count(index.name);
    }
    if ((complete && !oldLayout) || m_readOnly) return platform::Status::ok();
    return createOrComplete(false);
}

platform::Status PostgresStore::createOrComplete(bool empty) {
    const std::string name = displayName();
    auto fail = [&](const platform::Status& status) {
        (void)m_connection->exec("ROLLBACK");
        return status.withContext((empty ? "creating the tables of the " : "completing the tables of the ") +
                                  name);
    };
    if (auto begun = m_connection->exec("BEGIN"); !begun) return fail(begun.status());
    PgParams lock;
    lock.addInteger(kSchemaLock);
    if (auto locked = m_connection->exec("SELECT pg_advisory_xact_lock($1::bigint)", lock); !locked)
        return fail(locked.status());
    if (empty) {
        // Another host may have made it while this one waited for the lock.
        auto meta = m_connection->exec(
            fmt::format("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                        "WHERE n.nspname = current_schema() AND c.relname = '{}'",
                        kMetaTable));
        if (!meta) return fail(meta.status());
        if (meta->integer(0, 0) > 0) {
            (void)m_connection->exec("ROLLBACK");
            return prepareSchema();
        }
    }
    if (auto created = m_connection->exec(createTablesSql()); !created) return fail(created.status());
    if (empty) {
        auto meta = m_connection->exec(
            fmt::format("CREATE TABLE {0} (name text COLLATE \"C\" PRIMARY KEY, value text);"
                        "INSERT INTO {0} (name, value) VALUES ('{1}', '{2}'), ('{3}', '{4}')",
                        kMetaTable, Schema::kApplicationRecord, Schema::kProgramName, Schema::kVersionRecord,
                        Schema::kVersion));
        if (!meta) return fail(meta.status());
    } else {
        // The records' old layout (checked again under the lock: another host may have brought
        // it up to date meanwhile). Said in the log, never done silently.
        auto old = m_connection->exec(fmt::format(
            "SELECT count(*) FROM pg_attribute WHERE attrelid = '{}'::regclass AND attname = 'key' "
            "AND NOT attisdropped",
            kMetaTable));
        if (!old) return fail(old.status());
        if (old->integer(0, 0) > 0) {
            auto moved =
                m_connection->exec(fmt::format("ALTER TABLE {0} RENAME COLUMN key TO name; UPDATE {0} SET "
                                               "name = '{1}' WHERE name = 'program'",
                                               kMetaTable, Schema::kApplicationRecord));
            if (!moved) return fail(moved.status());
            platform::Log::write(
                fmt::format("the {} keeps its {} records by name now, as every "
                            "store does (they were kept by key)",
                            name, kMetaTable));
        }
    }
    if (auto committed = m_connection->exec("COMMIT"); !committed) return fail(committed.status());
    std::fill(m_missingTables.begin(), m_missingTables.end(), false);
    return platform::Status::ok();
}

platform::Result<PgResult> PostgresStore::runOnce(const std::string& sql, PgParams& params, bool prepare) {
    if (m_inSave && (m_saveBroken || !m_connection || m_connection->isBroken())) {
        m_saveBroken = true;
        drop();
        return Status::error(Code::Unavailable,
                             fmt::format("the connection to the {} broke during this save, so nothing of it "
                                         "was written; save again",
                                         displayName()));
    }
    if (auto status = connect(m_options.connectAttempts); !status) return status;
    platform::Result<PgResult> result = [&]() -> platform::Result<PgResult> {
        if (!prepare) return m_connection->exec(sql, params);
        auto found = m_statementNames.find(sql);
        if (found == m_statementNames.end()) {
            if (m_statementNames.size() >= kMaxPreparedStatements) return m_connection->exec(sql, params);
            found = m_statementNames.emplace(sql, fmt::format("z{}", m_statementNames.size())).first;
        }
        return m_connection->execPrepared(found->second, sql, params);
    }();
    used();
    m_lastTimedOut = !result && m_connection->timedOut();
    if (!result && m_connection->isBroken()) {
        drop();
        if (m_inSave) {
            m_saveBroken = true;
            return result.status().withContext("nothing of this save was written");
        }
    }
    return result;
}

platform::Result<PgResult> PostgresStore::run(const std::string& sql, PgParams& params, bool retry) {
    // The inserts kept so far go first: what follows may read or depend on them.
    if (m_inSave && m_pending.entity)
        if (auto status = flushInserts(); !status) return status;
    const bool connected = m_connection && !m_connection->isBroken();
    auto result = runOnce(sql, params);
    // A connection that broke under a read (a restart, a fail-over): once more on a new one.
    // Not after no answer came at all: a frozen server would only be waited for twice.
    if (!result && retry && !m_inSave && connected && !m_connection && !m_lastTimedOut)
        result = runOnce(sql, params);
    return result;
}

bool PostgresStore::hasTable(const EntityDescription& entity) const {
    return !m_missingTables[entity.index];
}

platform::Status PostgresStore::read(const EntityDescription& entity, const PgResult& result,
                                     const RowVisitor& visit) {
    PgRow row(entity, result);
    for (int i = 0; i < result.rows(); ++i) {
        row.moveTo(i);
        visit(row);
    }
    return platform::Status::ok();
}

platform::Status PostgresStore::fetch(const EntityDescription& entity, const Qualifier& qualifier,
                                      const RowVisitor& visit) {
    if (!hasTable(entity)) return platform::Status::ok();
    PgParams params;
    addQualifierParameters(params, qualifier);
    auto result = run(fmt::format("SELECT {} FROM {} WHERE pk > 0 AND ({}) ORDER BY pk",
                                  selectColumns(entity), q(entity.name), qualifier.sql()),
                      params);
    if (!result) return result.status().withContext("reading " + entity.name);
    return read(entity, *result, visit);
}

platform::Status PostgresStore::fetchKeys(const EntityDescription& entity, const Qualifier& qualifier,
                                          const KeyVisitor& visit) {
    if (!hasTable(entity)) return platform::Status::ok();
    PgParams params;
    addQualifierParameters(params, qualifier);
    auto result =
        run(fmt::format("SELECT pk FROM {} WHERE pk > 0 AND ({})", q(entity.name), qualifier.sql()), params);
    if (!result) return result.status().withContext("reading the keys of " + entity.name);
    for (int i = 0; i < result->rows(); ++i) visit(result->integer(i, 0));
    return platform::Status::ok();
}

platform::Result<int64_t> PostgresStore::count(const EntityDescription& entity, const Qualifier& qualifier) {
    if (!hasTable(entity)) return int64_t{0};
    PgParams params;
    addQualifierParameters(params, qualifier);
    auto result =
        run(fmt::format("SELECT count(*) FROM {} WHERE pk > 0 AND ({})", q(entity.name), qualifier.sql()),
            params);
    if (!result) return result.status().withContext("counting " + entity.name);
    return result->integer(0, 0);
}

platform::Result<bool> PostgresStore::fetchByKey(const EntityDescription& entity, int64_t key,
                                                 const RowVisitor& visit) {
    if (!hasTable(entity) || key < 1) return false;
    PgParams params;
    params.addInteger(key);
    auto result =
        run(fmt::format("SELECT {} FROM {} WHERE pk = $1", selectColumns(entity), q(entity.name)), params);
    if (!result) return result.status().withContext(fmt::format("reading {} {}", entity.name, key));
    if (result->rows() == 0) return false;
    if (auto status = read(entity, *result, visit); !status) return status;
    return true;
}

platform::Status PostgresStore::fetchMembers(const EntityDescription& owner, size_t relation,
                                             int64_t ownerKey, const RowVisitor& visit) {
    if (relation >= owner.targets.size())
        return platform::Status::error(fmt::format("{} has no relation number {}", owner.name, relation));
    const EntityDescription& target = *owner.targets[relation];
    if (!hasTable(target)) return platform::Status::ok();
    PgParams params;
    params.addInteger(ownerKey);
    auto result =
        run(fmt::format("SELECT {} FROM {} WHERE pk > 0 AND {} = $1 ORDER BY {}, pk", selectColumns(target),
                        q(target.name), q(target.attributes[target.ownerKeySlot].name),
                        q(target.attributes[target.positionSlot].name)),
            params);
    if (!result)
        return result.status().withContext(
            fmt::format("reading {} of {} {}", owner.toMany[relation].name, owner.name, ownerKey));
    return read(target, *result, visit);
}

platform::Status PostgresStore::writable(std::string_view doing) const {
    if (m_readOnly)
        return platform::Status::error(
            fmt::format("{} in the {}: it was opened read-only", doing, displayName()));
    return platform::Status::ok();
}

Status PostgresStore::inSave(std::string_view doing) const {
    if (!m_inSave) return Status::error(fmt::format("{}: no save is open", doing));
    return Status::ok();
}

Status PostgresStore::beginSave() {
    if (auto status = writable("saving"); !status) return status;
    if (m_inSave) return Status::error("saving: a save is already open (saves do not nest)");
    if (m_unresolved) {
        // Saving again before knowing whether the last commit took could store it twice.
        auto outcome = askOutcome(*m_unresolved);
        if (!outcome)
            return Status::error(Code::Unknown,
                                 "saving: whether the last save was stored is not known yet (" +
                                     outcome.status().message() + ")");
        m_resolved = *outcome;
        m_unresolved.reset();
    }
    // One round trip: the transaction and its id, by which a commit cut off is looked up later.
    auto begin = [&]() -> platform::Result<PgResult> {
        if (auto status = connect(m_options.connectAttempts); !status) return status;
        return m_connection->exec("BEGIN; SELECT txid_current()");
    };
    auto begun = begin();
    if (!begun && m_connection && m_connection->isBroken()) {
        drop();
        begun = begin();
    }
    if (!begun) {
        if (m_connection && m_connection->isBroken())
            drop();
        else if (m_connection && m_connection->inTransaction())
            (void)m_connection->exec("ROLLBACK");
        return begun.status().withContext("saving to the " + displayName());
    }
    used();
    m_inSave = true;
    m_saveBroken = false;
    m_saveXid = begun->integer(0, 0);
    return Status::ok();
}

platform::Result<std::vector<int64_t>> PostgresStore::allocateKeys(const EntityDescription& entity,
                                                                   size_t count) {
    if (!m_inSave) return platform::Status::error("keys are handed out only inside a save");
    if (count == 0) return std::vector<int64_t>();
    PgParams params;
    params.addText(q(sequenceName(entity)));
    params.addInteger(int64_t(count));
    auto result = run("SELECT nextval($1::regclass) FROM generate_series(1, $2::bigint)", params);
    if (!result) return result.status().withContext("finding keys for new " + entity.name + " records");
    std::vector<int64_t> keys(size_t(result->rows()));
    for (int i = 0; i < result->rows(); ++i) keys[size_t(i)] = result->integer(i, 0);
    std::sort(keys.begin(), keys.end());
    return keys;
}

Status PostgresStore::insertRecord(const EntityDescription& entity, int64_t key,
                                   const std::vector<platform::Value>& values) {
    if (auto status = inSave("inserting " + entity.name); !status) return status;
    if (m_pending.entity != &entity)
        if (auto status = flushInserts(); !status) return status;
    // A key given twice in one batch fails at once, as a single statement would.
    const bool repeated =
        !m_pending.keys.empty() && key <= m_pending.keys.back() &&
        std::find(m_pending.keys.begin(), m_pending.keys.end(), key) != m_pending.keys.end();
    m_pending.entity = &entity;
    m_pending.keys.push_back(key);
    m_pending.params.addInteger(key);
    addAttributeValues(m_pending.params, entity, values);
    const size_t columns = entity.attributes.size() + 1;
    if (repeated ||
        m_pending.keys.size() >= std::max<size_t>(1, std::min(kMaxBatchRows, kMaxBatchParameters / columns)))
        return flushInserts();
    return Status::ok();
}

Status PostgresStore::flushInserts() {
    if (!m_pending.entity) return Status::ok();
    PendingInserts batch = std::move(m_pending);
    m_pending = PendingInserts{};
    const EntityDescription& entity = *batch.entity;
    const size_t rows = batch.keys.size(), columns = entity.attributes.size() + 1;
    std::string names = "pk";
    for (const auto& attribute : entity.attributes) names += ", " + q(attribute.name);
    auto insertSql = [&](size_t count) {
        std::string sql = fmt::format("INSERT INTO {} ({}) VALUES ", q(entity.name), names);
        for (size_t row = 0, parameter = 1; row < count; ++row) {
            sql += row ? ",(" : "(";
            for (size_t column = 0; column < columns; ++column, ++parameter)
                fmt::format_to(std::back_inserter(sql), "{}${}", column ? "," : "", parameter);
            sql += ')';
        }
        return sql;
    };
    // The record as the object context names it: <Entity key name="...">.
    const auto nameSlot = entity.slot("name");
    auto describe = [&](size_t row) {
        std::string text = fmt::format("<{} {}", entity.name, batch.keys[row]);
        if (nameSlot && entity.attributes[*nameSlot].type == AttributeType::Text)
            if (auto name = batch.params.text(row * columns + 1 + *nameSlot))
                text += " name=\"" + *name + "\"";
        return text + ">";
    };
    if (rows == 1) {
        auto inserted = runOnce(insertSql(1), batch.params);
        return inserted ? Status::ok() : inserted.status().withContext("inserting " + describe(0));
    }
    // A savepoint, so that when the batch fails the rows can be tried one by one to name the
    // record at fault (only then; it costs nothing otherwise).
    PgParams none;
    if (auto saved = runOnce("SAVEPOINT zandrel_batch", none, false); !saved)
        return saved.status().withContext("inserting " + entity.name + " records");
    const bool full = rows == std::min(kMaxBatchRows, kMaxBatchParameters / columns);
    auto inserted = runOnce(insertSql(rows), batch.params, full);
    if (inserted) return Status::ok();
    const std::string range = fmt::format("inserting {} {} records (keys {} to {})", rows, entity.name,
                                          batch.keys.front(), batch.keys.back());
    if (!m_connection || !runOnce("ROLLBACK TO SAVEPOINT zandrel_batch", none, false))
        return inserted.status().withContext(range);
    const std::string single = insertSql(1);
    for (size_t row = 0; row < rows; ++row) {
        PgParams one = batch.params.slice(row * columns, columns);
        if (auto alone = runOnce(single, one); !alone)
            return alone.status().withContext("inserting " + describe(row));
    }
    return inserted.status().withContext(range);
}

platform::Status PostgresStore::updateRecord(const EntityDescription& entity, int64_t key,
                                             const std::vector<platform::Value>& values) {
    if (auto status = inSave("updating " + entity.name); !status) return status;
    std::string assignments;
    for (size_t slot = 0; slot < entity.attributes.size(); ++slot)
        assignments += fmt::format("{}{} = ${}", assignments.empty() ? "" : ", ",
                                   q(entity.attributes[slot].name), slot + 1);
    PgParams params;
    params.reserve(entity.attributes.size() + 1);
    addAttributeValues(params, entity, values);
    params.addInteger(key);
    auto result = run(fmt::format("UPDATE {} SET {} WHERE pk = ${}", q(entity.name), assignments,
                                  entity.attributes.size() + 1),
                      params);
    if (!result) return result.status().withContext(fmt::format("updating {} {}", entity.name, key));
    return platform::Status::ok();
}

platform::Status PostgresStore::deleteRecord(const EntityDescription& entity, int64_t key) {
    if (auto status = inSave("deleting " + entity.name); !status) return status;
    PgParams params;
    params.addInteger(key);
    auto result = run(fmt::format("DELETE FROM {} WHERE pk = $1", q(entity.name)), params);
    if (!result) return result.status().withContext(fmt::format("deleting {} {}", entity.name, key));
    return platform::Status::ok();
}

platform::Status PostgresStore::lockForSave(std::string_view name) {
    if (!m_inSave) return platform::Status::error(fmt::format("locking \"{}\": no save is open", name));
    PgParams params;
    params.addText(name);
    // Released by the server at the end of the transaction, committed or not.
    auto result = run("SELECT pg_advisory_xact_lock(hashtextextended($1, 0))", params);
    if (!result) return result.status().withContext(fmt::format("waiting for other saves of \"{}\"", name));
    return platform::Status::ok();
}

Status PostgresStore::commitSave() {
    if (!m_inSave) return Status::error("committing: no save is open");
    if (auto flushed = flushInserts(); !flushed) {
        abandonSave();
        return flushed;
    }
    if (m_saveBroken || !m_connection) {
        abandonSave();
        return Status::error(Code::Unavailable,
                             fmt::format("committing the save: the connection to the {} broke during it, so "
                                         "nothing of it was written; save again",
                                         displayName()));
    }
    const int64_t xid = m_saveXid.value_or(0);
    auto committed = m_connection->exec("COMMIT");
    // A COMMIT of a failed transaction rolls back and answers ROLLBACK; either way it is over.
    m_inSave = false;
    m_saveXid.reset();
    if (committed) {
        used();
        if (committed->commandTag() == "ROLLBACK")
            return Status::error("committing the save: the server rolled it back");
        return Status::ok();
    }
    if (!m_connection->isBroken()) {
        if (m_connection->inTransaction()) (void)m_connection->exec("ROLLBACK");
        return committed.status().withContext("committing the save");
    }
    // The commit was sent but its answer lost (the connection broke, or no reply came in time):
    // the server knows whether it took.
    const bool timedOut = m_connection->timedOut();
    drop();
    auto outcome = askOutcome(xid);
    if (!outcome) {
        m_unresolved = xid;
        m_resolved.reset();
        return Status::error(
            Code::Unknown,
            fmt::format("committing the save: {}; whether it was stored cannot be learnt until the server "
                        "answers again ({}); the changes are kept",
                        committed.status().message(), outcome.status().message()));
    }
    if (*outcome) {
        if (timedOut)
            notice(
                fmt::format("the save is stored on the {}, but it took longer than {} s to confirm it; check "
                            "that the synchronous standbys it waits for (synchronous_standby_names) are up",
                            displayName(), std::chrono::duration<double>(m_options.responseTimeout).count()));
        return Status::ok();
    }
    return Status::error(Code::Unavailable,
                         fmt::format("committing the save: {}; the save was not committed, nothing of it was "
                                     "written, save again",
                                     committed.status().message()));
}

platform::Result<bool> PostgresStore::askOutcome(int64_t xid) {
    const auto giveUp = std::chrono::steady_clock::now() + kInProgressPatience;
    for (int broken = 0;;) {
        if (auto status = connect(m_options.connectAttempts); !status)
            return Status::error(Code::Unknown, status.message());
        PgParams params;
        params.addInteger(xid);
        auto asked = m_connection->exec("SELECT txid_status($1::bigint)", params);
        if (!asked) {
            // An id the server has not reached: a standby promoted before the commit got to it.
            if (m_connection->lastSqlState() == "22023") return false;
            if (m_connection->isBroken() && ++broken < 2) {
                drop();
                continue;
            }
            if (m_connection->isBroken()) drop();
            return Status::error(Code::Unknown, asked.status().message());
        }
        used();
        const std::string_view status = asked->isNull(0, 0) ? "" : asked->text(0, 0);
        if (status == "committed") return true;
        if (status == "aborted") return false;
        if (status != "in progress" || std::chrono::steady_clock::now() >= giveUp)
            return Status::error(Code::Unknown,
                                 fmt::format("the server reports transaction {} as {}", xid,
                                             status.empty() ? "too old to tell" : std::string(status)));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

platform::Result<bool> PostgresStore::lastSaveOutcome() {
    if (m_resolved) {
        const bool stored = *m_resolved;
        m_resolved.reset();
        return stored;
    }
    if (!m_unresolved) return false;
    auto outcome = askOutcome(*m_unresolved);
    if (!outcome)
        return Status::error(Code::Unknown, "whether the last save was stored is not known yet (" +
                                                outcome.status().message() + ")");
    m_unresolved.reset();
    return *outcome;
}

void PostgresStore::abandonSave() {
    m_pending = PendingInserts{};
    if (m_connection && m_connection->isBroken()) drop();
    if (m_connection && (m_inSave || m_connection->inTransaction())) {
        (void)m_connection->exec("ROLLBACK");
        if (m_connection->isBroken()) drop();
    }
    m_inSave = false;
    m_saveBroken = false;
    m_saveXid.reset();
}

platform::Result<std::optional<std::string>> PostgresStore::setting(int64_t owner, std::string_view key) {
    PgParams params;
    params.addInteger(owner);
    params.addText(key);
    auto result =
        run(fmt::format("SELECT value FROM {} WHERE user_pk = $1 AND key = $2", kUserDefaultTable), params);
    if (!result) return result.status().withContext(fmt::format("reading the setting {}", key));
    if (result->rows() == 0 || result->isNull(0, 0)) return std::optional<std::string>();
    return std::optional<std::string>(std::string(result->text(0, 0)));
}

platform::Status PostgresStore::setSetting(int64_t owner, std::string_view key,
                                           const std::optional<std::string>& json) {
    if (auto status = writable(fmt::format("changing the setting {}", key)); !status) return status;
    PgParams params;
    params.addInteger(owner);
    params.addText(key);
    if (json) params.addText(*json);
    auto result =
        json ? run(fmt::format("INSERT INTO {} (user_pk, key, value) VALUES ($1, $2, $3) "
                               "ON CONFLICT (user_pk, key) DO UPDATE SET value = EXCLUDED.value",
                               kUserDefaultTable),
                   params)
             : run(fmt::format("DELETE FROM {} WHERE user_pk = $1 AND key = $2", kUserDefaultTable), params);
    if (!result) return result.status().withContext(fmt::format("changing the setting {}", key));
    return platform::Status::ok();
}

platform::Result<bool> PostgresStore::compareAndSetSetting(int64_t owner, std::string_view key,
                                                           const std::optional<std::string>& expected,
                                                           const std::optional<std::string>& json) {
    if (auto status = writable(fmt::format("changing the setting {}", key)); !status) return status;
    // One statement each, so the comparison and the write are atomic on the server.
    PgParams params;
    params.addInteger(owner);
    params.addText(key);
    std::string sql;
    if (!expected && !json) {
        auto current = setting(owner, key);
        if (!current) return current.status();
        return !current->has_value();
    }
    if (!expected) {
        params.addText(*json);
        sql = fmt::format(
            "INSERT INTO {} (user_pk, key, value) VALUES ($1, $2, $3) "
            "ON CONFLICT (user_pk, key) DO NOTHING",
            kUserDefaultTable);
    } else if (json) {
        params.addText(*json);
        params.addText(*expected);
        sql = fmt::format("UPDATE {} SET value = $3 WHERE user_pk = $1 AND key = $2 AND value = $4",
                          kUserDefaultTable);
    } else {
        params.addText(*expected);
        sql = fmt::format("DELETE FROM {} WHERE user_pk = $1 AND key = $2 AND value = $3", kUserDefaultTable);
    }
    // Not run again on a broken connection: the first may have been written.
    auto result = run(sql, params, false);
    if (!result) return result.status().withContext(fmt::format("changing the setting {}", key));
    return result->affectedRows() == 1;
}

}  // namespace host
