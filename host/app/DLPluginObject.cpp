#include "host/app/DLPluginObject.h"

namespace {
std::shared_ptr<platform::Bundle>& bundleBeingLoaded() {
    static std::shared_ptr<platform::Bundle> bundle;
    return bundle;
}
}  // namespace

DLPluginObject::DLPluginObject() : m_bundle(bundleBeingLoaded()) {}

void DLPluginObject::setBundleBeingLoaded(std::shared_ptr<platform::Bundle> bundle) {
    bundleBeingLoaded() = std::move(bundle);
}

std::string DLPluginObject::localizeString(const std::string& key) const {
    return m_bundle ? m_bundle->localizedStringForKey(key, "", "Localizable") : key;
}
