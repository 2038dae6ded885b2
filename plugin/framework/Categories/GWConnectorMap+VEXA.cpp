#include <cmath>
#include <string_view>
#include <vector>

#include "platform/foundation/JsonReader.h"
#include "platform/foundation/UTF8.h"
#include "plugin/framework/Categories/GWConnectorMap+VEXA.h"
#include "plugin/framework/Classes/VEXALog.h"

namespace {

// Why the value cannot be written as JSON that reads back equal, or "" when it can. Walks with
// an explicit stack, so a deeply nested value costs memory, not the call stack.
std::string unwritableReason(const platform::Value& root) {
    std::vector<const platform::Value*> pending{&root};
    while (!pending.empty()) {
        const platform::Value& value = *pending.back();
        pending.pop_back();
        if (value.isString() && !platform::UTF8::isValid(value.asString()))
            return "a text is not valid UTF-8";
        if (value.type() == platform::Value::Type::Real && !value.isLargeInteger() &&
            !std::isfinite(value.asReal()))
            return "a number is not finite (JSON has no NaN or infinity)";
        if (value.isArray())
            for (const auto& element : value.asArray()) pending.push_back(&element);
        if (value.isDictionary())
            for (const auto& [key, member] : value.asDictionary()) {
                if (!platform::UTF8::isValid(key)) return "a key is not valid UTF-8";
                pending.push_back(&member);
            }
    }
    return {};
}

platform::Value readDictionary(const platform::Value& stored) {
    if (!stored.isString()) return platform::Dictionary();
    platform::Value parsed;
    try {
        parsed = platform::JsonReader::parse(stored.asString());
    } catch (const platform::ValueError& error) {
        KOPA_LOG("error: {}", error.what());
        return platform::Dictionary();
    }
    if (parsed.isDictionary()) return parsed;
    if (!parsed.isArray())
        KOPA_LOG("error: the stored JSON is a {}, not an object or array",
                 platform::Value::typeName(parsed.type()));
    return platform::Dictionary();
}

platform::Result<platform::Value> writableText(const platform::Value& dictionary) {
    std::string why = dictionary.isDictionary() ? unwritableReason(dictionary)
                                                : std::string("only a dictionary can be stored, not a ") +
                                                      platform::Value::typeName(dictionary.type());
    if (!why.empty()) {
        KOPA_LOG("error: {}", why);
        return platform::Status::error("the connector map's JSON was left as it was: " + why);
    }
    return platform::Value(dictionary.toJson());
}

}  // namespace

platform::Value kopaJSONDictionaryForForeignDatabase(const GWConnectorMap& map) {
    return readDictionary(map.foreignDatabase());
}

platform::Status kopaSetJSONDictionaryForForeignDatabase(GWConnectorMap& map,
                                                         const platform::Value& dictionary) {
    auto text = writableText(dictionary);
    if (!text) return text.status();
    map.setForeignDatabase(*text);
    return platform::Status::ok();
}

platform::Value kopaJSONDictionaryForForeignID(const GWConnectorMap& map) {
    return readDictionary(map.foreignID());
}

platform::Status kopaSetJSONDictionaryForForeignID(GWConnectorMap& map, const platform::Value& dictionary) {
    auto text = writableText(dictionary);
    if (!text) return text.status();
    map.setForeignID(*text);
    return platform::Status::ok();
}
