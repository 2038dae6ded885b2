#pragma once

// UserAccount: a user of a host database as the sign-in screen lists it, read without signing
// anybody in.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Status.h"

namespace host {

class Database;

struct UserAccount {
    int64_t key = 0;
    std::string signInName;  // User.loginName
    std::string name;
    int64_t contactID = 0;
    bool active = false;

    // Every user of the file, in primary key order (the order the users were made).
    static platform::Result<std::vector<UserAccount>> list(std::shared_ptr<Database> database);
};

}  // namespace host
