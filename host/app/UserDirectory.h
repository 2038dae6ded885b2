#pragma once

// UserDirectory: who may sign in, read before anyone has signed in (the login window's list,
// `zandrel-host users`).

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Status.h"

namespace host {

class Store;

struct UserEntry {
    std::string signInName;
    std::string name;
    bool active = false;
};

class UserDirectory {
public:
    // Every user in key order (the order they were added).
    static platform::Result<std::vector<UserEntry>> allUsers(const std::shared_ptr<Store>& store);
    static platform::Result<std::vector<std::string>> activeSignInNames(const std::shared_ptr<Store>& store);
};

}  // namespace host
