#include "host/database/MCUserDefaults.h"

#include <fmt/format.h>

#include "host/database/Database.h"

namespace {

platform::Dictionary& registrations() {
    static platform::Dictionary table;
    return table;
}

constexpr int64_t kGlobalOwner = 0;

}  // namespace

platform::Status MCUserDefaults::registerUserDefaultFromConfig(const platform::Value& config) {
    auto fail = [](const std::string& why) {
        return platform::Status::error("user default registration: " + why);
    };
    if (!config.isDictionary()) return fail("the record must be a dictionary");
    const auto* key = config.find("Key");
    if (!key || !key->isString() || key->asString().empty()) return fail("\"Key\" must be a non-empty text");
    const auto* storage = config.find("StorageType");
    if (!storage || !storage->isString() || storage->asString() != "Database")
        return fail(fmt::format("\"{}\": \"StorageType\" must be \"Database\"", key->asString()));
    const auto* scope = config.find("Scope");
    if (!scope || !scope->isString() || (scope->asString() != "Global" && scope->asString() != "Host"))
        return fail(fmt::format("\"{}\": \"Scope\" must be \"Global\" or \"Host\"", key->asString()));
    if (!config.find("ValueType"))
        return fail(fmt::format("\"{}\": \"ValueType\" is missing", key->asString()));
    registrations()[key->asString()] = config;
    return platform::Status::ok();
}

std::optional<platform::Value> MCUserDefaults::registrationForKey(std::string_view key) {
    auto found = registrations().find(key);
    if (found == registrations().end()) return std::nullopt;
    return found->second;
}

void MCUserDefaults::removeAllRegistrations() {
    registrations().clear();
}

int64_t MCUserDefaults::ownerFor(std::string_view key) const {
    auto registration = registrationForKey(key);
    if (registration && registration->value("Scope", std::string_view()) == "Global") return kGlobalOwner;
    return m_userKey;
}

platform::Result<platform::Value> MCUserDefaults::objectForKey(std::string_view key) {
    auto statement =
        m_database->cached("SELECT value FROM zandrel_user_default WHERE user_pk = ? AND key = ?");
    if (!statement) return statement.status();
    (*statement)->bindInteger(1, ownerFor(key));
    (*statement)->bindText(2, key);
    if ((*statement)->step()) {
        try {
            return platform::Value::parseJson((*statement)->columnText(0));
        } catch (const platform::ValueError& error) {
            return platform::Status::error(
                fmt::format("setting \"{}\" holds damaged text: {}", key, error.what()));
        }
    }
    if (!(*statement)->lastStatus())
        return (*statement)->lastStatus().withContext(fmt::format("reading setting \"{}\"", key));
    if (auto registration = registrationForKey(key))
        if (const auto* fallback = registration->find("DefaultValue")) return *fallback;
    return platform::Value();
}

platform::Status MCUserDefaults::setObjectForKey(const platform::Value& value, std::string_view key) {
    auto statement = m_database->cached(
        value.isNull() ? "DELETE FROM zandrel_user_default WHERE user_pk = ? AND key = ?"
                       : "INSERT INTO zandrel_user_default (user_pk, key, value) VALUES (?, ?, ?)"
                         " ON CONFLICT (user_pk, key) DO UPDATE SET value = excluded.value");
    if (!statement) return statement.status();
    (*statement)->bindInteger(1, ownerFor(key));
    (*statement)->bindText(2, key);
    if (!value.isNull()) (*statement)->bindText(3, value.toJson());
    return (*statement)->run().withContext(fmt::format("writing setting \"{}\"", key));
}
