#include "host/app/UserDirectory.h"

#include "host/database/Database.h"
#include "host/database/Statement.h"

namespace host {

platform::Result<std::vector<UserEntry>> UserDirectory::allUsers(Database& database) {
    auto statement = database.prepare("SELECT loginName, name, active FROM \"User\" ORDER BY pk");
    if (!statement) return statement.status();
    std::vector<UserEntry> users;
    while (statement->step())
        users.push_back(
            {statement->columnText(0), statement->columnText(1), statement->columnInteger(2) != 0});
    if (!statement->lastStatus()) return statement->lastStatus();
    return users;
}

platform::Result<std::vector<std::string>> UserDirectory::activeSignInNames(Database& database) {
    auto users = allUsers(database);
    if (!users) return users.status();
    std::vector<std::string> names;
    for (const auto& user : users.value())
        if (user.active) names.push_back(user.signInName);
    return names;
}

}  // namespace host
