#include "host/app/UserDirectory.h"

#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWUser.h"

namespace host {

platform::Result<std::vector<UserEntry>> UserDirectory::allUsers(const std::shared_ptr<Store>& store) {
    auto found = DLPObjectContext::withoutUser(store)->objectsForEntityNamedQualifierLocumBindings(
        GWUser::kEntityName, "");
    if (!found) return found.status();
    auto text = [](const platform::Value& value) {
        return value.isString() ? value.asString() : std::string();
    };
    std::vector<UserEntry> users;
    for (const auto& object : *found) {
        const auto& user = static_cast<const GWUser&>(*object);
        const platform::Value active = user.active();
        users.push_back({text(user.loginName()), text(user.name()),
                         (active.isBool() || active.isInteger()) && active.asBool()});
    }
    return users;
}

platform::Result<std::vector<std::string>> UserDirectory::activeSignInNames(
    const std::shared_ptr<Store>& store) {
    auto users = allUsers(store);
    if (!users) return users.status();
    std::vector<std::string> names;
    for (const auto& user : users.value())
        if (user.active) names.push_back(user.signInName);
    return names;
}

}  // namespace host
