#include "platform/foundation/Value.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"
#include "platform/foundation/UTF8.h"

namespace platform {

namespace {
// Nesting depth of the containers being destroyed, copied and compared on this thread. Below
// the limit a tree is handled by plain recursion (no extra work for ordinary documents); beyond
// it the rest goes through an explicit work list.
__attribute__((tls_model("initial-exec"))) thread_local int t_destroyDepth = 0;
__attribute__((tls_model("initial-exec"))) thread_local int t_copyDepth = 0;
__attribute__((tls_model("initial-exec"))) thread_local int t_compareDepth = 0;
constexpr int kRecursiveLimit = 256;

bool isNonEmptyContainer(const Value& v) {
    return (v.isArray() && !v.asArray().empty()) || (v.isDictionary() && !v.asDictionary().empty());
}
}  // namespace

// How many members ahead of the one being released the release loop asks for memory. A large
// tree does not fit in the caches; released one member at a time, each waiting for its memory
// before the next is even requested, freeing a parsed document costs a third of parsing it.
constexpr size_t kPrefetchAhead = 16;

void Value::releaseContainer() noexcept {
    if (t_destroyDepth >= kRecursiveLimit) {
        dismantle();
        return;
    }
    ++t_destroyDepth;
    // The members are emptied in order, each one's memory requested a few members ahead; the
    // container then dies with only empty members left.
    auto releaseMembers = [](size_t count, auto&& member) {
        for (size_t i = 0; i < count && i < kPrefetchAhead; ++i) member(i).prefetchStorage();
        for (size_t i = 0; i < count; ++i) {
            if (i + kPrefetchAhead < count) member(i + kPrefetchAhead).prefetchStorage();
            Value& current = member(i);
            if (current.m_kind >= Kind::String) current.reset();
        }
    };
    if (m_kind == Kind::Array) {
        Array& array = m_storage.array;
        releaseMembers(array.size(), [&array](size_t i) -> Value& { return array[i]; });
        array.~Array();
    } else if (m_kind == Kind::Dictionary) {
        const auto first = m_storage.dictionary.begin();
        releaseMembers(m_storage.dictionary.size(),
                       [first](size_t i) -> Value& { return first[static_cast<ptrdiff_t>(i)].second; });
        m_storage.dictionary.~Dictionary();
    }
    m_kind = Kind::Null;
    --t_destroyDepth;
}

Value::Value(const Value& other) {
    if (!isNonEmptyContainer(other)) {
        copyFrom(other);
    } else if (t_copyDepth < kRecursiveLimit) {
        ++t_copyDepth;
        copyFrom(other);
        --t_copyDepth;
    } else {
        copyIteratively(other);
    }
}

// Copies other into this null value, members by their own copy constructors.
void Value::copyFrom(const Value& other) {
    switch (other.m_kind) {
        case Kind::Null:
            break;
        case Kind::Boolean:
            m_storage.boolean = other.m_storage.boolean;
            break;
        case Kind::Integer:
            m_storage.integer = other.m_storage.integer;
            break;
        case Kind::Real:
            m_storage.real = other.m_storage.real;
            break;
        case Kind::String:
            construct<std::string>(other.m_storage.string);
            break;
        case Kind::LargeInteger:
            constructLargeInteger(other.m_storage.string);
            break;
        case Kind::Array:
            construct<Array>(other.m_storage.array);
            break;
        case Kind::Dictionary:
            construct<Dictionary>(other.m_storage.dictionary);
            break;
    }
    m_kind = other.m_kind;
}

void Value::replaceWith(Value& other) noexcept {
    if (this == &other) return;
    // Taken first: `other` may live inside what this value is about to release.
    Value taken(std::move(other));
    reset();
    takeFrom(taken);
}

Value& Value::operator=(const Value& other) {
    if (this != &other) {
        Value copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void Value::copyIteratively(const Value& source) {
    // Each container is created with its scalars and with empty containers standing in for its
    // nested ones; those are filled later from the work list. Arrays and dictionaries are
    // reserved up front, so their members never move and the recorded destinations stay valid.
    const int savedDepth = t_copyDepth;
    t_copyDepth = 0;
    std::vector<std::pair<Value*, const Value*>> pending{{this, &source}};
    auto placeholder = [](const Value& child) {
        return child.isArray() ? Value(Array()) : Value(Dictionary());
    };
    while (!pending.empty()) {
        auto [target, from] = pending.back();
        pending.pop_back();
        if (from->isArray()) {
            const Array* array = &from->m_storage.array;
            Array copy;
            copy.reserve(array->size());
            *target = Value(std::move(copy));
            Array& members = target->m_storage.array;
            for (const Value& child : *array) {
                if (isNonEmptyContainer(child)) {
                    members.push_back(placeholder(child));
                    pending.emplace_back(&members.back(), &child);
                } else {
                    members.push_back(child);
                }
            }
        } else if (from->isDictionary()) {
            const Dictionary* dict = &from->m_storage.dictionary;
            *target = Value(Dictionary());
            Dictionary& entries = target->m_storage.dictionary;
            entries.reserve(dict->size());
            for (const auto& [key, child] : *dict) {
                auto it = entries.emplace_hint(entries.end(), key,
                                               isNonEmptyContainer(child) ? placeholder(child) : child);
                if (isNonEmptyContainer(child)) pending.emplace_back(&it->second, &child);
            }
        } else {
            *target = *from;  // a scalar
        }
    }
    t_copyDepth = savedDepth;
}

void Value::dismantle() noexcept {
    // Move every nested container onto a work list before its owner dies, so each destructor run
    // from here only meets leaves and empty containers.
    const int savedDepth = t_destroyDepth;
    t_destroyDepth = 0;
    std::vector<Value> pending;
    pending.push_back(std::move(*this));
    while (!pending.empty()) {
        Value current = std::move(pending.back());
        pending.pop_back();
        auto takeNested = [&pending](Value& child) {
            if (isNonEmptyContainer(child)) pending.push_back(std::move(child));
        };
        if (current.isArray())
            for (Value& child : current.m_storage.array) takeNested(child);
        else if (current.isDictionary())
            for (auto& [key, child] : current.m_storage.dictionary) takeNested(child);
    }
    t_destroyDepth = savedDepth;
}

const char* Value::typeName(Type type) {
    switch (type) {
        case Type::Null:
            return "null";
        case Type::Boolean:
            return "boolean";
        case Type::Integer:
            return "integer";
        case Type::Real:
            return "real";
        case Type::String:
            return "string";
        case Type::Array:
            return "array";
        case Type::Dictionary:
            return "dictionary";
    }
    return "unknown";
}

static_assert(sizeof(Value) <= 40, "values are moved by the million: keep them small");

namespace {

// A long text cut for a message: its start and its length.
std::string abbreviated(std::string_view text) {
    constexpr size_t kShown = 40;
    if (text.size() <= kShown) return std::string(text);
    return fmt::format("{}... ({} bytes)", UTF8::truncated(text, kShown), text.size());
}

[[noreturn]] void typeMismatch(const char* expected, const Value& actual) {
    throw ValueError(fmt::format("expected {} value, found {}{}", expected, Value::typeName(actual.type()),
                                 actual.isLargeInteger() ? " (an integer beyond 64 bits)" : ""));
}

// The real's shortest text that reads back to the same double, marked as a real.
std::string realText(double real) {
    std::string text = fmt::format("{}", real);
    if (std::isfinite(real) && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

void Value::constructLargeInteger(std::string digits) {
    new (&m_storage.string) std::string(std::move(digits));
    m_kind = Kind::LargeInteger;
}

Value Value::integerFromText(std::string_view decimal) {
    std::string_view digits = decimal;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw ValueError(
            fmt::format("\"{}\" is not a decimal integer: write an optional '-' followed by digits",
                        abbreviated(decimal)));
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    std::string canonical;
    canonical.reserve(digits.size() + 1);
    if (negative && digits != "0") canonical += '-';
    canonical += digits;
    int64_t small = 0;
    const auto [end, error] = std::from_chars(canonical.data(), canonical.data() + canonical.size(), small);
    if (error == std::errc() && end == canonical.data() + canonical.size()) return Value(small);
    Value large;
    large.constructLargeInteger(std::move(canonical));
    return large;
}

bool Value::asBool() const {
    if (m_kind == Kind::Boolean) return m_storage.boolean;
    if (m_kind == Kind::Integer) return m_storage.integer != 0;
    typeMismatch("a boolean", *this);
}

int64_t Value::asInteger() const {
    switch (m_kind) {
        case Kind::Integer:
            return m_storage.integer;
        case Kind::Boolean:
            return m_storage.boolean ? 1 : 0;
        case Kind::Real:
            // Both bounds are exact doubles; NaN fails both comparisons.
            if (m_storage.real >= -0x1p63 && m_storage.real < 0x1p63)
                return static_cast<int64_t>(m_storage.real);
            throw ValueError(
                fmt::format("the number {} has no 64-bit integer value (outside -2^63 .. 2^63-1); "
                            "read it as a real instead",
                            m_storage.real));
        case Kind::LargeInteger:
            throw ValueError(
                fmt::format("the integer {} does not fit in 64 bits; read it as a real or as its text",
                            abbreviated(m_storage.string)));
        default:
            typeMismatch("an integer", *this);
    }
}

double Value::asReal() const {
    if (m_kind == Kind::Real) return m_storage.real;
    if (m_kind == Kind::Integer) return static_cast<double>(m_storage.integer);
    if (m_kind == Kind::LargeInteger) {
        const std::string& digits = m_storage.string;
        double real = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), real);
        if (error == std::errc::result_out_of_range) return digits.front() == '-' ? -HUGE_VAL : HUGE_VAL;
        return real;
    }
    typeMismatch("a real", *this);
}

std::string Value::numberText() const {
    switch (m_kind) {
        case Kind::Integer:
            return fmt::format("{}", m_storage.integer);
        case Kind::Real:
            return realText(m_storage.real);
        case Kind::LargeInteger:
            return m_storage.string;
        default:
            typeMismatch("a number", *this);
    }
}

const std::string& Value::asString() const {
    if (m_kind == Kind::String) return m_storage.string;
    typeMismatch("a string", *this);
}

const Array& Value::asArray() const {
    if (m_kind == Kind::Array) return m_storage.array;
    typeMismatch("an array", *this);
}

Array& Value::asArray() {
    if (m_kind == Kind::Array) return m_storage.array;
    typeMismatch("an array", *this);
}

const Dictionary& Value::asDictionary() const {
    if (m_kind == Kind::Dictionary) return m_storage.dictionary;
    typeMismatch("a dictionary", *this);
}

Dictionary& Value::asDictionary() {
    if (m_kind == Kind::Dictionary) return m_storage.dictionary;
    typeMismatch("a dictionary", *this);
}

const Value& Value::at(std::string_view key) const {
    const Dictionary& dict = asDictionary();
    auto it = dict.find(key);
    if (it == dict.end())
        throw ValueError(fmt::format("missing key \"{}\" (use find() or value() where a key is optional)",
                                     abbreviated(key)));
    return it->second;
}

const Value& Value::at(size_t index) const {
    const Array& array = asArray();
    if (index >= array.size())
        throw ValueError(fmt::format("index {} out of range (array of {})", index, array.size()));
    return array[index];
}

Value& Value::at(std::string_view key) {
    return const_cast<Value&>(std::as_const(*this).at(key));
}

Value& Value::at(size_t index) {
    return const_cast<Value&>(std::as_const(*this).at(index));
}

const Value* Value::find(std::string_view key) const {
    if (m_kind != Kind::Dictionary) return nullptr;
    auto it = m_storage.dictionary.find(key);
    return it == m_storage.dictionary.end() ? nullptr : &it->second;
}

const Value* Value::find(size_t index) const {
    if (m_kind != Kind::Array || index >= m_storage.array.size()) return nullptr;
    return &m_storage.array[index];
}

std::string Value::orFallback(const Value* found, std::string_view fallback) {
    return found && found->m_kind == Kind::String ? found->m_storage.string : std::string(fallback);
}

double Value::orFallback(const Value* found, double fallback) {
    return found && found->isNumber() ? found->asReal() : fallback;
}

int64_t Value::integerOr(const Value* found, int64_t fallback) {
    if (!found) return fallback;
    switch (found->m_kind) {
        case Kind::Integer:
        case Kind::Boolean:
            return found->asInteger();
        case Kind::Real: {
            const double real = found->m_storage.real;
            return real >= -0x1p63 && real < 0x1p63 ? static_cast<int64_t>(real) : fallback;
        }
        default:
            return fallback;
    }
}

bool Value::boolOr(const Value* found, bool fallback) {
    return found && (found->m_kind == Kind::Boolean || found->m_kind == Kind::Integer) ? found->asBool()
                                                                                       : fallback;
}

std::string Value::description() const {
    if (m_kind == Kind::String) return m_storage.string;
    return toJson();
}

Value Value::parseJson(std::string_view text) {
    return JsonReader::parse(text);
}

std::string Value::toJson(int indent) const {
    JsonFormat format;
    format.indent = indent;
    return JsonWriter::text(*this, format);
}

// Numbers of different kinds, compared exactly (no rounding through double): an integer equals
// a real only when the real is that integer, a large integer only a real of the same value.
bool Value::sameNumber(const Value& a, const Value& b) {
    if (a.m_kind > b.m_kind) return sameNumber(b, a);
    if (a.m_kind == Kind::Integer && b.m_kind == Kind::Real) {
        const double real = b.m_storage.real;
        return real >= -0x1p63 && real < 0x1p63 && std::trunc(real) == real &&
               static_cast<int64_t>(real) == a.m_storage.integer;
    }
    if (a.m_kind == Kind::Real && b.m_kind == Kind::LargeInteger) {
        const double real = a.m_storage.real;
        // A large integer is beyond 2^63, where every finite double is an integer.
        return std::isfinite(real) && std::abs(real) >= 0x1p63 &&
               fmt::format("{:.0f}", real) == b.m_storage.string;
    }
    return false;
}

// Same kind and equal contents (containers compared member by member), or equal numbers.
bool Value::sameStorage(const Value& a, const Value& b) {
    if (a.m_kind != b.m_kind) return sameNumber(a, b);
    switch (a.m_kind) {
        case Kind::Null:
            return true;
        case Kind::Boolean:
            return a.m_storage.boolean == b.m_storage.boolean;
        case Kind::Integer:
            return a.m_storage.integer == b.m_storage.integer;
        case Kind::Real:
            return a.m_storage.real == b.m_storage.real;
        case Kind::String:
        case Kind::LargeInteger:
            return a.m_storage.string == b.m_storage.string;
        case Kind::Array:
            return a.m_storage.array == b.m_storage.array;
        case Kind::Dictionary:
            return a.m_storage.dictionary == b.m_storage.dictionary;
    }
    return false;
}

// Equality of scalars, and of containers' sizes and kinds (not their members).
bool Value::shallowEqual(const Value& a, const Value& b) {
    if (a.m_kind != b.m_kind) return sameNumber(a, b);
    if (a.m_kind == Kind::Array) return a.m_storage.array.size() == b.m_storage.array.size();
    if (a.m_kind == Kind::Dictionary) return a.m_storage.dictionary.size() == b.m_storage.dictionary.size();
    return sameStorage(a, b);
}

bool Value::equalIteratively(const Value& a, const Value& b) {
    const int savedDepth = t_compareDepth;
    t_compareDepth = 0;
    std::vector<std::pair<const Value*, const Value*>> pending{{&a, &b}};
    bool equal = true;
    while (equal && !pending.empty()) {
        auto [left, right] = pending.back();
        pending.pop_back();
        if (!shallowEqual(*left, *right)) {
            equal = false;
        } else if (left->m_kind == Kind::Array) {
            const Array& array = left->m_storage.array;
            const Array& other = right->m_storage.array;
            for (size_t i = 0; i < array.size(); ++i) pending.emplace_back(&array[i], &other[i]);
        } else if (left->m_kind == Kind::Dictionary) {
            auto it = right->m_storage.dictionary.begin();
            for (const auto& [key, value] : left->m_storage.dictionary) {
                if (key != it->first) {
                    equal = false;
                    break;
                }
                pending.emplace_back(&value, &(it++)->second);
            }
        }
    }
    t_compareDepth = savedDepth;
    return equal;
}

bool operator==(const Value& a, const Value& b) {
    if (!isNonEmptyContainer(a) || t_compareDepth < kRecursiveLimit) {
        ++t_compareDepth;
        const bool equal = Value::sameStorage(a, b);
        --t_compareDepth;
        return equal;
    }
    return Value::equalIteratively(a, b);
}

}  // namespace platform
