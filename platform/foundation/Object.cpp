#include "platform/foundation/Object.h"

#include <cxxabi.h>
#include <fmt/format.h>

#include <cstdlib>
#include <typeinfo>

namespace platform {

std::string Object::className() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    // Drop namespaces: class lookup by name uses bare class names.
    if (auto pos = name.rfind("::"); pos != std::string::npos) name.erase(0, pos + 2);
    return name;
}

std::string Object::description() const {
    return fmt::format("<{} {}>", className(), static_cast<const void*>(this));
}

}  // namespace platform
