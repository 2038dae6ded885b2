#include "host/database/model/UserAccount.h"

#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWUser.h"

namespace host {

platform::Result<std::vector<UserAccount>> UserAccount::list(std::shared_ptr<Database> database) {
    auto context = DLPObjectContext::withoutUser(std::move(database));
    auto users = context->objectsForEntityNamedQualifierLocumBindings(GWUser::kEntityName, "");
    if (!users) return users.status().withContext("listing users");
    std::vector<UserAccount> accounts;
    for (const auto& object : *users) {
        const auto& user = static_cast<const GWUser&>(*object);
        UserAccount account;
        account.key = user.primaryKeyValue();
        account.signInName = user.loginName().isString() ? user.loginName().asString() : std::string();
        account.name = user.name().isString() ? user.name().asString() : std::string();
        account.contactID = user.contactID().isInteger() ? user.contactID().asInteger() : 0;
        account.active = user.active() == platform::Value(true);
        accounts.push_back(std::move(account));
    }
    return accounts;
}

}  // namespace host
