#pragma once

// Object: the root of every reference-counted object of the system (windows, controllers, the
// plug-in object, host database objects). Objects are held by std::shared_ptr; identity is the
// address. The dynamic type answers "is kind of class" (dynamic_cast) and "responds to"
// (dynamic_cast to an interface).

#include <memory>
#include <string>

namespace platform {

class Object : public std::enable_shared_from_this<Object> {
public:
    virtual ~Object() = default;

    // The class's name, as class lookup by name knows it; the C++ type name by default.
    virtual std::string className() const;
    // Diagnostic text: "<ClassName 0x...>" unless a subclass knows better.
    virtual std::string description() const;

    template <typename T>
    std::shared_ptr<T> sharedAs() {
        return std::dynamic_pointer_cast<T>(shared_from_this());
    }

protected:
    Object() = default;
};

using ObjectPtr = std::shared_ptr<Object>;

}  // namespace platform
