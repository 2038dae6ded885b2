#pragma once

// LayoutVariable: one unknown of a constraint system (a view's left edge, say). A handle: copies
// name the same variable, and the solver writes the solved value into it (updateVariables()).
// Compared and hashed by identity, never by name: two variables may share a name.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class LayoutVariable {
public:
    explicit LayoutVariable(std::string name = {});

    const std::string& name() const { return m_data->name; }
    double value() const { return m_data->value; }
    void setValue(double value) { m_data->value = value; }

    // Stable for the variable's life; what the solver keys its tables by.
    const void* identity() const { return m_data.get(); }

    friend bool operator==(const LayoutVariable& a, const LayoutVariable& b) { return a.m_data == b.m_data; }

private:
    struct Data {
        std::string name;
        double value = 0.0;
    };
    std::shared_ptr<Data> m_data;
};

}  // namespace platform

template <>
struct std::hash<platform::LayoutVariable> {
    size_t operator()(const platform::LayoutVariable& v) const noexcept {
        return std::hash<const void*>()(v.identity());
    }
};
