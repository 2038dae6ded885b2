#pragma once

// StoreFactory: opens the store an address names -- the one place that decides between them.
//   "postgresql://..." or "postgres://..."  a PostgreSQL server (any libpq connection URI)
//   anything else                          a SQLite file at that path
// Opening checks the schema (creating it in an empty database when writing) and refuses a
// database of another program or of a newer schema, as each store's open() describes.

#include <chrono>
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
    };
    static bool isServerAddress(std::string_view address);
    static platform::Result<std::shared_ptr<Store>> open(const std::string& address);
    static platform::Result<std::shared_ptr<Store>> open(const std::string& address, const Options& options);
};

}  // namespace host
