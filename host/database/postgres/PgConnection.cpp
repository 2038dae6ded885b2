#include "host/database/postgres/PgConnection.h"

#include <fmt/format.h>
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

namespace host {

namespace {

void dropNotice(void*, const char*) {}

std::string trimmed(const char* text) {
    std::string message = text ? text : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    return message;
}

// libpq's text for one failure may span lines (one per server tried): one line each, joined.
std::string oneLine(std::string_view text) {
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() != ' ') line += "; ";
        } else if (c != '\t') {
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';')) line.pop_back();
    return line;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// "database D on H:P as U" from a URI, before any connection exists.
std::string describeUri(const std::string& uri) {
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), nullptr);
    std::string db, host, port, user;
    for (PQconninfoOption* option = options; option && option->keyword; ++option) {
        if (!option->val) continue;
        std::string_view keyword = option->keyword;
        if (keyword == "dbname") db = option->val;
        if (keyword == "host" || (keyword == "hostaddr" && host.empty())) host = option->val;
        if (keyword == "port") port = option->val;
        if (keyword == "user") user = option->val;
    }
    PQconninfoFree(options);
    if (host.empty()) host = "localhost";
    if (port.empty()) port = "5432";
    if (db.empty()) db = user.empty() ? "(your login name)" : user;
    return fmt::format("database {} on {}:{}{}", db, host, port, user.empty() ? "" : " as " + user);
}

using Clock = std::chrono::steady_clock;

}  // namespace

void PgParams::reserve(size_t count) {
    m_storage.reserve(count);
    m_null.reserve(count);
    m_lengths.reserve(count);
    m_formats.reserve(count);
}

void PgParams::clear() {
    m_storage.clear();
    m_null.clear();
    m_lengths.clear();
    m_formats.clear();
}

void PgParams::addNull() {
    m_storage.emplace_back();
    m_null.push_back(true);
    m_lengths.push_back(0);
    m_formats.push_back(0);
}

void PgParams::addText(std::string_view text) {
    m_storage.emplace_back(text);
    m_null.push_back(false);
    m_lengths.push_back(int(text.size()));
    m_formats.push_back(0);
}

void PgParams::addInteger(int64_t value) {
    char digits[24];
    auto written = fmt::format_to_n(digits, sizeof digits, "{}", value);
    addText(std::string_view(digits, written.size));
}

void PgParams::addReal(double value) {
    // Shortest text that reads back as the same double; the server parses it exactly.
    addText(fmt::format("{}", value));
}

void PgParams::addBoolean(bool value) {
    addText(value ? "t" : "f");
}

void PgParams::addBytes(std::string_view bytes) {
    m_storage.emplace_back(bytes);
    m_null.push_back(false);
    m_lengths.push_back(int(bytes.size()));
    m_formats.push_back(1);
}

std::optional<std::string> PgParams::text(size_t index) const {
    if (index >= m_storage.size() || m_null[index] || m_formats[index] != 0) return std::nullopt;
    return m_storage[index];
}

PgParams PgParams::slice(size_t first, size_t count) const {
    PgParams part;
    part.reserve(count);
    for (size_t i = first; i < first + count && i < m_storage.size(); ++i) {
        part.m_storage.push_back(m_storage[i]);
        part.m_null.push_back(m_null[i]);
        part.m_lengths.push_back(m_lengths[i]);
        part.m_formats.push_back(m_formats[i]);
    }
    return part;
}

const char* const* PgParams::values() {
    m_pointers.resize(m_storage.size());
    for (size_t i = 0; i < m_storage.size(); ++i) m_pointers[i] = m_null[i] ? nullptr : m_storage[i].data();
    return m_pointers.data();
}

PgConnection::PgConnection(pg_conn* connection, Limits limits)
    : m_connection(connection), m_limits(std::move(limits)) {
    PQsetNoticeProcessor(m_connection, dropNotice, nullptr);
    m_description = fmt::format("database {} on {}:{} as {}", PQdb(m_connection), PQhost(m_connection),
                                PQport(m_connection), PQuser(m_connection));
}

PgConnection::~PgConnection() {
    if (m_connection) PQfinish(m_connection);
}

std::string PgConnection::maskedUri(std::string_view uri) {
    std::string out(uri);
    // user:password@host
    if (auto scheme = out.find("://"); scheme != std::string::npos) {
        const size_t start = scheme + 3;
        const size_t end = std::min(out.find('/', start), out.find('?', start));
        const size_t at = out.rfind('@', end == std::string::npos ? out.size() : end);
        if (at != std::string::npos && at > start) {
            const size_t colon = out.find(':', start);
            if (colon != std::string::npos && colon < at) out.replace(colon + 1, at - colon - 1, "***");
        }
    }
    // password=... in a query string or a keyword/value string
    for (size_t at = out.find("password="); at != std::string::npos; at = out.find("password=", at + 1)) {
        const size_t value = at + 9;
        size_t end = value;
        if (end < out.size() && out[end] == '\'') {
            end = out.find('\'', end + 1);
            end = end == std::string::npos ? out.size() : end + 1;
        } else {
            while (end < out.size() && out[end] != '&' && out[end] != ' ') ++end;
        }
        out.replace(value, end - value, "***");
    }
    return out;
}

bool PgConnection::namesLocalServer(const std::string& uri) {
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), nullptr);
    std::string hosts;
    for (PQconninfoOption* option = options; option && option->keyword; ++option)
        if (option->val && std::string_view(option->keyword) == "host") hosts = option->val;
    PQconninfoFree(options);
    if (hosts.empty()) return true;  // the Unix socket
    size_t start = 0;
    while (start <= hosts.size()) {
        size_t end = hosts.find(',', start);
        if (end == std::string::npos) end = hosts.size();
        std::string_view host = std::string_view(hosts).substr(start, end - start);
        const bool local = host.empty() || host.front() == '/' || host == "localhost" ||
                           host.starts_with("127.") || host == "::1" || host == "[::1]";
        if (!local) return false;
        start = end + 1;
    }
    return true;
}

PgFailure PgConnection::classify(std::string_view sqlState, std::string_view message) {
    // A role's or a database's CONNECTION LIMIT refuses the same way as max_connections.
    if (sqlState == "53300" || contains(message, "too many clients") ||
        contains(message, "too many connections for") ||
        contains(message, "remaining connection slots are reserved"))
        return PgFailure::TooManyClients;
    if (sqlState == "25006" || contains(message, "session is read-only") ||
        contains(message, "hot standby mode") || contains(message, "read-only transaction"))
        return PgFailure::ReadOnly;
    if (sqlState == "57P01" || sqlState == "57P02" || contains(message, "shutting down") ||
        contains(message, "terminating connection due to administrator command") ||
        contains(message, "terminating connection because of crash"))
        return PgFailure::ShuttingDown;
    if (sqlState == "57P03" || contains(message, "starting up") ||
        contains(message, "not yet accepting connections") || contains(message, "in recovery mode"))
        return PgFailure::StartingUp;
    if (contains(message, "Connection refused") ||
        (contains(message, "on socket") && contains(message, "No such file or directory")))
        return PgFailure::Refused;
    if (contains(message, "timeout expired") || contains(message, "timed out")) return PgFailure::TimedOut;
    return PgFailure::None;
}

std::string PgConnection::explainFailure(PgFailure cause, std::string_view where, bool local,
                                         std::string_view serverText) {
    const std::string said = serverText.empty() ? "" : fmt::format(" ({})", oneLine(serverText));
    switch (cause) {
        case PgFailure::None:
            return "";
        case PgFailure::TooManyClients:
            return fmt::format(
                "the PostgreSQL server of the {} has no connection left (too many clients: max_connections "
                "or a connection limit is reached){}; close hosts that are not in use, raise "
                "max_connections, or put a pooler "
                "(PgBouncer) in front, then try again",
                where, said);
        case PgFailure::ReadOnly:
            return fmt::format(
                "the PostgreSQL server of the {} takes no writes: it is a read-only standby{}; point the "
                "URI at the primary, or name every server with ?target_session_attrs=read-write so the "
                "host finds the one that takes writes",
                where, said);
        case PgFailure::StartingUp:
            return fmt::format(
                "the PostgreSQL server of the {} is starting up (or recovering) and takes no connections "
                "yet{}; try again in a moment",
                where, said);
        case PgFailure::ShuttingDown:
            return fmt::format(
                "the PostgreSQL server of the {} is shutting down or was restarted{}; try again once it is "
                "back (if it stays away, ask whoever runs it)",
                where, said);
        case PgFailure::Refused:
            if (local)
                return fmt::format(
                    "no PostgreSQL server runs for the {}{}; check that the server runs and the URI names "
                    "it (scripts/pg-cluster start DIR starts a private one for development)",
                    where, said);
            return fmt::format(
                "the PostgreSQL server of the {} cannot be reached{}; check that it runs and listens on "
                "that address and port (listen_addresses, port) and that no firewall is in between",
                where, said);
        case PgFailure::TimedOut:
            return fmt::format(
                "the PostgreSQL server of the {} did not answer in time{}; check that the server is not "
                "frozen (a stopped process, a full disk), that the network to it works, and that a "
                "synchronous standby it waits for (synchronous_standby_names) is up",
                where, said);
        case PgFailure::Lost:
            break;
    }
    return fmt::format("the connection to the {} was lost{}; check that the server runs, then try again",
                       where, said);
}

platform::Result<std::unique_ptr<PgConnection>> PgConnection::connect(const std::string& uri) {
    return connect(uri, Limits{});
}

platform::Result<std::unique_ptr<PgConnection>> PgConnection::connect(const std::string& uri,
                                                                      const Limits& limits) {
    // Checked first, so a mistyped URI is named as such rather than as an unreachable server.
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &parseError);
    if (!options) {
        std::string why = parseError ? trimmed(parseError) : "out of memory";
        PQfreemem(parseError);
        return platform::Status::error(
            fmt::format("\"{}\" is not a PostgreSQL connection URI ({}); write it as "
                        "postgresql://USER@HOST:PORT/DBNAME",
                        maskedUri(uri), why));
    }
    PQconninfoFree(options);

    // Defaults first: the URI's own settings override them; the encoding is ours to choose.
    const std::string connectTimeout = std::to_string(std::max<int64_t>(2, limits.connect.count()));
    const char* keywords[] = {"connect_timeout", "application_name",    "keepalives",
                              "keepalives_idle", "keepalives_interval", "keepalives_count",
                              "dbname",          "client_encoding",     nullptr};
    const char* values[] = {
        connectTimeout.c_str(), "zandrel-host", "1", "30", "10", "3", uri.c_str(), "UTF8", nullptr};
    pg_conn* connection = PQconnectdbParams(keywords, values, 1);
    if (!connection) return platform::Status::error("cannot connect to PostgreSQL: out of memory");
    if (PQstatus(connection) != CONNECTION_OK) {
        const std::string why = trimmed(PQerrorMessage(connection));
        PQfinish(connection);
        const std::string where = describeUri(uri);
        const PgFailure cause = classify("", why);
        if (cause == PgFailure::None)
            return platform::Status::error(fmt::format(
                "cannot connect to the PostgreSQL {}: {}; check that the server runs and the URI names it",
                where, oneLine(why)));
        return platform::Status::error(
            platform::Status::Code::Unavailable,
            "cannot connect: " + explainFailure(cause, where, namesLocalServer(uri), why));
    }
    auto made = std::unique_ptr<PgConnection>(new PgConnection(connection, limits));
    made->m_local = namesLocalServer(uri);
    return made;
}

int PgConnection::backendPid() const {
    return m_connection ? PQbackendPID(m_connection) : 0;
}

platform::Status PgConnection::connectionFailure(std::string_view serverText) const {
    PgFailure cause = classify(m_lastSqlState, serverText);
    if (cause == PgFailure::None || cause == PgFailure::Refused) cause = PgFailure::Lost;
    return platform::Status::error(platform::Status::Code::Unavailable,
                                   explainFailure(cause, m_description, m_local, serverText));
}

platform::Result<PgResult> PgConnection::finish(PgResult result) {
    if (result.ok()) {
        m_lastSqlState.clear();
        return result;
    }
    m_lastSqlState = result.sqlState();
    if (isBroken()) {
        std::string text = result.get() ? trimmed(PQresultErrorMessage(result.get())) : "";
        if (text.empty() && m_connection) text = trimmed(PQerrorMessage(m_connection));
        return connectionFailure(text);
    }
    const PgFailure cause = classify(m_lastSqlState, "");
    if (cause == PgFailure::ReadOnly)
        return platform::Status::error(
            platform::Status::Code::Unavailable,
            explainFailure(cause, m_description, m_local, result.status().message()));
    // Busy (lock_timeout) or cancelled: nothing of the statement took effect; try again.
    if (m_lastSqlState == "55P03" || m_lastSqlState == "57014")
        return platform::Status::error(platform::Status::Code::Unavailable, result.status().message());
    return result.status();
}

void PgConnection::dropAfterTimeout() {
    m_timedOut = true;
    // The server may still be working on it (waiting for a standby, say): cancelled so it stops.
    // PQcancel blocks until the postmaster answers, and a frozen one never does: hence a thread.
    if (PGcancel* cancel = PQgetCancel(m_connection)) {
        std::thread([cancel] {
            char error[256];
            (void)PQcancel(cancel, error, sizeof error);
            PQfreeCancel(cancel);
        }).detach();
    }
    PQfinish(m_connection);
    m_connection = nullptr;
}

platform::Result<PgResult> PgConnection::await(bool sent) {
    m_timedOut = false;
    if (!sent) return finish(PgResult());
    const auto started = Clock::now();
    const auto deadline = started + m_limits.response;
    const auto noticeAt = started + m_limits.notice;
    bool told = false;
    const uint64_t interruptsBefore = m_limits.interrupts ? m_limits.interrupts() : 0;
    std::optional<PgResult> kept;
    for (;;) {
        while (PQisBusy(m_connection)) {
            const auto now = Clock::now();
            if (m_limits.interrupts && m_limits.interrupts() != interruptsBefore) {
                dropAfterTimeout();
                m_lastSqlState.clear();
                return platform::Status::error(
                    platform::Status::Code::Unavailable,
                    fmt::format("waiting for the {} was stopped (Ctrl-C) after {:.1f} s; the statement was "
                                "cancelled",
                                m_description, std::chrono::duration<double>(now - started).count()));
            }
            if (now >= deadline) {
                dropAfterTimeout();
                m_lastSqlState.clear();
                return platform::Status::error(
                    platform::Status::Code::Unavailable,
                    explainFailure(PgFailure::TimedOut, m_description, m_local,
                                   fmt::format("no reply within {} s, the statement was cancelled",
                                               std::chrono::duration<double>(m_limits.response).count())));
            }
            if (!told && now >= noticeAt) {
                told = true;
                const std::string text = "waiting for the " + m_description + "...";
                if (m_limits.onWaiting) m_limits.onWaiting(text);
            }
            const auto until = told ? deadline : std::min(deadline, noticeAt);
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
            pollfd socket{PQsocket(m_connection), POLLIN, 0};
            if (socket.fd < 0) break;
            // Ctrl-C interrupts the poll; the short cap also notices a count that grew otherwise.
            const int64_t cap = m_limits.interrupts ? 250 : 60000;
            if (poll(&socket, 1, int(std::min<int64_t>(wait, cap))) < 0 && errno != EINTR) break;
            if (!PQconsumeInput(m_connection)) break;
        }
        PgResult result(PQgetResult(m_connection));
        if (!result.get()) break;
        // The first failure wins; otherwise the last statement's result.
        if (!kept || kept->ok()) kept = std::move(result);
    }
    return finish(kept ? std::move(*kept) : PgResult());
}

platform::Result<PgResult> PgConnection::exec(const std::string& sql) {
    if (!m_connection) return finish(PgResult());
    return await(PQsendQuery(m_connection, sql.c_str()) == 1);
}

platform::Result<PgResult> PgConnection::exec(const std::string& sql, PgParams& params) {
    if (!m_connection) return finish(PgResult());
    return await(PQsendQueryParams(m_connection, sql.c_str(), params.count(), nullptr, params.values(),
                                   params.lengths(), params.formats(), 0) == 1);
}

platform::Status PgConnection::ensurePrepared(const std::string& name, const std::string& sql,
                                              int parameters) {
    if (m_prepared.count(name)) return platform::Status::ok();
    if (!m_connection) return finish(PgResult()).status();
    auto prepared = await(PQsendPrepare(m_connection, name.c_str(), sql.c_str(), parameters, nullptr) == 1);
    if (!prepared)
        return prepared.status().withContext("preparing " +
                                             (sql.size() > 200 ? sql.substr(0, 200) + "..." : sql));
    m_prepared.insert(name);
    return platform::Status::ok();
}

platform::Result<PgResult> PgConnection::execPrepared(const std::string& name, const std::string& sql,
                                                      PgParams& params) {
    if (auto status = ensurePrepared(name, sql, params.count()); !status) return status;
    return await(PQsendQueryPrepared(m_connection, name.c_str(), params.count(), params.values(),
                                     params.lengths(), params.formats(), 0) == 1);
}

bool PgConnection::inTransaction() const {
    return m_connection && PQtransactionStatus(m_connection) != PQTRANS_IDLE;
}

bool PgConnection::isBroken() const {
    return !m_connection || PQstatus(m_connection) == CONNECTION_BAD;
}

}  // namespace host
