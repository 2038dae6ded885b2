#include "host/database/model/OptionsCache.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWUser.h"

namespace host {

namespace {

using ObjectList = std::vector<std::shared_ptr<DLPObject>>;

int compareFolded(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int x = std::tolower(static_cast<unsigned char>(a[i]));
        int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

platform::Result<ObjectList> activeByName(DLPObjectContext& context, const char* entity) {
    auto objects = context.objectsForEntityNamedQualifierLocumBindings(entity, "active == YES");
    if (!objects) return objects;
    auto nameOf = [](const std::shared_ptr<DLPObject>& object) -> std::string {
        auto name = object->valueForKey("name");
        return name && name->isString() ? name->asString() : std::string();
    };
    std::vector<std::pair<std::string, std::shared_ptr<DLPObject>>> keyed;
    keyed.reserve(objects->size());
    for (auto& object : *objects) keyed.emplace_back(nameOf(object), object);
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return OptionsCache::ordersBefore(a.first, a.second->primaryKeyValue(), b.first,
                                          b.second->primaryKeyValue());
    });
    ObjectList sorted;
    sorted.reserve(keyed.size());
    for (auto& [name, object] : keyed) sorted.push_back(std::move(object));
    return sorted;
}

template <typename T>
platform::Result<std::vector<std::shared_ptr<T>>> typed(platform::Result<ObjectList> objects) {
    if (!objects) return objects.status();
    std::vector<std::shared_ptr<T>> result;
    result.reserve(objects->size());
    for (auto& object : *objects) result.push_back(std::static_pointer_cast<T>(object));
    return result;
}

}  // namespace

bool OptionsCache::ordersBefore(const std::string& a, int64_t aKey, const std::string& b, int64_t bKey) {
    int c = compareFolded(a, b);
    return c != 0 ? c < 0 : aKey < bKey;
}

platform::Result<ObjectList> OptionsCache::valueForKey(std::string_view key) {
    if (key == "activeCustomRecordSetDefinitions")
        return activeByName(m_context, CustomRecordSetDefinition::kEntityName);
    if (key == "activeUsers") return activeByName(m_context, GWUser::kEntityName);
    return platform::Status::error(fmt::format(
        "the options cache has no list \"{}\" (it has: activeCustomRecordSetDefinitions, activeUsers)", key));
}

platform::Result<std::vector<std::shared_ptr<CustomRecordSetDefinition>>>
OptionsCache::activeCustomRecordSetDefinitions() {
    return typed<CustomRecordSetDefinition>(valueForKey("activeCustomRecordSetDefinitions"));
}

platform::Result<std::vector<std::shared_ptr<GWUser>>> OptionsCache::activeUsers() {
    return typed<GWUser>(valueForKey("activeUsers"));
}

}  // namespace host
