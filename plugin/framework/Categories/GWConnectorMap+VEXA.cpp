#include <cmath>
#include <string_view>
#include <vector>

#include "platform/foundation/JsonReader.h"
#include "plugin/framework/Categories/GWConnectorMap+VEXA.h"
#include "plugin/framework/Classes/VEXALog.h"

namespace {

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF), which is what JSON text must be.
bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (byte >= 0xC2 && byte <= 0xDF) {
            length = 2;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            length = 3;
            if (byte == 0xE0) low = 0xA0;
            if (byte == 0xED) high = 0x9F;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            length = 4;
            if (byte == 0xF0) low = 0x90;
            if (byte == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

// Why the value cannot be written as JSON that reads back equal, or "" when it can. Walks with
// an explicit stack, so a deeply nested value costs memory, not the call stack.
std::string unwritableReason(const platform::Value& root) {
    std::vector<const platform::Value*> pending{&root};
    while (!pending.empty()) {
        const platform::Value& value = *pending.back();
        pending.pop_back();
        if (value.isString() && !isValidUtf8(value.asString())) return "a text is not valid UTF-8";
        if (value.type() == platform::Value::Type::Real && !value.isLargeInteger() &&
            !std::isfinite(value.asReal()))
            return "a number is not finite (JSON has no NaN or infinity)";
        if (value.isArray())
            for (const auto& element : value.asArray()) pending.push_back(&element);
        if (value.isDictionary())
            for (const auto& [key, member] : value.asDictionary()) {
                if (!isValidUtf8(key)) return "a key is not valid UTF-8";
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
