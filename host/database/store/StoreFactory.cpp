#include "host/database/store/StoreFactory.h"

#include "host/database/postgres/PostgresStore.h"
#include "host/database/sqlite/SqliteStore.h"

namespace host {

bool StoreFactory::isServerAddress(std::string_view address) {
    return address.starts_with("postgresql://") || address.starts_with("postgres://");
}

platform::Result<std::shared_ptr<Store>> StoreFactory::open(const std::string& address) {
    return open(address, Options{});
}

platform::Result<std::shared_ptr<Store>> StoreFactory::open(const std::string& address,
                                                            const Options& options) {
    if (isServerAddress(address)) {
        auto store = PostgresStore::open(address, options);
        if (!store) return store.status();
        return std::shared_ptr<Store>(std::move(*store));
    }
    auto store = SqliteStore::open(address, options);
    if (!store) return store.status();
    return std::shared_ptr<Store>(std::move(*store));
}

}  // namespace host
