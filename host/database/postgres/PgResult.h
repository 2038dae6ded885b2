#pragma once

// PgResult: one libpq result (PGresult), cleared with its owner. Values are read in libpq's
// text form; a column's text stays valid while the result lives.
//
// A result also carries a failure: ok() is false and status() names the server's message (with
// its detail and hint, when it sent them) and sqlState() the SQLSTATE code ("23505" for a
// unique violation...), so callers can both report and classify it.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/Status.h"

struct pg_result;

namespace host {

class PgResult {
public:
    PgResult() = default;
    explicit PgResult(pg_result* result) : m_result(result) {}
    PgResult(PgResult&& other) noexcept;
    PgResult& operator=(PgResult&& other) noexcept;
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;
    ~PgResult();

    // A command or query that succeeded (a copy or pipeline state counts as success too).
    bool ok() const;
    // Ok, or the server's (or libpq's) message for the failure.
    platform::Status status() const;
    // The five-character SQLSTATE of a failure reported by the server, else empty.
    std::string sqlState() const;

    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    std::string_view text(int row, int column) const;
    // The column's value as a whole number; 0 for NULL or a non-number.
    int64_t integer(int row, int column) const;
    // The command tag ("INSERT 0 1", "COMMIT", or "ROLLBACK" for a COMMIT the server refused).
    std::string_view commandTag() const;
    // Rows touched by INSERT/UPDATE/DELETE.
    int64_t affectedRows() const;

    pg_result* get() const { return m_result; }

private:
    pg_result* m_result = nullptr;
};

}  // namespace host
