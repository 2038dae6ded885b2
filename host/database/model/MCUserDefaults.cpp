#include "host/database/model/MCUserDefaults.h"

#include <fmt/format.h>

#include "host/database/store/Store.h"

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

platform::Result<platform::Value> MCUserDefaults::valueOf(std::string_view key,
                                                          const std::optional<std::string>& stored) const {
    if (stored) {
        try {
            return platform::Value::parseJson(*stored);
        } catch (const platform::ValueError& error) {
            return platform::Status::error(
                fmt::format("setting \"{}\" holds damaged text: {}", key, error.what()));
        }
    }
    if (auto registration = registrationForKey(key))
        if (const auto* fallback = registration->find("DefaultValue")) return *fallback;
    return platform::Value();
}

platform::Result<platform::Value> MCUserDefaults::objectForKey(std::string_view key) {
    auto stored = m_store->setting(ownerFor(key), key);
    if (!stored) return stored.status().withContext(fmt::format("reading setting \"{}\"", key));
    return valueOf(key, *stored);
}

platform::Result<platform::Value> MCUserDefaults::updateObjectForKey(
    std::string_view key, const std::function<platform::Value(const platform::Value& current)>& change) {
    const int64_t owner = ownerFor(key);
    for (int attempt = 0; attempt < kUpdateAttempts; ++attempt) {
        auto stored = m_store->setting(owner, key);
        if (!stored) return stored.status().withContext(fmt::format("reading setting \"{}\"", key));
        auto current = valueOf(key, *stored);
        if (!current) return current.status();
        platform::Value updated = change(*current);
        std::optional<std::string> json;
        if (!updated.isNull()) json = updated.toJson();
        // Compared with the stored text itself, so that only a write in between fails it.
        auto written = m_store->compareAndSetSetting(owner, key, *stored, json);
        if (!written) return written.status().withContext(fmt::format("writing setting \"{}\"", key));
        if (*written) return updated;
    }
    return platform::Status::error(
        platform::Status::Code::Conflict,
        fmt::format(
            "setting \"{}\" was changed by others {} times while it was being updated; nothing was written",
            key, kUpdateAttempts));
}

platform::Status MCUserDefaults::setObjectForKey(const platform::Value& value, std::string_view key) {
    std::optional<std::string> json;
    if (!value.isNull()) json = value.toJson();
    return m_store->setSetting(ownerFor(key), key, json)
        .withContext(fmt::format("writing setting \"{}\"", key));
}
