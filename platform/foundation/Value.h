#pragma once

// Value: the dynamic value of the system -- a text, number, boolean, dictionary with text keys or
// array of values, or "no value" (null). It is what parsed JSON documents and XML node
// dictionaries are made of.
//
// Values have value semantics: copying copies the tree. Numbers keep the integer/real distinction
// of their source (JSON 3 stays an integer, 3.0 a real).
//
// Access comes in two flavours, as in nlohmann::json:
//   - checked: at(key), at(index), asString() ... throw ValueError on a missing key or wrong type;
//   - defaulted: value(key, fallback) and find(key) never throw and never insert.

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace platform {

class Value;

namespace detail {
// Memory for dictionary entries. Parsed documents create and free entries by the hundred
// thousand; a per-thread cache of freed entries spares malloc's bookkeeping and the
// consolidation passes it runs over long free lists. The cache is bounded (see Value.cpp);
// beyond it entries go back to malloc, and a thread's cache is freed when the thread ends.
void* allocateEntry(size_t size);
void freeEntry(void* entry, size_t size) noexcept;

template <typename T>
struct EntryAllocator {
    using value_type = T;
    EntryAllocator() noexcept = default;
    template <typename U>
    EntryAllocator(const EntryAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n == 1) return static_cast<T*>(allocateEntry(sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept {
        if (n == 1)
            freeEntry(p, sizeof(T));
        else
            std::allocator<T>().deallocate(p, n);
    }
    template <typename U>
    bool operator==(const EntryAllocator<U>&) const noexcept {
        return true;
    }
};
}  // namespace detail

using Array = std::vector<Value>;
using Dictionary =
    std::map<std::string, Value, std::less<>, detail::EntryAllocator<std::pair<const std::string, Value>>>;

class ValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Value {
public:
    enum class Type { Null, Boolean, Integer, Real, String, Array, Dictionary };

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : m_data(b) {}
    Value(int i) : m_data(int64_t{i}) {}
    Value(int64_t i) : m_data(i) {}
    Value(double d) : m_data(d) {}
    Value(const char* s) : m_data(std::string(s)) {}
    Value(std::string s) : m_data(std::move(s)) {}
    Value(std::string_view s) : m_data(std::string(s)) {}
    Value(Array a) : m_data(std::move(a)) {}
    Value(Dictionary d) : m_data(std::move(d)) {}

    // Copies are deep; moves are cheap. Copying, comparing and destroying switch from recursion
    // to an explicit work list past a few hundred levels, so a document nested 100,000 levels
    // does not overflow the stack.
    Value(const Value& other);
    Value(Value&&) noexcept = default;
    Value& operator=(const Value& other);
    Value& operator=(Value&&) noexcept = default;
    ~Value() {
        if (m_data.index() >= static_cast<size_t>(Type::Array)) releaseContainer();
    }

    Type type() const { return static_cast<Type>(m_data.index()); }
    bool isNull() const { return type() == Type::Null; }
    bool isBool() const { return type() == Type::Boolean; }
    bool isNumber() const { return type() == Type::Integer || type() == Type::Real; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isString() const { return type() == Type::String; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Checked access: throws ValueError naming the expected and actual type.
    bool asBool() const;
    int64_t asInteger() const;  // a real is truncated toward zero
    double asReal() const;
    const std::string& asString() const;
    const Array& asArray() const;
    Array& asArray();
    const Dictionary& asDictionary() const;
    Dictionary& asDictionary();
    const Value& at(std::string_view key) const;
    const Value& at(size_t index) const;

    // Defaulted access: nullptr / fallback when this is no dictionary or the key is missing.
    const Value* find(std::string_view key) const;
    std::string value(std::string_view key, std::string_view fallback) const;
    int64_t value(std::string_view key, int64_t fallback) const;
    bool value(std::string_view key, bool fallback) const;

    // Text shown to a person or in a log: strings as they are, everything else as compact JSON.
    std::string description() const;

    // JSON. parseJson throws ValueError with the parser's message on malformed input.
    static Value parseJson(std::string_view text);
    std::string toJson(int indent = -1) const;
    static Value fromJson(const nlohmann::json& json);
    nlohmann::json toNlohmann() const;

    static const char* typeName(Type type);

    friend bool operator==(const Value& a, const Value& b);

private:
    void releaseContainer() noexcept;
    void dismantle() noexcept;
    void copyIteratively(const Value& source);
    static bool equalIteratively(const Value& a, const Value& b);
    static bool shallowEqual(const Value& a, const Value& b);

    std::variant<std::monostate, bool, int64_t, double, std::string, Array, Dictionary> m_data;
};

}  // namespace platform
