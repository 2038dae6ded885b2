#include "bench/support/RawCopy.h"

#include <fmt/format.h>

#include <algorithm>

#include "platform/foundation/Value.h"

namespace bench {

namespace {

const std::string& optionsJson() {
    static const std::string json = platform::Value(platform::Array{"Low", "Medium", "High"}).toJson();
    return json;
}

std::string sqliteExec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK) return "";
    std::string message = error ? error : sqlite3_errmsg(db);
    sqlite3_free(error);
    return message;
}

// The message of a failed result ("" for success); clears it.
std::string pgOutcome(PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    std::string message =
        status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ? "" : PQresultErrorMessage(result);
    PQclear(result);
    return message;
}

}  // namespace

std::string RawCopy::intoSqlite(sqlite3* db, int64_t fields) {
    if (auto error = sqliteExec(db, "BEGIN IMMEDIATE"); !error.empty()) return error;
    if (auto error =
            sqliteExec(db, "INSERT INTO CustomRecordSetDefinition (pk, name, active) VALUES (1, 'Copy', 1)");
        !error.empty()) {
        sqliteExec(db, "ROLLBACK");
        return error;
    }
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO CustomRecordDefinition (pk, active, defaultValue, details, name, "
                           "options, typeCode, customRecordSetDefinitionID, position) VALUES (?, ?, ?, ?, ?, "
                           "?, ?, ?, ?)",
                           -1, &insert, nullptr) != SQLITE_OK) {
        std::string error = sqlite3_errmsg(db);
        sqliteExec(db, "ROLLBACK");
        return error;
    }
    std::string error;
    for (int64_t i = 0; i < fields && error.empty(); ++i) {
        const std::string details = fmt::format("Field number {}", i);
        const std::string name = fmt::format("Field {}", i);
        sqlite3_bind_int64(insert, 1, i + 1);
        sqlite3_bind_int64(insert, 2, 1);
        if (i % 3 == 0)
            sqlite3_bind_text(insert, 3, "Medium", -1, SQLITE_STATIC);
        else
            sqlite3_bind_null(insert, 3);
        sqlite3_bind_text(insert, 4, details.c_str(), int(details.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
        if (i % 3 == 0)
            sqlite3_bind_blob(insert, 6, optionsJson().data(), int(optionsJson().size()), SQLITE_STATIC);
        else
            sqlite3_bind_null(insert, 6);
        sqlite3_bind_int64(insert, 7, i % 5);
        sqlite3_bind_int64(insert, 8, 1);
        sqlite3_bind_int64(insert, 9, i);
        if (sqlite3_step(insert) != SQLITE_DONE) error = sqlite3_errmsg(db);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (!error.empty()) {
        sqliteExec(db, "ROLLBACK");
        return error;
    }
    return sqliteExec(db, "COMMIT");
}

std::string RawCopy::intoSqliteBatched(sqlite3* db, int64_t fields, int64_t rowsPerStatement) {
    if (auto error = sqliteExec(db, "BEGIN IMMEDIATE"); !error.empty()) return error;
    if (auto error =
            sqliteExec(db, "INSERT INTO CustomRecordSetDefinition (pk, name, active) VALUES (1, 'Copy', 1)");
        !error.empty()) {
        sqliteExec(db, "ROLLBACK");
        return error;
    }
    auto prepare = [&](int64_t rows, sqlite3_stmt** statement) {
        std::string sql =
            "INSERT INTO CustomRecordDefinition (pk, active, defaultValue, details, name, options, typeCode, "
            "customRecordSetDefinitionID, position) VALUES ";
        for (int64_t row = 0; row < rows; ++row)
            sql += row ? ", (?, ?, ?, ?, ?, ?, ?, ?, ?)" : "(?, ?, ?, ?, ?, ?, ?, ?, ?)";
        return sqlite3_prepare_v2(db, sql.c_str(), -1, statement, nullptr) == SQLITE_OK;
    };
    sqlite3_stmt* full = nullptr;
    std::string error;
    if (!prepare(rowsPerStatement, &full)) error = sqlite3_errmsg(db);
    for (int64_t first = 0; first < fields && error.empty(); first += rowsPerStatement) {
        const int64_t rows = std::min(rowsPerStatement, fields - first);
        sqlite3_stmt* insert = full;
        if (rows != rowsPerStatement && !prepare(rows, &insert)) {
            error = sqlite3_errmsg(db);
            break;
        }
        for (int64_t row = 0; row < rows; ++row) {
            const int64_t i = first + row;
            const int base = int(row) * 9;
            const std::string details = fmt::format("Field number {}", i);
            const std::string name = fmt::format("Field {}", i);
            sqlite3_bind_int64(insert, base + 1, i + 1);
            sqlite3_bind_int64(insert, base + 2, 1);
            if (i % 3 == 0)
                sqlite3_bind_text(insert, base + 3, "Medium", -1, SQLITE_STATIC);
            else
                sqlite3_bind_null(insert, base + 3);
            sqlite3_bind_text(insert, base + 4, details.c_str(), int(details.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, base + 5, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
            if (i % 3 == 0)
                sqlite3_bind_blob(insert, base + 6, optionsJson().data(), int(optionsJson().size()),
                                  SQLITE_STATIC);
            else
                sqlite3_bind_null(insert, base + 6);
            sqlite3_bind_int64(insert, base + 7, i % 5);
            sqlite3_bind_int64(insert, base + 8, 1);
            sqlite3_bind_int64(insert, base + 9, i);
        }
        if (sqlite3_step(insert) != SQLITE_DONE) error = sqlite3_errmsg(db);
        sqlite3_reset(insert);
        if (insert != full) sqlite3_finalize(insert);
    }
    sqlite3_finalize(full);
    if (!error.empty()) {
        sqliteExec(db, "ROLLBACK");
        return error;
    }
    return sqliteExec(db, "COMMIT");
}

std::string RawCopy::intoPostgres(PGconn* db, int64_t fields) {
    if (auto error = pgOutcome(PQexec(db, "BEGIN")); !error.empty()) return error;
    std::string error =
        pgOutcome(PQexec(db,
                         "INSERT INTO \"CustomRecordSetDefinition\" (pk, name, active) "
                         "VALUES (nextval('\"CustomRecordSetDefinition_pk_seq\"'), 'Copy', 1)"));
    if (error.empty())
        error = pgOutcome(
            PQprepare(db, "",
                      "INSERT INTO \"CustomRecordDefinition\" (pk, active, \"defaultValue\", details, name, "
                      "options, \"typeCode\", \"customRecordSetDefinitionID\", position) VALUES "
                      "(nextval('\"CustomRecordDefinition_pk_seq\"'), 1, $1, $2, $3, $4, $5, "
                      "currval('\"CustomRecordSetDefinition_pk_seq\"'), $6)",
                      6, nullptr));
    // Attributes of any type are stored as a tag byte and the value ("t" text, "b" JSON).
    const std::string defaultValue = "tMedium", options = "b" + optionsJson();
    for (int64_t i = 0; i < fields && error.empty(); ++i) {
        const std::string details = fmt::format("Field number {}", i), name = fmt::format("Field {}", i),
                          type = std::to_string(i % 5), position = std::to_string(i);
        const bool popUp = i % 3 == 0;
        const char* values[] = {popUp ? defaultValue.c_str() : nullptr, details.c_str(), name.c_str(),
                                popUp ? options.c_str() : nullptr,      type.c_str(),    position.c_str()};
        const int lengths[] = {int(defaultValue.size()), 0, 0, int(options.size()), 0, 0};
        const int formats[] = {1, 0, 0, 1, 0, 0};
        error = pgOutcome(PQexecPrepared(db, "", 6, values, lengths, formats, 0));
    }
    if (!error.empty()) {
        pgOutcome(PQexec(db, "ROLLBACK"));
        return error;
    }
    return pgOutcome(PQexec(db, "COMMIT"));
}

}  // namespace bench
