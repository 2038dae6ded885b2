#pragma once

// KOPAContextualMenuManager: adds a plug-in command to, or removes it from, the host's contextual
// menu of one class of database objects, in the configuration the application's user defaults
// keep under "MCContextualMenuConfiguration".
//
// The configuration is an array of class entries { "Classname": text, "MenuItems": [items],
// ...any other keys }. A command's item is { "DisplayString", "ItemDescription", "Classname",
// "SelectorName" } and is known by its "SelectorName"; a separator is { "MenuItemType":
// "SeparatorItem", "DisplayString": twenty hyphens } and is known by its "MenuItemType" alone.
// The first entry of the class that has a "MenuItems" array is the one changed.
//
// The configuration belongs to the host: whatever is not changed -- other entries, other items,
// unknown keys, entries and items of a shape not described here -- is written back exactly as
// it was read. A configuration that is no array is never written at all; an entry that is no
// dictionary, or whose "MenuItems" is no array, is passed over and kept. Nothing is ever created
// where the host has no entry. Both operations read the configuration afresh and write it only
// when they change it, then flush it to disk.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

// Option bits of the add operation; other bits are ignored.
inline constexpr uint64_t KOPAContextualMenuItemOptionInsertFirst = 1;  // at the top, not the bottom
inline constexpr uint64_t KOPAContextualMenuItemOptionAddSeparator =
    2;  // a separator between it and the rest

class KOPAContextualMenuManager {
public:
    static constexpr const char* kConfigurationKey = "MCContextualMenuConfiguration";

    // Adds the command to the class's menu unless an item with its selector name is there
    // already (then nothing changes). The result is the failure to store the changed
    // configuration, if that happens; finding nothing to change is no failure.
    static platform::Status addMenuItemToContextualMenuForClassNamed(const std::string& className,
                                                                     const std::string& displayString,
                                                                     const std::string& itemDescription,
                                                                     const std::string& selectorName,
                                                                     uint64_t options);
    // Removes the first item with the selector name from the first of the class's entries that
    // has one; with `removeSeparatorItems` also the separator directly above it or, when there
    // is none, the one directly below unless that separator became the menu's last item.
    static platform::Status removeMenuItemFromContextualMenuForClassNamed(const std::string& className,
                                                                          const std::string& selectorName,
                                                                          bool removeSeparatorItems);

    // The same edits on a configuration value: the configuration to store, or nothing when there
    // is nothing to change.
    static std::optional<platform::Value> configurationByAddingItem(
        const platform::Value& configuration, const std::string& className, const std::string& displayString,
        const std::string& itemDescription, const std::string& selectorName, uint64_t options);
    static std::optional<platform::Value> configurationByRemovingItem(const platform::Value& configuration,
                                                                      const std::string& className,
                                                                      const std::string& selectorName,
                                                                      bool removeSeparatorItems);

    static platform::Value separatorItem();
    static bool isSeparatorItem(const platform::Value& item);
};
