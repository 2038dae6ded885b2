#pragma once

// RawCopy: the floor the duplicate benchmarks compare with -- the rows a copy of the template
// "Source" (BenchHost) consists of, written straight through the database's own library in one
// transaction with one prepared INSERT: a template row and N field-definition rows holding the
// values BenchHost::fill gives. Both write the host's own tables (the database must have them).
// Each returns the database's message on failure, "" on success.

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdint>
#include <string>

namespace bench {

class RawCopy {
public:
    // Keys 1 (template) and 1..N (fields): the tables must be empty.
    static std::string intoSqlite(sqlite3* db, int64_t fields);
    // The same rows, `rowsPerStatement` to one prepared INSERT (the last statement takes the
    // rest), as the host's SQLite store writes a save.
    static std::string intoSqliteBatched(sqlite3* db, int64_t fields, int64_t rowsPerStatement);
    // Keys from the tables' sequences.
    static std::string intoPostgres(PGconn* db, int64_t fields);
};

}  // namespace bench
