#pragma once

// MCUserDefaults: the host's settings store, kept in the host database (zandrel_user_default)
// so every machine using the database sees the same values.
//
// A setting is made known with the class-side registerUserDefaultFromConfig, given a record
//   { "Key": text, "StorageType": "Database", "Scope": "Global" | "Host",
//     "ValueType": any, "DefaultValue": text (optional) }
// Registrations are per process (the host's settings registry) and a later registration of a
// key replaces the earlier one. Global settings hold one value for everybody; other settings
// (scope "Host", or keys never registered) hold one value per signed-in user.
//
// Reads give the stored value, else the registered default (as the text it was registered
// with), else null. Writes go to the database at once, outside the object context's pending
// changes; writing null removes the stored value. Values keep their type (stored as JSON).
// Every read asks the database, so a value another host saved is seen at the next read.
//
// A value computed from the stored one (a counter, a list one adds to) is changed with
// updateObjectForKey, never with a read followed by a write: the change is written only if the
// stored value is still the one it was computed from, atomically against every other host, and
// is computed again from the newer value otherwise, so no host's change is lost.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/foundation/Object.h"
#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

namespace host {
class Store;
}

class MCUserDefaults : public platform::Object {
public:
    MCUserDefaults(std::shared_ptr<host::Store> store, int64_t userKey)
        : m_store(std::move(store)), m_userKey(userKey) {}

    // A malformed record is an error saying which entry is wrong; nothing is registered then.
    static platform::Status registerUserDefaultFromConfig(const platform::Value& config);
    static std::optional<platform::Value> registrationForKey(std::string_view key);
    static void removeAllRegistrations();

    platform::Result<platform::Value> objectForKey(std::string_view key);
    platform::Status setObjectForKey(const platform::Value& value, std::string_view key);
    platform::Status removeObjectForKey(std::string_view key) {
        return setObjectForKey(platform::Value(), key);
    }
    // Stores change(current), where current is what objectForKey gives now (the registered
    // default when nothing is stored; a null result removes the value), if the stored value is
    // still the same when it is written; otherwise reads again and calls change again, at most
    // kUpdateAttempts times in all. Gives the value stored. A busy or unreachable database, a
    // damaged stored value, or still losing to other writers after the last attempt (Conflict)
    // is an error, and nothing is written then.
    static constexpr int kUpdateAttempts = 64;
    platform::Result<platform::Value> updateObjectForKey(
        std::string_view key, const std::function<platform::Value(const platform::Value& current)>& change);

private:
    int64_t ownerFor(std::string_view key) const;
    // The value a stored text (or its absence) stands for.
    platform::Result<platform::Value> valueOf(std::string_view key,
                                              const std::optional<std::string>& stored) const;

    std::shared_ptr<host::Store> m_store;
    int64_t m_userKey;
};
