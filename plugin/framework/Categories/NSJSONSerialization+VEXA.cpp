#include <fmt/format.h>

#include "platform/foundation/JsonReader.h"
#include "plugin/framework/Categories/NSJSONSerialization+VEXA.h"
#include "plugin/framework/Categories/NSString+VEXA.h"

platform::Value kopaJSONObjectWithContentsOfFile(const std::filesystem::path& path, uint64_t options) {
    platform::Result<std::string> contents = kopaContentsOfFile(path);
    if (!contents) throw KOPAException("NSInvalidArgumentException", contents.status().message());
    platform::Value value;
    try {
        value = platform::JsonReader::parse(*contents);
    } catch (const platform::JsonError& e) {
        throw KOPAException("JSONDeserializationError", fmt::format("{}: {}", path.string(), e.what()));
    }
    if (!(options & KOPAJSONReadingFragmentsAllowed) && !value.isDictionary() && !value.isArray())
        throw KOPAException(
            "JSONDeserializationError",
            fmt::format("{}: the top-level value is a {}, not an object or array (fragments not allowed)",
                        path.string(), platform::Value::typeName(value.type())));
    return value;
}
