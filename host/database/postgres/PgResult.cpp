#include "host/database/postgres/PgResult.h"

#include <libpq-fe.h>

#include <charconv>
#include <utility>

namespace host {

PgResult::PgResult(PgResult&& other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}

PgResult& PgResult::operator=(PgResult&& other) noexcept {
    if (this != &other) {
        PQclear(m_result);
        m_result = std::exchange(other.m_result, nullptr);
    }
    return *this;
}

PgResult::~PgResult() {
    PQclear(m_result);
}

bool PgResult::ok() const {
    if (!m_result) return false;
    switch (PQresultStatus(m_result)) {
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK:
        case PGRES_SINGLE_TUPLE:
        case PGRES_PIPELINE_SYNC:
        case PGRES_COPY_IN:
        case PGRES_COPY_OUT:
            return true;
        default:
            return false;
    }
}

platform::Status PgResult::status() const {
    if (ok()) return platform::Status::ok();
    if (!m_result) return platform::Status::error("the server sent no reply (the connection was lost)");
    if (PQresultStatus(m_result) == PGRES_PIPELINE_ABORTED)
        return platform::Status::error("not run: an earlier statement of the same save failed");
    std::string message = PQresultErrorField(m_result, PG_DIAG_MESSAGE_PRIMARY)
                              ? PQresultErrorField(m_result, PG_DIAG_MESSAGE_PRIMARY)
                              : PQresultErrorMessage(m_result);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    if (message.empty()) message = PQresStatus(PQresultStatus(m_result));
    if (const char* detail = PQresultErrorField(m_result, PG_DIAG_MESSAGE_DETAIL))
        message += std::string(" (") + detail + ")";
    if (const char* hint = PQresultErrorField(m_result, PG_DIAG_MESSAGE_HINT))
        message += std::string("; ") + hint;
    return platform::Status::error(message);
}

std::string PgResult::sqlState() const {
    const char* state = m_result ? PQresultErrorField(m_result, PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
}

int PgResult::rows() const {
    return m_result ? PQntuples(m_result) : 0;
}

int PgResult::columns() const {
    return m_result ? PQnfields(m_result) : 0;
}

bool PgResult::isNull(int row, int column) const {
    return PQgetisnull(m_result, row, column) != 0;
}

std::string_view PgResult::text(int row, int column) const {
    return {PQgetvalue(m_result, row, column), size_t(PQgetlength(m_result, row, column))};
}

int64_t PgResult::integer(int row, int column) const {
    std::string_view digits = text(row, column);
    int64_t value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return value;
}

std::string_view PgResult::commandTag() const {
    return m_result ? PQcmdStatus(m_result) : "";
}

int64_t PgResult::affectedRows() const {
    const char* count = m_result ? PQcmdTuples(m_result) : "";
    int64_t value = 0;
    std::from_chars(count, count + std::char_traits<char>::length(count), value);
    return value;
}

}  // namespace host
