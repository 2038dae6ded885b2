#pragma once

// Value: the dynamic value of the system -- a text, number, boolean, dictionary with text keys or
// array of values, or "no value" (null). It is what parsed JSON documents and XML node
// dictionaries are made of.
//
// Values have value semantics: copying copies the tree. Numbers keep the integer/real distinction
// of their source (JSON 3 stays an integer, 3.0 a real).
//
// Numbers. An integer that fits 64 bits is Type::Integer; any other number is Type::Real. An
// integer beyond 64 bits (18446744073709551615, or 30 digits, in a JSON document) is not rounded
// to a double: it keeps its exact decimal text. It reports Type::Real, like every number without
// a 64-bit integer value, and isLargeInteger(); asReal() gives the nearest double, asInteger()
// throws, and numberText() and the JSON and XML writers give the digits back unchanged. It
// equals only the same integer (a real equal to it exactly included).
//
// Access comes in two flavours, as in nlohmann::json:
//   - checked: at(key), at(index), asString() ... throw ValueError on a missing key or index, a
//     wrong type, or a number without a 64-bit integer value asked for as an integer;
//   - defaulted: find(key or index) and value(key or index, fallback) never throw and never
//     insert. value() answers in the fallback's type: std::string for any text fallback (a
//     literal included), int64_t for an integer one, double for a real one, bool for a bool.

#include <concepts>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/foundation/Dictionary.h"

namespace platform {

class Value;

using Array = std::vector<Value>;
using Dictionary = BasicDictionary<Value>;

// A missing key or index, a wrong type, a number out of range, malformed JSON (JsonError).
class ValueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace detail {
template <typename T>
inline constexpr bool kIsCharacter =
    std::is_same_v<T, char> || std::is_same_v<T, signed char> || std::is_same_v<T, unsigned char> ||
    std::is_same_v<T, wchar_t> || std::is_same_v<T, char8_t> || std::is_same_v<T, char16_t> ||
    std::is_same_v<T, char32_t>;
// Integer types whose every value fits int64_t (bool and characters are not integers here).
template <typename T>
concept NarrowInteger = std::integral<T> && !std::is_same_v<T, bool> && !kIsCharacter<T> &&
                        (std::is_signed_v<T> || sizeof(T) < sizeof(int64_t));
template <typename T>
concept WideUnsigned =
    std::unsigned_integral<T> && !std::is_same_v<T, bool> && !kIsCharacter<T> && sizeof(T) >= sizeof(int64_t);
}  // namespace detail

class Value {
public:
    // g++ 12 takes the enumerators Array and Dictionary for declarations shadowing the type names
    // above; in a scoped enum they shadow nothing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
    enum class Type { Null, Boolean, Integer, Real, String, Array, Dictionary };
#pragma GCC diagnostic pop

    Value() noexcept {}
    Value(std::nullptr_t) noexcept {}
    Value(bool b) noexcept : m_kind(Kind::Boolean) {
        m_storage.boolean = b;
    }
    Value(int i) noexcept : m_kind(Kind::Integer) {
        m_storage.integer = i;
    }
    Value(int64_t i) noexcept : m_kind(Kind::Integer) {
        m_storage.integer = i;
    }
    // The other integer types (long long, unsigned, size_t ...); an unsigned value beyond int64_t
    // becomes a large integer.
    template <typename I>
    requires detail::NarrowInteger<I> Value(I i)
    noexcept : m_kind(Kind::Integer) {
        m_storage.integer = static_cast<int64_t>(i);
    }
    template <typename I>
    requires detail::WideUnsigned<I> Value(I i) {
        if (i <= static_cast<I>(INT64_MAX)) {
            m_kind = Kind::Integer;
            m_storage.integer = static_cast<int64_t>(i);
        } else {
            constructLargeInteger(std::to_string(i));
        }
    }
    Value(double d) noexcept : m_kind(Kind::Real) {
        m_storage.real = d;
    }
    // Texts are built in place: no temporary string to move (and, for short texts, copy) again.
    // A null pointer gives a null value.
    Value(const char* s) {
        if (s) construct<std::string>(s);
    }
    Value(std::string s) {
        construct<std::string>(std::move(s));
    }
    Value(std::string_view s) {
        construct<std::string>(s);
    }
    Value(Array a) {
        construct<Array>(std::move(a));
    }
    Value(Dictionary d) {
        construct<Dictionary>(std::move(d));
    }

    // An integer written in decimal (an optional '-' and digits, any number of them): an Integer
    // when it fits 64 bits, otherwise a large integer keeping the digits (leading zeros dropped).
    // Throws ValueError for any other text.
    static Value integerFromText(std::string_view decimal);

    // Copies are deep; moves are cheap and leave the source null. Copying, comparing and
    // destroying switch from recursion to an explicit work list past a few hundred levels, so a
    // document nested 100,000 levels does not overflow the stack.
    Value(const Value& other);
    __attribute__((always_inline)) Value(Value&& other) noexcept {
        takeFrom(other);
    }
    Value& operator=(const Value& other);
    __attribute__((always_inline)) Value& operator=(Value&& other) noexcept {
        if (m_kind == Kind::Null)
            takeFrom(other);  // a null value holds nothing other could live in
        else
            replaceWith(other);
        return *this;
    }
    ~Value() {
        if (m_kind >= Kind::String) reset();
    }

    Type type() const {
        return m_kind == Kind::LargeInteger ? Type::Real : static_cast<Type>(m_kind);
    }
    bool isNull() const {
        return type() == Type::Null;
    }
    bool isBool() const {
        return type() == Type::Boolean;
    }
    bool isNumber() const {
        return type() == Type::Integer || type() == Type::Real;
    }
    // An integer that fits int64_t (asInteger() gives it).
    bool isInteger() const {
        return type() == Type::Integer;
    }
    // A number without a 64-bit integer value whose type is Real but which is an integer kept as
    // its decimal text (see Numbers above).
    bool isLargeInteger() const {
        return m_kind == Kind::LargeInteger;
    }
    bool isString() const {
        return type() == Type::String;
    }
    bool isArray() const {
        return type() == Type::Array;
    }
    bool isDictionary() const {
        return type() == Type::Dictionary;
    }

    // Checked access: throws ValueError naming the expected and actual type.
    bool asBool() const;  // an integer is true unless 0
    // An integer; a boolean as 0 or 1; a real truncated toward zero. ValueError for a real
    // outside -2^63 .. 2^63 (or NaN, infinite) and for a large integer: no silent clamping.
    int64_t asInteger() const;
    // A real; an integer as the nearest double (a large one too: infinity beyond double's range).
    double asReal() const;
    const std::string& asString() const;
    const Array& asArray() const;
    Array& asArray();
    const Dictionary& asDictionary() const;
    Dictionary& asDictionary();
    // The value under key in this dictionary / at index in this array; ValueError when this is
    // no dictionary (array) or the key (index) is missing.
    const Value& at(std::string_view key) const;
    const Value& at(size_t index) const;
    Value& at(std::string_view key);
    Value& at(size_t index);
    // A number in its usual decimal form, as the JSON writer writes it: an integer's digits (a
    // large integer's exactly as kept), a real's shortest text that reads back to the same
    // double, with ".0" when it would otherwise read as an integer ("nan", "inf", "-inf" for the
    // non-finite ones, which JSON writes as null). ValueError for anything but a number.
    std::string numberText() const;

private:
    // value()'s conversions, one per kind of fallback; declared first so that value() with an
    // unsupported fallback type is no candidate at all rather than an error inside it.
    static std::string orFallback(const Value* found, std::string_view fallback);
    static std::string orFallback(const Value* found, const char* fallback) {
        return orFallback(found, fallback ? std::string_view(fallback) : std::string_view());
    }
    template <typename I>
    requires detail::NarrowInteger<I>
    static int64_t orFallback(const Value* found, I fallback) {
        return integerOr(found, static_cast<int64_t>(fallback));
    }
    static double orFallback(const Value* found, double fallback);
    template <typename B>
    requires std::same_as<B, bool>
    static bool orFallback(const Value* found, B fallback) {
        return boolOr(found, fallback);
    }
    // No silent reinterpretation: a character is no integer, an unsigned 64-bit fallback has no
    // int64_t form, a null pointer is no text.
    template <typename T>
    requires(detail::WideUnsigned<T> || detail::kIsCharacter<T>) static void orFallback(const Value* found,
                                                                                        T fallback) = delete;
    static void orFallback(const Value* found, std::nullptr_t) = delete;
    static int64_t integerOr(const Value* found, int64_t fallback);
    static bool boolOr(const Value* found, bool fallback);

public:
    // Defaulted access: nullptr when this is no dictionary (array) or the key (index) is missing.
    const Value* find(std::string_view key) const;
    const Value* find(size_t index) const;
    // The member converted to the fallback's type, or the fallback when the member is missing or
    // of another kind:
    //   - a text fallback (literal, std::string, std::string_view) gives std::string, from texts;
    //   - an integer fallback gives int64_t, from integers, booleans (0/1) and reals truncated
    //     toward zero; a number without a 64-bit integer value gives the fallback;
    //   - a real fallback gives double, from any number;
    //   - a bool fallback gives bool, from booleans and integers (true unless 0).
    // Characters, pointers other than texts and unsigned 64-bit fallbacks do not compile.
    template <typename Fallback>
    auto value(std::string_view key, const Fallback& fallback) const
        -> decltype(orFallback(static_cast<const Value*>(nullptr), fallback)) {
        return orFallback(find(key), fallback);
    }
    template <typename Fallback>
    auto value(size_t index, const Fallback& fallback) const
        -> decltype(orFallback(static_cast<const Value*>(nullptr), fallback)) {
        return orFallback(find(index), fallback);
    }

    // Text shown to a person or in a log: strings as they are, everything else as compact JSON.
    std::string description() const;

    // JSON, through JsonReader and JsonWriter (see there for errors, numbers and layout).
    // parseJson throws JsonError, a ValueError, naming the line and column of malformed input.
    static Value parseJson(std::string_view text);
    // indent < 0: one line; otherwise that many spaces per level (deep levels are capped, see
    // JsonFormat).
    std::string toJson(int indent = -1) const;

    static const char* typeName(Type type);

    friend bool operator==(const Value& a, const Value& b);

private:
    // The stored form: Type's kinds in the same order, then an integer kept as its text (held in
    // the string member, so the kinds from String on own memory).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"  // as Type's
    enum class Kind : uint8_t { Null, Boolean, Integer, Real, String, Array, Dictionary, LargeInteger };
#pragma GCC diagnostic pop

    void releaseContainer() noexcept;
    // Asks for the memory of this value's text, members or entries ahead of releasing it.
    __attribute__((always_inline)) void prefetchStorage() const noexcept {
        switch (m_kind) {
            case Kind::String:
            case Kind::LargeInteger:
                // free() reads the block's header just before the text.
                __builtin_prefetch(m_storage.string.data() - sizeof(void*));
                break;
            case Kind::Array:
                __builtin_prefetch(m_storage.array.data());
                break;
            case Kind::Dictionary:
                if (!m_storage.dictionary.empty()) __builtin_prefetch(&*m_storage.dictionary.begin());
                break;
            default:
                break;
        }
    }
    void dismantle() noexcept;
    void copyIteratively(const Value& source);
    static bool equalIteratively(const Value& a, const Value& b);
    static bool shallowEqual(const Value& a, const Value& b);
    static bool sameNumber(const Value& a, const Value& b);
    void constructLargeInteger(std::string digits);

    // The storage as a tagged union rather than a std::variant: building and freeing large
    // documents is mostly moving and destroying values, and a switch on the tag, inlined, costs
    // a fraction of the variant's out-of-line visits.
    union Storage {
        Storage() noexcept {}
        ~Storage() {}
        bool boolean;
        int64_t integer;
        double real;
        std::string string;  // a String's text, a LargeInteger's digits
        Array array;
        Dictionary dictionary;
    };

    template <typename T>
    static T& member(Storage& storage) {
        if constexpr (std::is_same_v<T, std::string>)
            return storage.string;
        else if constexpr (std::is_same_v<T, Array>)
            return storage.array;
        else
            return storage.dictionary;
    }
    template <typename T, typename... Args>
    void construct(Args&&... args) {
        new (&member<T>(m_storage)) T(std::forward<Args>(args)...);
        m_kind = std::is_same_v<T, std::string> ? Kind::String
                 : std::is_same_v<T, Array>     ? Kind::Array
                                                : Kind::Dictionary;
    }
    // Takes other's contents into this null value; other is left null.
    __attribute__((always_inline)) void takeFrom(Value& other) noexcept {
        switch (other.m_kind) {
            case Kind::Null:
                return;
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
            case Kind::LargeInteger:
                new (&m_storage.string) std::string(std::move(other.m_storage.string));
                other.m_storage.string.~basic_string();
                break;
            case Kind::Array:
                new (&m_storage.array) Array(std::move(other.m_storage.array));
                other.m_storage.array.~Array();
                break;
            case Kind::Dictionary:
                new (&m_storage.dictionary) Dictionary(std::move(other.m_storage.dictionary));
                other.m_storage.dictionary.~Dictionary();
                break;
        }
        m_kind = other.m_kind;
        other.m_kind = Kind::Null;
    }
    // Makes this value null. Containers with members go through releaseContainer, which keeps
    // deep trees off the stack.
    void reset() noexcept {
        switch (m_kind) {
            case Kind::String:
            case Kind::LargeInteger:
                m_storage.string.~basic_string();
                break;
            case Kind::Array:
                if (!m_storage.array.empty()) return releaseContainer();
                m_storage.array.~Array();
                break;
            case Kind::Dictionary:
                if (!m_storage.dictionary.empty()) return releaseContainer();
                m_storage.dictionary.~Dictionary();
                break;
            default:
                break;
        }
        m_kind = Kind::Null;
    }
    void copyFrom(const Value& other);
    void replaceWith(Value& other) noexcept;
    static bool sameStorage(const Value& a, const Value& b);

    Kind m_kind = Kind::Null;
    Storage m_storage;
};

}  // namespace platform
