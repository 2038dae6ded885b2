#pragma once

// Statement: one prepared SQLite statement, finalized with its owner. Values are bound by
// position (1-based, as SQLite counts) and copied, so the caller's values may change right
// after the bind (except bindBorrowed..., for bytes that outlive the statement's use). A statement is reused
// by reset(); bindings are cleared with it.
//
// Values map to SQLite storage like this (see toStored()):
//   null -> NULL, integer -> INTEGER, real -> REAL, text -> TEXT, boolean -> INTEGER 0/1.
// Arrays and dictionaries have no SQLite form; the object database keeps them as JSON in a
// BLOB (StoredValue::Kind::Blob) so they read back as what was written.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/database/store/StoredValue.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace host {

class Database;

class Statement {
public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    void bind(int index, const StoredValue& value);
    void bindNull(int index);
    void bindInteger(int index, int64_t value);
    void bindText(int index, std::string_view value);
    void bindReal(int index, double value);
    // Not copied: the bytes must stay unchanged until the statement is reset.
    void bindBorrowedText(int index, std::string_view value);
    void bindBorrowedBlob(int index, std::string_view value);

    // Advances: true when a row is ready, false when done; a failure is an error Status in
    // lastStatus() and step() returns false.
    bool step();
    // Runs to completion (for statements without rows).
    platform::Status run();
    const platform::Status& lastStatus() const { return m_status; }
    // SQLite's result code of the last failed step (0 after success).
    int lastErrorCode() const { return m_errorCode; }
    void reset();

    int columnCount() const;
    bool isNull(int column) const;
    int64_t columnInteger(int column) const;
    std::string columnText(int column) const;
    StoredValue columnStored(int column) const;

    const std::string& sql() const { return m_sql; }

private:
    friend class Database;
    Statement(sqlite3* db, sqlite3_stmt* stmt, std::string sql)
        : m_db(db), m_stmt(stmt), m_sql(std::move(sql)) {}

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    std::string m_sql;
    platform::Status m_status;
    int m_errorCode = 0;
};

// SQLite's message for a failure, followed by what to do where the cause is outside the
// program: "database is locked: another program is using the file; ...".
std::string describeSqliteFailure(sqlite3* db, int code);

}  // namespace host
