#include "host/database/sqlite/Statement.h"

#include <sqlite3.h>

#include <cstring>
#include <utility>

namespace host {

std::string describeSqliteFailure(sqlite3* db, int code) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    switch (code & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return message +
                   ": another program is using the file; wait until it is done (or close it) and try again";
        case SQLITE_FULL:
            return message + ": free some disk space and try again";
        case SQLITE_READONLY:
            return message + ": the file or its folder cannot be written; check their permissions";
        case SQLITE_IOERR:
            return message + ": the file could not be read or written; check the disk";
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
            return message + ": check the path and its permissions";
        default:
            return message;
    }
}

Statement::Statement(Statement&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)),
      m_stmt(std::exchange(other.m_stmt, nullptr)),
      m_sql(std::move(other.m_sql)),
      m_status(std::move(other.m_status)),
      m_errorCode(other.m_errorCode) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = std::exchange(other.m_db, nullptr);
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_sql = std::move(other.m_sql);
        m_status = std::move(other.m_status);
        m_errorCode = other.m_errorCode;
    }
    return *this;
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

void Statement::bind(int index, const StoredValue& value) {
    switch (value.kind) {
        case StoredValue::Kind::Null:
            sqlite3_bind_null(m_stmt, index);
            break;
        case StoredValue::Kind::Integer:
            sqlite3_bind_int64(m_stmt, index, value.integer);
            break;
        case StoredValue::Kind::Real:
            sqlite3_bind_double(m_stmt, index, value.real);
            break;
        case StoredValue::Kind::Text:
            sqlite3_bind_text64(m_stmt, index, value.bytes.data(), value.bytes.size(), SQLITE_TRANSIENT,
                                SQLITE_UTF8);
            break;
        case StoredValue::Kind::Blob:
            sqlite3_bind_blob64(m_stmt, index, value.bytes.data(), value.bytes.size(), SQLITE_TRANSIENT);
            break;
        case StoredValue::Kind::List:
            // SQLite has no array parameter; its dialect writes every member as its own.
            sqlite3_bind_null(m_stmt, index);
            break;
    }
}

void Statement::bindNull(int index) {
    sqlite3_bind_null(m_stmt, index);
}
void Statement::bindInteger(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
}
void Statement::bindText(int index, std::string_view value) {
    sqlite3_bind_text64(m_stmt, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Statement::bindReal(int index, double value) {
    sqlite3_bind_double(m_stmt, index, value);
}
void Statement::bindBorrowedText(int index, std::string_view value) {
    sqlite3_bind_text64(m_stmt, index, value.data(), value.size(), SQLITE_STATIC, SQLITE_UTF8);
}
void Statement::bindBorrowedBlob(int index, std::string_view value) {
    sqlite3_bind_blob64(m_stmt, index, value.data(), value.size(), SQLITE_STATIC);
}

bool Statement::step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
        m_status = platform::Status::ok();
        m_errorCode = 0;
        return false;
    }
    m_errorCode = rc;
    m_status = platform::Status::error(describeSqliteFailure(m_db, rc));
    return false;
}

platform::Status Statement::run() {
    while (step()) {
    }
    platform::Status result = m_status;
    reset();
    return result;
}

void Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const {
    return sqlite3_column_count(m_stmt);
}
bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}
int64_t Statement::columnInteger(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string Statement::columnText(int column) const {
    auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    if (!text) return {};
    return std::string(text, sqlite3_column_bytes(m_stmt, column));
}

StoredValue Statement::columnStored(int column) const {
    switch (sqlite3_column_type(m_stmt, column)) {
        case SQLITE_INTEGER:
            return StoredValue::fromInteger(sqlite3_column_int64(m_stmt, column));
        case SQLITE_FLOAT:
            return StoredValue::fromReal(sqlite3_column_double(m_stmt, column));
        case SQLITE_TEXT:
            return StoredValue::fromText(columnText(column));
        case SQLITE_BLOB: {
            auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
            return StoredValue::fromBlob(std::string(data ? data : "", sqlite3_column_bytes(m_stmt, column)));
        }
        default:
            return StoredValue::null();
    }
}

}  // namespace host
