#pragma once

// Database: one SQLite connection to a host database file, opened and checked by Schema.
// It owns a cache of prepared statements so repeated work (saves, relation reads, fetches with
// the same qualifier) prepares each SQL text once per connection.
//
// Lifetime: statements handed out by cached() belong to the Database and must not outlive it;
// CachedStatement resets the statement when it goes out of scope so the next user starts clean.
// Not thread-safe: the host uses its database from the main thread only.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/database/sqlite/Statement.h"
#include "platform/foundation/Status.h"

struct sqlite3;

namespace host {

class CachedStatement {
public:
    explicit CachedStatement(Statement* statement) : m_statement(statement) {}
    CachedStatement(CachedStatement&& other) noexcept
        : m_statement(std::exchange(other.m_statement, nullptr)) {}
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;
    CachedStatement& operator=(CachedStatement&&) = delete;
    ~CachedStatement() {
        if (m_statement) m_statement->reset();
    }
    Statement* operator->() const { return m_statement; }
    Statement& operator*() const { return *m_statement; }

private:
    Statement* m_statement;
};

class Database {
public:
    enum class Mode {
        // Creates a missing file, gives an empty one the schema and completes an older one.
        ReadWrite,
        // Never writes: a missing or empty file is refused, tables of entities the file lacks
        // exist for this connection only (empty), and every write fails.
        ReadOnly,
    };
    struct Options {
        Mode mode = Mode::ReadWrite;
        // How long a statement waits for another program's lock before it fails as busy.
        std::chrono::milliseconds busyTimeout{5000};
    };

    // Opens the file and checks that it is ours (see Schema.h). Fails, naming the file and
    // what to do, for a file of another program or of a newer schema, a damaged or unreadable
    // file, and a file another program keeps locked longer than the busy timeout.
    static platform::Result<std::shared_ptr<Database>> open(const std::filesystem::path& file);
    static platform::Result<std::shared_ptr<Database>> open(const std::filesystem::path& file,
                                                            Options options);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // Runs SQL without bindings or results (schema statements, pragmas, BEGIN/COMMIT).
    platform::Status exec(std::string_view sql);
    platform::Result<Statement> prepare(std::string_view sql);
    // The prepared statement for this SQL text, prepared on first use.
    platform::Result<CachedStatement> cached(const std::string& sql);

    std::string lastErrorMessage() const;
    // SQLite's result code of the connection's last failure.
    int lastErrorCode() const;
    bool inTransaction() const;
    bool isReadOnly() const { return m_readOnly; }
    // The most parameters one statement may have (SQLite's build sets it).
    int parameterLimit() const;

private:
    friend class Schema;
    Database(sqlite3* db, std::filesystem::path path) : m_db(db), m_path(std::move(path)) {}
    // Opens the connection only, without checking the file (Schema's job).
    static platform::Result<std::shared_ptr<Database>> connect(const std::filesystem::path& file,
                                                               const Options& options);

    sqlite3* m_db;
    std::filesystem::path m_path;
    bool m_readOnly = false;
    std::unordered_map<std::string, std::unique_ptr<Statement>> m_statements;
};

}  // namespace host
