#pragma once

// VXZandrel: the plug-in's principal class. It names the product's version document, adds the
// submenu "Zandrel" with its one command to the host's Plug-ins menu, and opens the duplicate
// form template dialog when the command is chosen.

#include <optional>
#include <string>

#include "framework/Classes/VEXAPlugin.h"

class VXZandrel : public KOPAPlugin {
public:
    static constexpr const char* kShowInputAction = "__Zandrel_ShowInputAction:";

    void dayliteHasFinishedLaunching() override;
    void userDidSignIn(const platform::Notification& notification) override;
    void userDidSignOff(const platform::Notification& notification) override;

    std::optional<std::string> urlForUpdateInformation() const override;
    std::optional<std::string> urlForUpgradeInformation() const override { return std::nullopt; }

    void addSubmenusForPluginsMenu(platform::Menu& pluginsMenu) override;
    // The command is enabled in every state, also while nobody is signed in.
    bool validateMenuItem(const platform::MenuItem& item) override { return true; }
    void __Zandrel_ShowInputAction(platform::Object* sender);

    bool respondsToAction(const std::string& action) const override { return action == kShowInputAction; }
    bool performAction(const std::string& action, platform::Object* sender) override;
};
