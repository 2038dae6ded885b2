#pragma once

// Making a setting kept in the host database known to the host's settings store.

#include <string>

#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

// The host's registration record for a setting stored in its database, entries in the order the
// host defines: "Key", "StorageType" ("Database"), "Scope" ("Global" or "Host"), "ValueType"
// (the type designation as given) and, only when a default is given (not null), "DefaultValue"
// as text: a text stays as it is, a number gives its decimal text, a boolean "1" or "0".
platform::Dictionary::Entries kopaDatabaseUserDefaultRecord(const std::string& key,
                                                            const platform::Value& type,
                                                            const platform::Value& defaultValue, bool global);

// Hands that record to the host; afterwards the setting is readable and writable through the
// host's user defaults under its key, with its default until a value is stored. The host's
// refusal (an empty key, say) comes back as the error.
platform::Status kopaRegisterDatabaseUserDefaultWithKeyTypeDefaultValueGlobal(
    const std::string& key, const platform::Value& type, const platform::Value& defaultValue, bool global);
