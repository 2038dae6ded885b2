#include "platform/foundation/Value.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>


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
            if (current.m_type >= Type::String) current.reset();
        }
    };
    if (m_type == Type::Array) {
        Array& array = m_storage.array;
        releaseMembers(array.size(), [&array](size_t i) -> Value& { return array[i]; });
        array.~Array();
    } else if (m_type == Type::Dictionary) {
        const auto first = m_storage.dictionary.begin();
        releaseMembers(m_storage.dictionary.size(),
                       [first](size_t i) -> Value& { return first[static_cast<ptrdiff_t>(i)].second; });
        m_storage.dictionary.~Dictionary();
    }
    m_type = Type::Null;
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
    switch (other.m_type) {
        case Type::Null: break;
        case Type::Boolean: m_storage.boolean = other.m_storage.boolean; break;
        case Type::Integer: m_storage.integer = other.m_storage.integer; break;
        case Type::Real: m_storage.real = other.m_storage.real; break;
        case Type::String: construct<std::string>(other.m_storage.string); break;
        case Type::Array: construct<Array>(other.m_storage.array); break;
        case Type::Dictionary: construct<Dictionary>(other.m_storage.dictionary); break;
    }
    m_type = other.m_type;
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
        case Type::Null: return "null";
        case Type::Boolean: return "boolean";
        case Type::Integer: return "integer";
        case Type::Real: return "real";
        case Type::String: return "string";
        case Type::Array: return "array";
        case Type::Dictionary: return "dictionary";
    }
    return "unknown";
}

namespace {
[[noreturn]] void typeMismatch(const char* expected, Value::Type actual) {
    throw ValueError(fmt::format("expected a {} value, found {}", expected, Value::typeName(actual)));
}
}  // namespace

bool Value::asBool() const {
    if (m_type == Type::Boolean) return m_storage.boolean;
    if (m_type == Type::Integer) return m_storage.integer != 0;
    typeMismatch("boolean", type());
}

int64_t Value::asInteger() const {
    if (m_type == Type::Integer) return m_storage.integer;
    if (m_type == Type::Real) return static_cast<int64_t>(m_storage.real);
    if (m_type == Type::Boolean) return m_storage.boolean ? 1 : 0;
    typeMismatch("integer", type());
}

double Value::asReal() const {
    if (m_type == Type::Real) return m_storage.real;
    if (m_type == Type::Integer) return static_cast<double>(m_storage.integer);
    typeMismatch("real", type());
}

const std::string& Value::asString() const {
    if (m_type == Type::String) return m_storage.string;
    typeMismatch("string", type());
}

const Array& Value::asArray() const {
    if (m_type == Type::Array) return m_storage.array;
    typeMismatch("array", type());
}

Array& Value::asArray() {
    if (m_type == Type::Array) return m_storage.array;
    typeMismatch("array", type());
}

const Dictionary& Value::asDictionary() const {
    if (m_type == Type::Dictionary) return m_storage.dictionary;
    typeMismatch("dictionary", type());
}

Dictionary& Value::asDictionary() {
    if (m_type == Type::Dictionary) return m_storage.dictionary;
    typeMismatch("dictionary", type());
}

const Value& Value::at(std::string_view key) const {
    const Dictionary& dict = asDictionary();
    auto it = dict.find(key);
    if (it == dict.end()) throw ValueError(fmt::format("missing key \"{}\"", key));
    return it->second;
}

const Value& Value::at(size_t index) const {
    const Array& array = asArray();
    if (index >= array.size())
        throw ValueError(fmt::format("index {} out of range (array of {})", index, array.size()));
    return array[index];
}

const Value* Value::find(std::string_view key) const {
    if (m_type != Type::Dictionary) return nullptr;
    auto it = m_storage.dictionary.find(key);
    return it == m_storage.dictionary.end() ? nullptr : &it->second;
}

std::string Value::value(std::string_view key, std::string_view fallback) const {
    const Value* v = find(key);
    return v && v->isString() ? v->asString() : std::string(fallback);
}

int64_t Value::value(std::string_view key, int64_t fallback) const {
    const Value* v = find(key);
    return v && (v->isNumber() || v->isBool()) ? v->asInteger() : fallback;
}

bool Value::value(std::string_view key, bool fallback) const {
    const Value* v = find(key);
    return v && (v->isBool() || v->isInteger()) ? v->asBool() : fallback;
}

std::string Value::description() const {
    if (m_type == Type::String) return m_storage.string;
    return toJson();
}

// The conversions below walk containers with an explicit stack: a document nests as deep as
// its text allows, the machine's stack does not.

namespace {

Value scalarFromJson(const nlohmann::json& json) {
    switch (json.type()) {
        case nlohmann::json::value_t::null:
        case nlohmann::json::value_t::discarded: return Value();
        case nlohmann::json::value_t::boolean: return Value(json.get<bool>());
        case nlohmann::json::value_t::number_integer: return Value(json.get<int64_t>());
        case nlohmann::json::value_t::number_unsigned: {
            auto u = json.get<uint64_t>();
            if (u > static_cast<uint64_t>(INT64_MAX)) return Value(static_cast<double>(u));
            return Value(static_cast<int64_t>(u));
        }
        case nlohmann::json::value_t::number_float: return Value(json.get<double>());
        case nlohmann::json::value_t::string: return Value(json.get<std::string>());
        default: break;
    }
    throw ValueError("binary JSON values are not supported");
}

nlohmann::json scalarToJson(const Value& value) {
    switch (value.type()) {
        case Value::Type::Boolean: return value.asBool();
        case Value::Type::Integer: return value.asInteger();
        case Value::Type::Real: return value.asReal();
        case Value::Type::String: return value.asString();
        default: return nullptr;
    }
}

std::string jsonScalarText(const Value& value) {
    // One scalar at a time through nlohmann: its escaping and number formatting, no recursion.
    return scalarToJson(value).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

nlohmann::json Value::toNlohmann() const {
    if (!isArray() && !isDictionary()) return scalarToJson(*this);
    struct Frame {
        const Value* source;
        size_t next = 0;
        nlohmann::json out;
    };
    auto open = [](const Value& v) {
        return Frame{&v, 0, v.isArray() ? nlohmann::json::array() : nlohmann::json::object()};
    };
    std::vector<Frame> stack;
    stack.push_back(open(*this));
    for (;;) {
        Frame& frame = stack.back();
        const size_t count = frame.source->isArray() ? frame.source->asArray().size() : frame.source->asDictionary().size();
        if (frame.next == count) {
            nlohmann::json done = std::move(frame.out);
            stack.pop_back();
            if (stack.empty()) return done;
            Frame& parent = stack.back();
            if (parent.source->isArray()) parent.out.push_back(std::move(done));
            else parent.out[(parent.source->asDictionary().begin() + static_cast<std::ptrdiff_t>(parent.next))->first] = std::move(done);
            ++parent.next;
            continue;
        }
        const Value* child;
        if (frame.source->isArray()) {
            child = &frame.source->asArray()[frame.next];
        } else {
            child = &(frame.source->asDictionary().begin() + static_cast<std::ptrdiff_t>(frame.next))->second;
        }
        if (child->isArray() || child->isDictionary()) {
            stack.push_back(open(*child));  // `frame` is not used after this
            continue;
        }
        if (frame.source->isArray()) frame.out.push_back(scalarToJson(*child));
        else frame.out[(frame.source->asDictionary().begin() + static_cast<std::ptrdiff_t>(frame.next))->first] = scalarToJson(*child);
        ++frame.next;
    }
}

Value Value::fromJson(const nlohmann::json& json) {
    if (!json.is_structured()) return scalarFromJson(json);
    struct Frame {
        const nlohmann::json* source;
        nlohmann::json::const_iterator next;
        Array items;
        Dictionary::Entries entries;
    };
    std::vector<Frame> stack;
    stack.push_back({&json, json.cbegin(), {}, {}});
    for (;;) {
        Frame& frame = stack.back();
        if (frame.next == frame.source->cend()) {
            Value done = frame.source->is_array() ? Value(std::move(frame.items)) : Value(Dictionary(std::move(frame.entries)));
            stack.pop_back();
            if (stack.empty()) return done;
            Frame& parent = stack.back();
            if (parent.source->is_array()) parent.items.push_back(std::move(done));
            else parent.entries.emplace_back(parent.next.key(), std::move(done));
            ++parent.next;
            continue;
        }
        const nlohmann::json& child = *frame.next;
        if (child.is_structured()) {
            stack.push_back({&child, child.cbegin(), {}, {}});  // `frame` is not used after this
            continue;
        }
        if (frame.source->is_array()) frame.items.push_back(scalarFromJson(child));
        else frame.entries.emplace_back(frame.next.key(), scalarFromJson(child));
        ++frame.next;
    }
}

Value Value::parseJson(std::string_view text) {
    try {
        return fromJson(nlohmann::json::parse(text));
    } catch (const nlohmann::json::exception& e) {
        throw ValueError(e.what());
    }
}

std::string Value::toJson(int indent) const {
    // Written here rather than by nlohmann's dump, which recurses per level. Invalid UTF-8 is
    // replaced instead of throwing: a description must always be printable.
    std::string out;
    auto newline = [&](size_t depth) {
        if (indent < 0) return;
        out += '\n';
        out.append(depth * static_cast<size_t>(indent), ' ');
    };
    struct Frame {
        const Value* source;
        size_t next;
    };
    auto openContainer = [&](const Value& v, std::vector<Frame>& stack) {
        bool array = v.isArray();
        size_t count = array ? v.asArray().size() : v.asDictionary().size();
        if (count == 0) {
            out += array ? "[]" : "{}";
            return false;
        }
        out += array ? '[' : '{';
        stack.push_back({&v, 0});
        return true;
    };
    std::vector<Frame> stack;
    if (!isArray() && !isDictionary()) return jsonScalarText(*this);
    openContainer(*this, stack);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const bool array = frame.source->isArray();
        const size_t count = array ? frame.source->asArray().size() : frame.source->asDictionary().size();
        if (frame.next == count) {
            stack.pop_back();
            newline(stack.size());
            out += array ? ']' : '}';
            continue;
        }
        if (frame.next > 0) out += ',';
        newline(stack.size());
        const Value* child;
        if (array) {
            child = &frame.source->asArray()[frame.next];
        } else {
            const auto& entry = *(frame.source->asDictionary().begin() + static_cast<std::ptrdiff_t>(frame.next));
            out += jsonScalarText(Value(entry.first));
            out += indent < 0 ? ":" : ": ";
            child = &entry.second;
        }
        ++frame.next;
        if (child->isArray() || child->isDictionary()) openContainer(*child, stack);  // `frame` may move
        else out += jsonScalarText(*child);
    }
    return out;
}

// Same type and equal contents (containers compared member by member).
bool Value::sameStorage(const Value& a, const Value& b) {
    if (a.m_type != b.m_type) return false;
    switch (a.m_type) {
        case Type::Null: return true;
        case Type::Boolean: return a.m_storage.boolean == b.m_storage.boolean;
        case Type::Integer: return a.m_storage.integer == b.m_storage.integer;
        case Type::Real: return a.m_storage.real == b.m_storage.real;
        case Type::String: return a.m_storage.string == b.m_storage.string;
        case Type::Array: return a.m_storage.array == b.m_storage.array;
        case Type::Dictionary: return a.m_storage.dictionary == b.m_storage.dictionary;
    }
    return false;
}

// Equality of scalars, and of containers' sizes and kinds (not their members).
bool Value::shallowEqual(const Value& a, const Value& b) {
    if (a.isNumber() && b.isNumber() && a.type() != b.type()) return a.asReal() == b.asReal();
    if (a.type() != b.type()) return false;
    if (a.isArray()) return a.m_storage.array.size() == b.m_storage.array.size();
    if (a.isDictionary()) return a.m_storage.dictionary.size() == b.m_storage.dictionary.size();
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
        } else if (left->isArray()) {
            const Array& array = left->m_storage.array;
            const Array& other = right->m_storage.array;
            for (size_t i = 0; i < array.size(); ++i) pending.emplace_back(&array[i], &other[i]);
        } else if (left->isDictionary()) {
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
    if (a.isNumber() && b.isNumber() && a.type() != b.type()) return a.asReal() == b.asReal();
    if (!isNonEmptyContainer(a) || t_compareDepth < kRecursiveLimit) {
        ++t_compareDepth;
        const bool equal = Value::sameStorage(a, b);
        --t_compareDepth;
        return equal;
    }
    return Value::equalIteratively(a, b);
}

}  // namespace platform
