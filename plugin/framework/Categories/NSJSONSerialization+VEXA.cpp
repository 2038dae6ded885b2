#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include "plugin/framework/Categories/NSJSONSerialization+VEXA.h"
#include "plugin/framework/Categories/NSString+VEXA.h"

platform::Value kopaJSONObjectWithContentsOfFile(const std::filesystem::path& path, uint64_t options) {
    platform::Result<std::string> contents = kopaContentsOfFile(path);
    if (!contents) throw KOPAException("NSInvalidArgumentException", contents.status().message());
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(*contents);
    } catch (const nlohmann::json::exception& e) {
        throw KOPAException("JSONDeserializationError", e.what());
    }
    if (!(options & KOPAJSONReadingFragmentsAllowed) && !json.is_object() && !json.is_array())
        throw KOPAException(
            "JSONDeserializationError",
            fmt::format("{}: the top-level value is a {}, not an object or array (fragments not allowed)",
                        path.string(), json.type_name()));
    return platform::Value::fromJson(json);
}
