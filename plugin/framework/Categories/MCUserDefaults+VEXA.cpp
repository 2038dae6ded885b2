#include "host/database/model/MCUserDefaults.h"
#include "plugin/framework/Categories/MCUserDefaults+VEXA.h"

namespace {

// The text the host keeps as the default, whatever the type designation says.
std::string defaultText(const platform::Value& value) {
    if (value.isBool()) return value.asBool() ? "1" : "0";
    return value.description();
}

}  // namespace

platform::Dictionary::Entries kopaDatabaseUserDefaultRecord(const std::string& key,
                                                            const platform::Value& type,
                                                            const platform::Value& defaultValue,
                                                            bool global) {
    platform::Dictionary::Entries record{{"Key", platform::Value(key)},
                                         {"StorageType", platform::Value("Database")},
                                         {"Scope", platform::Value(global ? "Global" : "Host")},
                                         {"ValueType", type}};
    if (!defaultValue.isNull())
        record.emplace_back("DefaultValue", platform::Value(defaultText(defaultValue)));
    return record;
}

platform::Status kopaRegisterDatabaseUserDefaultWithKeyTypeDefaultValueGlobal(
    const std::string& key, const platform::Value& type, const platform::Value& defaultValue, bool global) {
    platform::Dictionary record(kopaDatabaseUserDefaultRecord(key, type, defaultValue, global));
    return MCUserDefaults::registerUserDefaultFromConfig(platform::Value(std::move(record)));
}
