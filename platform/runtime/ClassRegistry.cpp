#include "platform/runtime/ClassRegistry.h"

namespace platform {

ClassRegistry& ClassRegistry::shared() {
    static ClassRegistry registry;
    return registry;
}

void ClassRegistry::registerClass(std::shared_ptr<const Class> cls) {
    m_classes[cls->name()] = std::move(cls);
}

void ClassRegistry::unregisterClass(const std::string& name) {
    m_classes.erase(name);
}

std::shared_ptr<const Class> ClassRegistry::classNamed(const std::string& name) const {
    auto it = m_classes.find(name);
    return it == m_classes.end() ? nullptr : it->second;
}

bool isKindOfClassNamed(const Object* object, const std::string& className) {
    auto cls = ClassRegistry::shared().classNamed(className);
    return cls && cls->isInstance(object);
}

}  // namespace platform
