#pragma once

// Transaction: a scope guard around BEGIN ... COMMIT. The destructor rolls back unless
// commit() succeeded, and never throws, so every early return leaves the file as it was.
// Transactions do not nest: begin on a connection already inside one fails.

#include "platform/foundation/Status.h"

namespace host {

class Database;

class Transaction {
public:
    // BEGIN IMMEDIATE: takes the write lock up front, so a busy file fails here rather than
    // half-way through the writes.
    static platform::Result<Transaction> begin(Database& db);

    Transaction(Transaction&& other) noexcept;
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    Transaction& operator=(Transaction&&) = delete;
    ~Transaction();

    // Commits; a second commit, or a commit after a failed one, is an error.
    platform::Status commit();
    void rollback();

private:
    explicit Transaction(Database* db) : m_db(db) {}
    Database* m_db;
    bool m_open = true;
};

}  // namespace host
