#pragma once

// PgConnection: one libpq connection to a PostgreSQL server, and PgParams, the values bound to
// one statement. Every value travels as a bound parameter (PQexecParams/PQexecPrepared); the
// SQL text holds only identifiers and placeholders ($1, $2...).
//
// Connecting takes any libpq connection string or URI ("postgresql://USER@HOST:PORT/DBNAME",
// "host=... dbname=..."). The client encoding is UTF-8 whatever the environment says, and a
// server that does not answer within 10 seconds is reported (a connect_timeout in the URI wins).
// The server's notices ("... already exists, skipping") are dropped, not printed.
//
// Failures are Status errors carrying the server's message; lastSqlState() keeps the SQLSTATE
// of the last failed statement for callers that tell conflicts from other failures. A broken
// connection is reported as such, with what to do. Not thread-safe: one connection per thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/database/PgResult.h"
#include "platform/foundation/Status.h"

struct pg_conn;

namespace host {

class PgParams {
public:
    void reserve(size_t count);
    void clear();
    void addNull();
    void addText(std::string_view text);
    void addInteger(int64_t value);
    void addReal(double value);
    void addBoolean(bool value);
    // Bytes sent as binary (for bytea columns), so no escaping is involved.
    void addBytes(std::string_view bytes);

    int count() const { return int(m_lengths.size()); }
    // Pointers into the values; valid until the next add or clear.
    const char* const* values();
    const int* lengths() const { return m_lengths.data(); }
    const int* formats() const { return m_formats.data(); }

private:
    std::vector<std::string> m_storage;
    std::vector<bool> m_null;
    std::vector<int> m_lengths, m_formats;
    std::vector<const char*> m_pointers;
};

class PgConnection {
public:
    static platform::Result<std::unique_ptr<PgConnection>> connect(const std::string& uri);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // "database NAME on HOST:PORT as USER", for messages (never the password).
    const std::string& description() const { return m_description; }

    // Runs SQL without parameters (several statements may be given).
    platform::Result<PgResult> exec(const std::string& sql);
    platform::Result<PgResult> exec(const std::string& sql, PgParams& params);
    // Prepares the statement under `name` on first use (per connection) and runs it.
    platform::Result<PgResult> execPrepared(const std::string& name, const std::string& sql,
                                            PgParams& params);
    const std::string& lastSqlState() const { return m_lastSqlState; }
    bool inTransaction() const;
    bool isBroken() const;

private:
    explicit PgConnection(pg_conn* connection);
    platform::Status ensurePrepared(const std::string& name, const std::string& sql, int parameters);
    platform::Result<PgResult> finish(PgResult result);
    platform::Status connectionFailure(std::string_view doing) const;

    pg_conn* m_connection;
    std::string m_description;
    std::string m_lastSqlState;
    std::unordered_set<std::string> m_prepared;
};

}  // namespace host
