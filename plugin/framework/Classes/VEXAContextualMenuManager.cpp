#include "plugin/framework/Classes/VEXAContextualMenuManager.h"

#include <functional>

#include "platform/foundation/UserDefaults.h"

namespace {

bool hasText(const platform::Value& dictionary, std::string_view key, std::string_view text) {
    const auto* value = dictionary.isDictionary() ? dictionary.find(key) : nullptr;
    return value && value->isString() && value->asString() == text;
}

bool hasSelector(const platform::Value& item, const std::string& selectorName) {
    return hasText(item, "SelectorName", selectorName);
}

// The class entries that may be changed: dictionaries of the class with a "MenuItems" array.
bool isEditableEntry(const platform::Value& entry, const std::string& className) {
    if (!hasText(entry, "Classname", className)) return false;
    const auto* items = entry.find("MenuItems");
    return items && items->isArray();
}

// The configuration with the entry at `index` given new items; everything else as it was.
platform::Value withItems(const platform::Value& configuration, size_t index, platform::Array items) {
    platform::Value changed = configuration;
    changed.asArray()[index].asDictionary()["MenuItems"] = platform::Value(std::move(items));
    return changed;
}

// Applies `change` to the stored configuration. Nothing is written when it changes nothing (so a
// registered default never lands in the file); otherwise it is applied again under the file's
// lock to what is stored then, so items another host added meanwhile stay.
platform::Status store(
    const std::function<std::optional<platform::Value>(const platform::Value& configuration)>& change) {
    auto& defaults = platform::UserDefaults::standard();
    const std::string key = KOPAContextualMenuManager::kConfigurationKey;
    if (!change(defaults.objectForKey(key))) return platform::Status::ok();
    auto updated = defaults.updateObjectForKey(key, [&](const platform::Value& current) {
        auto changed = change(current);
        return changed ? *changed : current;
    });
    if (!updated) return updated.status().withContext("storing the contextual menu configuration");
    return platform::Status::ok();
}

}  // namespace

platform::Value KOPAContextualMenuManager::separatorItem() {
    return platform::Dictionary{{"MenuItemType", "SeparatorItem"}, {"DisplayString", "--------------------"}};
}

bool KOPAContextualMenuManager::isSeparatorItem(const platform::Value& item) {
    return hasText(item, "MenuItemType", "SeparatorItem");
}

std::optional<platform::Value> KOPAContextualMenuManager::configurationByAddingItem(
    const platform::Value& configuration, const std::string& className, const std::string& displayString,
    const std::string& itemDescription, const std::string& selectorName, uint64_t options) {
    if (!configuration.isArray()) return std::nullopt;
    const auto& entries = configuration.asArray();
    for (size_t index = 0; index < entries.size(); ++index) {
        if (!isEditableEntry(entries[index], className)) continue;
        platform::Array items = entries[index].asDictionary().at("MenuItems").asArray();
        for (const auto& item : items)
            if (hasSelector(item, selectorName)) return std::nullopt;
        platform::Value entry = platform::Dictionary{{"DisplayString", displayString},
                                                     {"ItemDescription", itemDescription},
                                                     {"Classname", className},
                                                     {"SelectorName", selectorName}};
        const size_t before = items.size();
        const bool first = options & KOPAContextualMenuItemOptionInsertFirst;
        items.insert(first ? items.begin() : items.end(), std::move(entry));
        if (options & KOPAContextualMenuItemOptionAddSeparator)
            items.insert(items.begin() + static_cast<ptrdiff_t>(first ? 1 : before), separatorItem());
        return withItems(configuration, index, std::move(items));
    }
    return std::nullopt;
}

std::optional<platform::Value> KOPAContextualMenuManager::configurationByRemovingItem(
    const platform::Value& configuration, const std::string& className, const std::string& selectorName,
    bool removeSeparatorItems) {
    if (!configuration.isArray()) return std::nullopt;
    const auto& entries = configuration.asArray();
    for (size_t index = 0; index < entries.size(); ++index) {
        if (!isEditableEntry(entries[index], className)) continue;
        platform::Array items = entries[index].asDictionary().at("MenuItems").asArray();
        size_t k = 0;
        while (k < items.size() && !hasSelector(items[k], selectorName)) ++k;
        if (k == items.size()) continue;
        items.erase(items.begin() + static_cast<ptrdiff_t>(k));
        if (removeSeparatorItems && !items.empty()) {
            if (k > 0 && isSeparatorItem(items[k - 1]))
                items.erase(items.begin() + static_cast<ptrdiff_t>(k - 1));
            else if (k + 1 < items.size() && isSeparatorItem(items[k]))
                items.erase(items.begin() + static_cast<ptrdiff_t>(k));
        }
        return withItems(configuration, index, std::move(items));
    }
    return std::nullopt;
}

platform::Status KOPAContextualMenuManager::addMenuItemToContextualMenuForClassNamed(
    const std::string& className, const std::string& displayString, const std::string& itemDescription,
    const std::string& selectorName, uint64_t options) {
    return store([&](const platform::Value& configuration) {
        return configurationByAddingItem(configuration, className, displayString, itemDescription,
                                         selectorName, options);
    });
}

platform::Status KOPAContextualMenuManager::removeMenuItemFromContextualMenuForClassNamed(
    const std::string& className, const std::string& selectorName, bool removeSeparatorItems) {
    return store([&](const platform::Value& configuration) {
        return configurationByRemovingItem(configuration, className, selectorName, removeSeparatorItems);
    });
}
