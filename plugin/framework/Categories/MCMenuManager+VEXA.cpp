#include "plugin/framework/Categories/MCMenuManager+VEXA.h"

platform::Dictionary::Entries kopaMenuItemActionEntries(const std::string& displayString,
                                                        const std::string& description,
                                                        const std::string& selectorName,
                                                        const std::vector<std::string>& applicableClassNames,
                                                        bool multipleObjectTypesPerAction,
                                                        bool alwaysValidates) {
    platform::Array classes(applicableClassNames.begin(), applicableClassNames.end());
    return {{"DisplayString", platform::Value(displayString)},
            {"ItemDescription", platform::Value(description)},
            {"SelectorName", platform::Value(selectorName)},
            {"ApplicableObjectTypeClassnames", platform::Value(std::move(classes))},
            {"MultipleObjectTypesPerAction", platform::Value(multipleObjectTypesPerAction)},
            {"AlwaysValidates", platform::Value(alwaysValidates)},
            {"MenuItemType", platform::Value("Normal")}};
}

MCMenuManager::Action kopaMenuItemAction(const std::string& displayString, const std::string& description,
                                         std::shared_ptr<platform::Object> target,
                                         const std::string& selectorName,
                                         const std::vector<std::string>& applicableClassNames,
                                         bool multipleObjectTypesPerAction, bool alwaysValidates) {
    return {platform::Dictionary(kopaMenuItemActionEntries(displayString, description, selectorName,
                                                           applicableClassNames, multipleObjectTypesPerAction,
                                                           alwaysValidates)),
            std::move(target)};
}

platform::Status kopaRegisterMenuItemAction(MCMenuManager& manager, const std::string& displayString,
                                            const std::string& description,
                                            std::shared_ptr<platform::Object> target,
                                            const std::string& selectorName,
                                            const std::vector<std::string>& applicableClassNames,
                                            bool multipleObjectTypesPerAction, bool alwaysValidates) {
    return manager.registerMenuItemActions(
        {kopaMenuItemAction(displayString, description, std::move(target), selectorName, applicableClassNames,
                            multipleObjectTypesPerAction, alwaysValidates)});
}
