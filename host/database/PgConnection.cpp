#include "host/database/PgConnection.h"

#include <fmt/format.h>
#include <libpq-fe.h>

#include <cstring>

namespace host {

namespace {

void dropNotice(void*, const char*) {}

std::string trimmed(const char* text) {
    std::string message = text ? text : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    return message;
}

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

const char* const* PgParams::values() {
    m_pointers.resize(m_storage.size());
    for (size_t i = 0; i < m_storage.size(); ++i) m_pointers[i] = m_null[i] ? nullptr : m_storage[i].data();
    return m_pointers.data();
}

PgConnection::PgConnection(pg_conn* connection) : m_connection(connection) {
    PQsetNoticeProcessor(m_connection, dropNotice, nullptr);
    m_description = fmt::format("database {} on {}:{} as {}", PQdb(m_connection), PQhost(m_connection),
                                PQport(m_connection), PQuser(m_connection));
}

PgConnection::~PgConnection() {
    PQfinish(m_connection);
}

platform::Result<std::unique_ptr<PgConnection>> PgConnection::connect(const std::string& uri) {
    // Checked first, so a mistyped URI is named as such rather than as an unreachable server.
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &parseError);
    if (!options) {
        std::string why = parseError ? trimmed(parseError) : "out of memory";
        PQfreemem(parseError);
        return platform::Status::error(
            fmt::format("\"{}\" is not a PostgreSQL connection URI ({}); write it as "
                        "postgresql://USER@HOST:PORT/DBNAME",
                        uri, why));
    }
    PQconninfoFree(options);

    // Defaults first: the URI's own settings override them; the encoding is ours to choose.
    const char* keywords[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char* values[] = {"10", "zandrel-host", uri.c_str(), "UTF8", nullptr};
    pg_conn* connection = PQconnectdbParams(keywords, values, 1);
    if (!connection) return platform::Status::error("cannot connect to PostgreSQL: out of memory");
    if (PQstatus(connection) != CONNECTION_OK) {
        std::string why = trimmed(PQerrorMessage(connection));
        std::string database = PQdb(connection) ? PQdb(connection) : "";
        PQfinish(connection);
        return platform::Status::error(
            fmt::format("cannot connect to the PostgreSQL database \"{}\": {}; check that the server runs "
                        "and the URI names it (scripts/pg-cluster start DIR starts a private one)",
                        database, why));
    }
    return std::unique_ptr<PgConnection>(new PgConnection(connection));
}

platform::Status PgConnection::connectionFailure(std::string_view doing) const {
    return platform::Status::error(
        fmt::format("{}: the connection to the {} was lost ({}); check that the server runs, then try again",
                    doing, m_description, trimmed(PQerrorMessage(m_connection))));
}

platform::Result<PgResult> PgConnection::finish(PgResult result) {
    if (result.ok()) {
        m_lastSqlState.clear();
        return result;
    }
    m_lastSqlState = result.sqlState();
    if (isBroken()) return connectionFailure("running a statement");
    return result.status();
}

platform::Result<PgResult> PgConnection::exec(const std::string& sql) {
    return finish(PgResult(PQexec(m_connection, sql.c_str())));
}

platform::Result<PgResult> PgConnection::exec(const std::string& sql, PgParams& params) {
    return finish(PgResult(PQexecParams(m_connection, sql.c_str(), params.count(), nullptr, params.values(),
                                        params.lengths(), params.formats(), 0)));
}

platform::Status PgConnection::ensurePrepared(const std::string& name, const std::string& sql,
                                              int parameters) {
    if (m_prepared.count(name)) return platform::Status::ok();
    auto prepared = finish(PgResult(PQprepare(m_connection, name.c_str(), sql.c_str(), parameters, nullptr)));
    if (!prepared) return prepared.status().withContext("preparing " + sql);
    m_prepared.insert(name);
    return platform::Status::ok();
}

platform::Result<PgResult> PgConnection::execPrepared(const std::string& name, const std::string& sql,
                                                      PgParams& params) {
    if (auto status = ensurePrepared(name, sql, params.count()); !status) return status;
    return finish(PgResult(PQexecPrepared(m_connection, name.c_str(), params.count(), params.values(),
                                          params.lengths(), params.formats(), 0)));
}

bool PgConnection::inTransaction() const {
    return PQtransactionStatus(m_connection) != PQTRANS_IDLE;
}

bool PgConnection::isBroken() const {
    return PQstatus(m_connection) == CONNECTION_BAD;
}

}  // namespace host
