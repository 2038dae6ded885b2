#include "host/database/sqlite/Transaction.h"

#include <utility>

#include "host/database/sqlite/Database.h"

namespace host {

platform::Result<Transaction> Transaction::begin(Database& db) {
    if (db.inTransaction()) return platform::Status::error("a transaction is already open on this database");
    if (auto status = db.exec("BEGIN IMMEDIATE"); !status)
        return status.withContext("beginning a transaction");
    return Transaction(&db);
}

Transaction::Transaction(Transaction&& other) noexcept
    : m_db(other.m_db), m_open(std::exchange(other.m_open, false)) {}

Transaction::~Transaction() {
    rollback();
}

platform::Status Transaction::commit() {
    if (!m_open) return platform::Status::error("the transaction is no longer open");
    auto status = m_db->exec("COMMIT");
    if (!status) {
        rollback();
        return status.withContext("committing");
    }
    m_open = false;
    return status;
}

void Transaction::rollback() {
    if (!m_open) return;
    m_open = false;
    // A failed statement may already have ended the transaction; only roll back what is open.
    if (m_db->inTransaction()) (void)m_db->exec("ROLLBACK");
}

}  // namespace host
