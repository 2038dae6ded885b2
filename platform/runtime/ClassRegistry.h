#pragma once

// ClassRegistry: class lookup by name at run time. The host registers its classes
// ("DLDocument", "DLLoginController"), a loaded plug-in registers its own (its principal class
// among them). Looking up an unknown name gives nothing, so code that depends on an optional
// class degrades to a failed match.
//
//   ZANDREL_REGISTER_CLASS(VXZandrel);   // at namespace scope in the class's .cpp
//
// A class registered with a default constructor can also be created by name: the object is
// made with make_shared, then its `init()` runs when it has one (returning false gives none).

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/foundation/Object.h"

namespace platform {

class Class {
public:
    Class(std::string name, std::function<bool(const Object*)> isInstance, std::function<ObjectPtr()> create)
        : m_name(std::move(name)), m_isInstance(std::move(isInstance)), m_create(std::move(create)) {}

    const std::string& name() const { return m_name; }
    // isKindOfClass: the object is of this class or a subclass.
    bool isInstance(const Object* object) const { return object && m_isInstance(object); }
    bool canCreate() const { return static_cast<bool>(m_create); }
    ObjectPtr create() const { return m_create ? m_create() : nullptr; }

private:
    std::string m_name;
    std::function<bool(const Object*)> m_isInstance;
    std::function<ObjectPtr()> m_create;
};

class ClassRegistry {
public:
    static ClassRegistry& shared();

    // Registering a name again replaces the earlier class (a reloaded plug-in).
    void registerClass(std::shared_ptr<const Class> cls);
    void unregisterClass(const std::string& name);
    // NSClassFromString: the class, or nullptr when no class of that name is known.
    std::shared_ptr<const Class> classNamed(const std::string& name) const;

    template <typename T>
    static std::shared_ptr<const Class> make(const std::string& name) {
        std::function<ObjectPtr()> create;
        if constexpr (std::is_default_constructible_v<T>) {
            create = []() -> ObjectPtr {
                auto object = std::make_shared<T>();
                if constexpr (requires { object->init(); }) {
                    if (!object->init()) return nullptr;
                }
                return object;
            };
        }
        return std::make_shared<const Class>(
            name, [](const Object* o) { return dynamic_cast<const T*>(o) != nullptr; }, std::move(create));
    }

private:
    std::map<std::string, std::shared_ptr<const Class>> m_classes;
};

// isKindOfClass with a class looked up by name; false when the class is unknown.
bool isKindOfClassNamed(const Object* object, const std::string& className);

}  // namespace platform

#define ZANDREL_REGISTER_CLASS(T)                                                                  \
    namespace {                                                                                    \
    [[maybe_unused]] const bool registered_##T = [] {                                              \
        ::platform::ClassRegistry::shared().registerClass(::platform::ClassRegistry::make<T>(#T)); \
        return true;                                                                               \
    }();                                                                                           \
    }
