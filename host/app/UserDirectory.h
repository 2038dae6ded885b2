#pragma once

// UserDirectory: who may sign in, read before anyone has signed in (the login window's list,
// `zandrel-host users`).

#include <string>
#include <vector>

#include "platform/foundation/Status.h"

namespace host {

class Database;

struct UserEntry {
    std::string signInName;
    std::string name;
    bool active = false;
};

class UserDirectory {
public:
    // Every user in key order (the order they were added).
    static platform::Result<std::vector<UserEntry>> allUsers(Database& database);
    static platform::Result<std::vector<std::string>> activeSignInNames(Database& database);
};

}  // namespace host
