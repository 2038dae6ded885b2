#pragma once

// StoreFactory: opens the store an address names -- the one place that decides between them.
//   "postgresql://..." or "postgres://..."  a PostgreSQL server (any libpq connection URI)
//   anything else                          a SQLite file at that path
// Opening checks the schema and refuses a database of another program or of a newer schema, as
// each store's open() describes. An empty PostgreSQL database is given the tables only when asked
// (createSchema: --init-demo and the explicit init command); otherwise it is refused, saying how
// to create it.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/Status.h"

namespace host {

class Store;

class StoreFactory {
public:
    struct Options {
        // Never writes: the schema is not created or completed, and every save fails.
        bool readOnly = false;
        // How long a statement waits for another connection's lock before it fails as busy.
        std::chrono::milliseconds busyTimeout{5000};
        // PostgreSQL: create the tables in an empty database (or schema). Without it an empty one
        // is refused; a Zandrel database missing newer tables is completed either way.
        bool createSchema = false;

        // --- PostgreSQL only: a server that restarts, fails over, freezes or is busy ---
        // A broken connection is opened again at the next operation: this many tries, waiting
        // reconnectDelay before the second and twice as long before each further one (5 tries,
        // 0.5 s: about 8 s in all, plus each try's connect timeout).
        int connectAttempts = 5;
        std::chrono::milliseconds reconnectDelay{500};
        // A server with no connection slot left is alive, only full: a host waits up to this long
        // for a slot (idle hosts release theirs), asking again every second or two.
        std::chrono::milliseconds busyServerWait{90000};
        // How long the server may take to answer a connection attempt (libpq's connect_timeout;
        // at least 2 s; a connect_timeout in the URI wins).
        std::chrono::seconds connectTimeout{10};
        // The server cancels a statement running longer (statement_timeout).
        std::chrono::milliseconds statementTimeout{60000};
        // The host gives up on a reply after this long (a frozen server, a COMMIT waiting for a
        // synchronous standby that is down), cancels the statement and drops the connection.
        std::chrono::milliseconds responseTimeout{65000};
        // After this long without a reply, waitingNotice is told once per statement.
        std::chrono::milliseconds slowNotice{3000};
        // What to do with "waiting for the database..." and similar notes; platform::Log when
        // empty.
        std::function<void(const std::string&)> waitingNotice{};
        // Grows when the person asks to stop waiting for the server (Ctrl-C at a terminal): the
        // statement waited for is cancelled and fails as unavailable (the host keeps the changes).
        std::function<uint64_t()> interrupts{};
        // A connection unused this long is closed (by a timer on the main run loop; never in
        // the middle of a save) and opened again at the next operation. Zero keeps it.
        std::chrono::milliseconds idleRelease{10000};
    };
    static bool isServerAddress(std::string_view address);
    static platform::Result<std::shared_ptr<Store>> open(const std::string& address);
    static platform::Result<std::shared_ptr<Store>> open(const std::string& address, const Options& options);
};

}  // namespace host
