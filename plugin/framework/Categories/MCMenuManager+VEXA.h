#pragma once

// Registering a plug-in command with the host's menu manager, for objects of given classes.

#include <memory>
#include <string>
#include <vector>

#include "host/app/MCMenuManager.h"
#include "platform/foundation/Status.h"

// The action record, entries in the host's order: "DisplayString", "ItemDescription",
// "SelectorName", "ApplicableObjectTypeClassnames", "MultipleObjectTypesPerAction",
// "AlwaysValidates" (booleans) and "MenuItemType" = "Normal"; the target rides beside it.
MCMenuManager::Action kopaMenuItemAction(const std::string& displayString, const std::string& description,
                                         std::shared_ptr<platform::Object> target,
                                         const std::string& selectorName,
                                         const std::vector<std::string>& applicableClassNames,
                                         bool multipleObjectTypesPerAction, bool alwaysValidates);
// The record's entries in that order (the action's record is a dictionary, which keeps its own).
platform::Dictionary::Entries kopaMenuItemActionEntries(const std::string& displayString,
                                                        const std::string& description,
                                                        const std::string& selectorName,
                                                        const std::vector<std::string>& applicableClassNames,
                                                        bool multipleObjectTypesPerAction,
                                                        bool alwaysValidates);

// Registers that one action with `manager`; from then on the host offers it for objects of the
// listed classes. The host's refusal of a malformed action comes back as the error.
platform::Status kopaRegisterMenuItemAction(MCMenuManager& manager, const std::string& displayString,
                                            const std::string& description,
                                            std::shared_ptr<platform::Object> target,
                                            const std::string& selectorName,
                                            const std::vector<std::string>& applicableClassNames,
                                            bool multipleObjectTypesPerAction, bool alwaysValidates);
