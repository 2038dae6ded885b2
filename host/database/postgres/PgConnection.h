#pragma once

// PgConnection: one libpq connection to a PostgreSQL server, and PgParams, the values bound to
// one statement. Every value travels as a bound parameter (PQexecParams/PQexecPrepared); the
// SQL text holds only identifiers and placeholders ($1, $2...).
//
// Connecting takes any libpq connection string or URI ("postgresql://USER@HOST:PORT/DBNAME",
// "host=... dbname=..."). The client encoding is UTF-8 whatever the environment says. Defaults
// the URI may override: a server that does not answer within the connect timeout (10 seconds)
// is reported, and TCP keepalives notice a server that vanished without closing the connection
// (keepalives_idle 30 s, then 3 probes 10 s apart). The server's notices are dropped.
//
// Bounded waits: statements are sent asynchronously and their replies awaited against a
// deadline (Limits::response). Past Limits::notice the onWaiting callback is told once, so the
// host can say it is waiting; past the deadline the statement is cancelled on the server (from a
// thread of its own, so a frozen postmaster cannot hold the host either), the connection is
// dropped and the statement fails with Code::Unavailable and timedOut() set. A prepared
// statement belongs to one connection: a new connection prepares again.
//
// Failures are Status errors carrying the server's message; lastSqlState() keeps the SQLSTATE
// of the last failed statement. Failures whose cause is the server's state rather than the
// statement (no connection slot left, a read-only standby, starting up, shutting down, no server
// at that address, no answer in time, the connection lost) carry Code::Unavailable and a message
// of their own with what to check (explainFailure). A URI is never echoed with its password.
// Not thread-safe: one connection per thread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/database/postgres/PgResult.h"
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
    // The text of value `index` (nullopt for NULL or bytes).
    std::optional<std::string> text(size_t index) const;
    // `count` values from `first` on, as parameters of their own.
    PgParams slice(size_t first, size_t count) const;
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

// Why a connection or statement failed, where the server's state is the cause.
enum class PgFailure {
    None,            // the statement's own failure (a constraint, a syntax error...)
    TooManyClients,  // 53300: max_connections reached
    ReadOnly,        // 25006 or a standby refused by target_session_attrs
    StartingUp,      // 57P03: the server is starting or recovering
    ShuttingDown,    // 57P01/57P02, "shutting down", terminated by an administrator
    Refused,         // nothing listens at that address (connection refused, no socket)
    TimedOut,        // no answer within the bound
    Lost,            // the connection broke for another reason
};

class PgConnection {
public:
    struct Limits {
        std::chrono::seconds connect{10};           // unless the URI gives connect_timeout
        std::chrono::milliseconds response{65000};  // a statement's reply, client side
        std::chrono::milliseconds notice{3000};     // then onWaiting is told (once per statement)
        std::function<void(const std::string&)> onWaiting;
        // A count that grows when the person asks to stop waiting (Ctrl-C at a terminal): the
        // statement is then cancelled as at the response limit, and the failure says so.
        std::function<uint64_t()> interrupts;
    };

    static platform::Result<std::unique_ptr<PgConnection>> connect(const std::string& uri);
    static platform::Result<std::unique_ptr<PgConnection>> connect(const std::string& uri,
                                                                   const Limits& limits);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // "database NAME on HOST:PORT as USER", for messages (never the password).
    const std::string& description() const { return m_description; }
    // The server process serving this connection.
    int backendPid() const;

    // Runs SQL without parameters (several statements may be given).
    platform::Result<PgResult> exec(const std::string& sql);
    platform::Result<PgResult> exec(const std::string& sql, PgParams& params);
    // Prepares the statement under `name` on first use (per connection) and runs it.
    platform::Result<PgResult> execPrepared(const std::string& name, const std::string& sql,
                                            PgParams& params);
    const std::string& lastSqlState() const { return m_lastSqlState; }
    // The last statement got no reply within the bound (the connection is then broken).
    bool timedOut() const { return m_timedOut; }
    bool inTransaction() const;
    bool isBroken() const;

    // The cause of a failure, from the SQLSTATE (if any) and the server's or libpq's text.
    static PgFailure classify(std::string_view sqlState, std::string_view message);
    // What to say for a failure of that cause at `where` ("database D on H:P as U"), with what
    // to check; `local` when every server the URI names is on this machine (only then is
    // starting a private cluster suggested). Empty for PgFailure::None.
    static std::string explainFailure(PgFailure cause, std::string_view where, bool local,
                                      std::string_view serverText);
    // The URI with any password replaced by "***" (user:pass@ and password=...).
    static std::string maskedUri(std::string_view uri);
    // Whether every host the URI names is this machine (or a Unix socket).
    static bool namesLocalServer(const std::string& uri);

private:
    PgConnection(pg_conn* connection, Limits limits);
    platform::Status ensurePrepared(const std::string& name, const std::string& sql, int parameters);
    // Waits for the replies of what was just sent; the last result (or the first failure).
    platform::Result<PgResult> await(bool sent);
    platform::Result<PgResult> finish(PgResult result);
    platform::Status connectionFailure(std::string_view serverText) const;
    void dropAfterTimeout();

    pg_conn* m_connection;
    Limits m_limits;
    bool m_local = false;
    bool m_timedOut = false;
    std::string m_description;
    std::string m_lastSqlState;
    std::unordered_set<std::string> m_prepared;
};

}  // namespace host
