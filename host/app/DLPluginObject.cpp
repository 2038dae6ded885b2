#include "host/app/DLPluginObject.h"

namespace {
std::shared_ptr<platform::Bundle>& bundleBeingLoaded() {
    static std::shared_ptr<platform::Bundle> bundle;
    return bundle;
}
DLPluginObject::HostOverrides& overrides() {
    static DLPluginObject::HostOverrides values;
    return values;
}
}  // namespace

DLPluginObject::DLPluginObject() : m_bundle(bundleBeingLoaded()) {}

void DLPluginObject::setBundleBeingLoaded(std::shared_ptr<platform::Bundle> bundle) {
    bundleBeingLoaded() = std::move(bundle);
}

std::string DLPluginObject::localizeString(const std::string& key) const {
    return m_bundle ? m_bundle->localizedStringForKey(key, "", "Localizable") : key;
}

void DLPluginObject::setHostOverrides(HostOverrides values) {
    overrides() = std::move(values);
}

const DLPluginObject::HostOverrides& DLPluginObject::hostOverrides() {
    return overrides();
}
