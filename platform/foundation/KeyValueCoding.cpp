#include "platform/foundation/KeyValueCoding.h"

namespace platform {

UndefinedKeyException::UndefinedKeyException(const std::string& className, const std::string& key)
    : std::runtime_error("this " + className + " has no value for the key \"" + key +
                         "\"; check the key path against the class"),
      m_key(key) {}

ObjectPtr valueForKey(const ObjectPtr& object, const std::string& key) {
    if (!object) return nullptr;
    if (auto* coding = dynamic_cast<const KeyValueCoding*>(object.get())) return coding->valueForKey(key);
    throw UndefinedKeyException(object->className(), key);
}

ObjectPtr valueForKeyPath(const ObjectPtr& object, std::string_view keyPath) {
    ObjectPtr current = object;
    while (current) {
        auto dot = keyPath.find('.');
        current = valueForKey(current, std::string(keyPath.substr(0, dot)));
        if (dot == std::string_view::npos) break;
        keyPath.remove_prefix(dot + 1);
    }
    return current;
}

}  // namespace platform
