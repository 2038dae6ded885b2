#include "host/database/sqlite/Database.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include "host/database/sqlite/SqliteSchema.h"

namespace host {

platform::Result<std::shared_ptr<Database>> Database::connect(const std::filesystem::path& file,
                                                              const Options& options) {
    const bool readOnly = options.mode == Mode::ReadOnly;
    sqlite3* db = nullptr;
    // One thread uses a connection at a time (see Database.h), so SQLite need not lock it on
    // every call.
    int rc = sqlite3_open_v2(
        file.c_str(), &db,
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX,
        nullptr);
    if (rc != SQLITE_OK) {
        std::string message = describeSqliteFailure(db, rc);
        sqlite3_close(db);
        return platform::Status::error(
            fmt::format("cannot open database file {}: {}", file.string(), message));
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, int(options.busyTimeout.count()));
    auto database = std::shared_ptr<Database>(new Database(db, file));
    database->m_readOnly = readOnly;
    return database;
}

platform::Result<std::shared_ptr<Database>> Database::open(const std::filesystem::path& file) {
    return open(file, Options{});
}

platform::Result<std::shared_ptr<Database>> Database::open(const std::filesystem::path& file,
                                                           Options options) {
    auto connection = connect(file, options);
    if (!connection) return connection.status();
    if (auto status = SqliteSchema::prepare(**connection); !status) return status;
    return connection;
}

Database::~Database() {
    m_statements.clear();  // statements must be finalized before the connection closes
    sqlite3_close(m_db);
}

platform::Status Database::exec(std::string_view sql) {
    char* error = nullptr;
    std::string text(sql);
    if (int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &error); rc != SQLITE_OK) {
        sqlite3_free(error);
        return platform::Status::error(describeSqliteFailure(m_db, rc));
    }
    return platform::Status::ok();
}

platform::Result<Statement> Database::prepare(std::string_view sql) {
    sqlite3_stmt* stmt = nullptr;
    if (int rc = sqlite3_prepare_v2(m_db, sql.data(), int(sql.size()), &stmt, nullptr); rc != SQLITE_OK)
        return platform::Status::error(fmt::format("{} (in {})", describeSqliteFailure(m_db, rc), sql));
    return Statement(m_db, stmt, std::string(sql));
}

platform::Result<CachedStatement> Database::cached(const std::string& sql) {
    auto found = m_statements.find(sql);
    if (found == m_statements.end()) {
        auto statement = prepare(sql);
        if (!statement) return statement.status();
        found = m_statements.emplace(sql, std::make_unique<Statement>(std::move(*statement))).first;
    }
    return CachedStatement(found->second.get());
}

std::string Database::lastErrorMessage() const {
    return sqlite3_errmsg(m_db);
}

int Database::lastErrorCode() const {
    return sqlite3_extended_errcode(m_db);
}

int Database::parameterLimit() const {
    return sqlite3_limit(m_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1);
}

bool Database::inTransaction() const {
    return sqlite3_get_autocommit(m_db) == 0;
}

}  // namespace host
