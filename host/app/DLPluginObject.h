#pragma once

// DLPluginObject: what the host gives every plug-in object it loads. A plug-in's principal
// class derives from it; the host creates it once (with init()), then asks it for Plug-ins menu
// items. The host supplies localizeString() -- the plug-in bundle's own "Localizable" string
// table in the user's language, the key itself when missing -- and bundle().

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Object.h"

namespace platform {
class Menu;
}

class DLPluginObject : public platform::Object {
public:
    DLPluginObject();

    std::string localizeString(const std::string& key) const;
    const std::shared_ptr<platform::Bundle>& bundle() const { return m_bundle; }

    // The host's Plug-ins menu, to append the plug-in's items to.
    virtual void addSubmenusForPluginsMenu(platform::Menu& pluginsMenu) {}

    // The bundle being loaded while its principal class is created; the constructor takes it.
    static void setBundleBeingLoaded(std::shared_ptr<platform::Bundle> bundle);

    // What a run of the host sets for every plug-in it loads (zandrel-host --update-url,
    // --upgrade-url, --plugin-version): when set, they stand in for the plug-in's own document
    // addresses and its bundle's version. An empty address means "none".
    struct HostOverrides {
        std::optional<std::string> updateURL;
        std::optional<std::string> upgradeURL;
        std::optional<std::string> pluginVersion;
    };
    static void setHostOverrides(HostOverrides overrides);
    static const HostOverrides& hostOverrides();

private:
    std::shared_ptr<platform::Bundle> m_bundle;
};
