// Checked and defaulted access to values: the type each call answers in, what it does with a
// missing key or index and with a member of another type, and numbers at the edges of int64_t.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/foundation/Value.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;
using platform::ValueError;

namespace {

// The type value() answers in, for a fallback of each type a caller may write.
template <typename Fallback>
using KeyedResult = decltype(std::declval<const Value&>().value("k", std::declval<const Fallback&>()));
template <typename Fallback>
using IndexedResult =
    decltype(std::declval<const Value&>().value(size_t{0}, std::declval<const Fallback&>()));
template <typename Fallback>
concept AcceptedFallback = requires(const Value& v, const Fallback& f) {
    v.value("k", f);
};

// A text literal once chose the bool overload (pointer to bool beats pointer to string_view).
static_assert(std::is_same_v<decltype(std::declval<const Value&>().value("title", "Untitled")), std::string>);
static_assert(std::is_same_v<decltype(std::declval<const Value&>().value(0, "Untitled")), std::string>);
static_assert(std::is_same_v<KeyedResult<const char*>, std::string>);
static_assert(std::is_same_v<KeyedResult<std::string>, std::string>);
static_assert(std::is_same_v<KeyedResult<std::string_view>, std::string>);
static_assert(std::is_same_v<KeyedResult<int>, int64_t>);
static_assert(std::is_same_v<KeyedResult<short>, int64_t>);
static_assert(std::is_same_v<KeyedResult<long long>, int64_t>);
static_assert(std::is_same_v<KeyedResult<int64_t>, int64_t>);
static_assert(std::is_same_v<KeyedResult<unsigned>, int64_t>);
static_assert(std::is_same_v<KeyedResult<double>, double>);
static_assert(std::is_same_v<KeyedResult<float>, double>);
static_assert(std::is_same_v<KeyedResult<bool>, bool>);
static_assert(std::is_same_v<IndexedResult<char[3]>, std::string>);
static_assert(std::is_same_v<IndexedResult<int>, int64_t>);
static_assert(std::is_same_v<IndexedResult<bool>, bool>);
// Fallbacks that would be silently reinterpreted do not compile.
static_assert(!AcceptedFallback<char>);
static_assert(!AcceptedFallback<uint64_t>);
static_assert(!AcceptedFallback<std::nullptr_t>);
static_assert(!AcceptedFallback<const Value*>);
static_assert(!AcceptedFallback<Value>);

Value largeInteger() {
    return Value::integerFromText("18446744073709551615");
}

// One member of every kind, in a dictionary under `key` and in an array at the same position.
struct Member {
    std::string key;
    Value value;
    // What value() gives for each kind of fallback; nullopt: the fallback.
    std::optional<std::string> asText;
    std::optional<int64_t> asInteger;
    std::optional<double> asReal;
    std::optional<bool> asBool;
};

std::vector<Member> members() {
    return {
        {"text", Value("t"), "t", {}, {}, {}},
        {"int", Value(7), {}, 7, 7.0, true},
        {"zero", Value(0), {}, 0, 0.0, false},
        {"real", Value(2.9), {}, 2, 2.9, {}},
        {"negativeReal", Value(-2.9), {}, -2, -2.9, {}},
        // As an integer this once had no defined result at all.
        {"huge", Value(1e99), {}, {}, 1e99, {}},
        {"nan", Value(std::nan("")), {}, {}, {}, {}},  // asReal checked apart: NaN equals nothing
        {"large", largeInteger(), {}, {}, 18446744073709551615.0, {}},
        {"true", Value(true), {}, 1, {}, true},
        {"null", Value(), {}, {}, {}, {}},
        {"array", Value(Array{Value("t")}), {}, {}, {}, {}},
        {"dictionary", Value(Dictionary{{"text", Value("t")}}), {}, {}, {}, {}},
    };
}

Value asDictionary(const std::vector<Member>& all) {
    Dictionary d;
    for (const Member& m : all) d.emplace(m.key, m.value);
    return Value(std::move(d));
}

Value asArray(const std::vector<Member>& all) {
    Array a;
    for (const Member& m : all) a.push_back(m.value);
    return Value(std::move(a));
}

TEST(ValueAccess, DefaultedAccessConvertsOrFallsBackByKeyAndByIndex) {
    const std::vector<Member> all = members();
    const Value dictionary = asDictionary(all);
    const Value array = asArray(all);
    for (size_t i = 0; i < all.size(); ++i) {
        const Member& m = all[i];
        SCOPED_TRACE(m.key);
        ASSERT_NE(dictionary.find(m.key), nullptr);
        EXPECT_EQ(dictionary.find(m.key), &dictionary.asDictionary().at(m.key));
        ASSERT_NE(array.find(i), nullptr);
        EXPECT_EQ(array.find(i), &array.asArray()[i]);

        EXPECT_EQ(dictionary.value(m.key, "fallback"), m.asText.value_or("fallback"));
        EXPECT_EQ(array.value(i, "fallback"), m.asText.value_or("fallback"));
        EXPECT_EQ(dictionary.value(m.key, std::string("fallback")), m.asText.value_or("fallback"));
        EXPECT_EQ(dictionary.value(m.key, std::string_view("fallback")), m.asText.value_or("fallback"));

        EXPECT_EQ(dictionary.value(m.key, -1), m.asInteger.value_or(-1));
        EXPECT_EQ(array.value(i, int64_t{-1}), m.asInteger.value_or(-1));

        if (m.key != "nan") {
            EXPECT_EQ(dictionary.value(m.key, -1.5), m.asReal.value_or(-1.5));
            EXPECT_EQ(array.value(i, -1.5f), m.asReal.value_or(-1.5));
        }

        for (bool fallback : {false, true}) {
            EXPECT_EQ(dictionary.value(m.key, fallback), m.asBool.value_or(fallback));
            EXPECT_EQ(array.value(i, fallback), m.asBool.value_or(fallback));
        }
    }
    EXPECT_TRUE(std::isnan(dictionary.value("nan", 0.0)));
}

TEST(ValueAccess, DefaultedAccessOnAnythingElseGivesTheFallback) {
    const Value dictionary = asDictionary(members());
    const Value array = asArray(members());
    for (const Value& container : {dictionary, array, Value(), Value(3), Value("text")}) {
        SCOPED_TRACE(container.description());
        const bool isArray = container.isArray();
        const bool isDictionary = container.isDictionary();
        EXPECT_EQ(container.find("missing"), nullptr);
        EXPECT_EQ(container.find(size_t{9999}), nullptr);
        EXPECT_EQ(container.find("int") != nullptr, isDictionary);
        EXPECT_EQ(container.find(size_t{1}) != nullptr, isArray);
        EXPECT_EQ(container.value("missing", "fallback"), "fallback");
        EXPECT_EQ(container.value(size_t{9999}, 5), 5);
        EXPECT_EQ(container.value("int", -1), isDictionary ? 7 : -1);
        EXPECT_EQ(container.value(1, -1), isArray ? 7 : -1);
    }
    const char* nullText = nullptr;
    EXPECT_EQ(Value().value("k", nullText), "");
}

TEST(ValueAccess, CheckedAccessThrowsValueErrorNamingTheFault) {
    const Value dictionary = asDictionary(members());
    const Value array = asArray(members());
    struct Case {
        const char* name;
        std::function<const Value&()> access;
        std::optional<Value> member;  // what the access gives, or nullopt: it fails with
        const char* error = "";       // a message containing this
    };
    const std::vector<Case> cases{
        {"key", [&]() -> const Value& { return dictionary.at("int"); }, Value(7)},
        {"index", [&]() -> const Value& { return array.at(1); }, Value(7)},
        {"nested", [&]() -> const Value& { return dictionary.at("dictionary").at("text"); }, Value("t")},
        {"missing key", [&]() -> const Value& { return dictionary.at("nope"); }, {}, "missing key \"nope\""},
        {"index past the end",
         [&]() -> const Value& { return array.at(12); },
         {},
         "index 12 out of range (array of 12)"},
        {"key of an array",
         [&]() -> const Value& { return array.at("int"); },
         {},
         "expected a dictionary value, found array"},
        {"index of a dictionary",
         [&]() -> const Value& { return dictionary.at(0); },
         {},
         "expected an array value, found dictionary"},
        {"key of a number",
         [&]() -> const Value& { return dictionary.at("int").at("k"); },
         {},
         "expected a dictionary value, found integer"},
        {"index of null",
         [&]() -> const Value& { return dictionary.at("null").at(0); },
         {},
         "expected an array value, found null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.member) {
            EXPECT_EQ(c.access(), *c.member);
            continue;
        }
        try {
            c.access();
            ADD_FAILURE() << "no error";
        } catch (const ValueError& e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
    }
}

TEST(ValueAccess, MutableAtReachesTheMemberItself) {
    Value tree(Dictionary{{"list", Value(Array{Value(1), Value(2)})}});
    tree.at("list").at(1) = Value("two");
    EXPECT_EQ(tree, Value(Dictionary{{"list", Value(Array{Value(1), Value("two")})}}));
    EXPECT_THROW(tree.at("other"), ValueError);
    EXPECT_THROW(tree.at("list").at(2), ValueError);
}

TEST(ValueAccess, TypedAccessorsRefuseOtherTypesWithTheActualType) {
    struct Case {
        Value value;
        std::function<void(const Value&)> access;
        const char* message;
    };
    const std::vector<Case> cases{
        {Value("7"), [](const Value& v) { (void)v.asInteger(); }, "expected an integer value, found string"},
        {Value(Array{}), [](const Value& v) { (void)v.asReal(); }, "expected a real value, found array"},
        {Value(2.5), [](const Value& v) { (void)v.asBool(); }, "expected a boolean value, found real"},
        {largeInteger(), [](const Value& v) { (void)v.asBool(); }, "found real (an integer beyond 64 bits)"},
        {Value(1), [](const Value& v) { (void)v.asString(); }, "expected a string value, found integer"},
        {Value(), [](const Value& v) { (void)v.asDictionary(); }, "expected a dictionary value, found null"},
        {Value(true), [](const Value& v) { (void)v.asArray(); }, "expected an array value, found boolean"},
        {Value("x"), [](const Value& v) { (void)v.numberText(); }, "expected a number value, found string"},
    };
    for (const Case& c : cases) {
        try {
            c.access(c.value);
            ADD_FAILURE() << "no error for " << c.message;
        } catch (const ValueError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(ValueAccess, AsIntegerGivesEveryRealInRangeAndRefusesTheRest) {
    constexpr double kTwo63 = 9223372036854775808.0;
    struct Case {
        Value value;
        std::optional<int64_t> expected;  // nullopt: ValueError
    };
    const std::vector<Case> cases{
        {Value(true), 1},
        {Value(int64_t{-5}), -5},
        {Value(2.9), 2},
        {Value(-2.9), -2},
        {Value(-0.0), 0},
        {Value(-kTwo63), std::numeric_limits<int64_t>::min()},
        {Value(std::nextafter(kTwo63, 0.0)), int64_t{9223372036854774784}},
        {Value(kTwo63), std::nullopt},
        {Value(std::nextafter(-kTwo63, -1e300)), std::nullopt},
        {Value(1e99), std::nullopt},
        {Value(-1e99), std::nullopt},
        {Value(std::nan("")), std::nullopt},
        {Value(std::numeric_limits<double>::infinity()), std::nullopt},
        {Value(-std::numeric_limits<double>::infinity()), std::nullopt},
        {largeInteger(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.description());
        if (c.expected) {
            EXPECT_EQ(c.value.asInteger(), *c.expected);
        } else {
            EXPECT_THROW((void)c.value.asInteger(), ValueError);
            EXPECT_EQ(Value(Array{c.value}).value(0, int64_t{42}), 42);
        }
    }
}

TEST(ValueAccess, IntegersOfOtherTypesKeepTheirValue) {
    EXPECT_EQ(Value(5u).asInteger(), 5);
    EXPECT_EQ(Value(-5LL).asInteger(), -5);
    EXPECT_EQ(Value(short{-3}).asInteger(), -3);
    EXPECT_EQ(Value(size_t{9223372036854775807u}).asInteger(), INT64_MAX);
    const Value beyond(std::numeric_limits<uint64_t>::max());
    EXPECT_TRUE(beyond.isLargeInteger());
    EXPECT_EQ(beyond.numberText(), "18446744073709551615");
    EXPECT_EQ(beyond, largeInteger());
    EXPECT_TRUE(Value(static_cast<const char*>(nullptr)).isNull());
}

TEST(ValueAccess, IntegersFromTextFitOrKeepTheirDigits) {
    struct Case {
        const char* text;
        std::optional<int64_t> small;  // the Integer it becomes, if it fits
        const char* digits;            // else the digits it keeps
    };
    const std::vector<Case> cases{
        {"0", 0, nullptr},
        {"-0", 0, nullptr},
        {"007", 7, nullptr},
        {"9223372036854775807", INT64_MAX, nullptr},
        {"-9223372036854775808", INT64_MIN, nullptr},
        {"9223372036854775808", std::nullopt, "9223372036854775808"},
        {"-9223372036854775809", std::nullopt, "-9223372036854775809"},
        {"-000123456789012345678901234567890", std::nullopt, "-123456789012345678901234567890"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Value v = Value::integerFromText(c.text);
        if (c.small) {
            EXPECT_TRUE(v.isInteger());
            EXPECT_EQ(v.asInteger(), *c.small);
        } else {
            EXPECT_TRUE(v.isLargeInteger());
            EXPECT_FALSE(v.isInteger());
            EXPECT_TRUE(v.isNumber());
            EXPECT_EQ(v.type(), Value::Type::Real);
            EXPECT_EQ(v.numberText(), c.digits);
            EXPECT_EQ(v.description(), c.digits);
            EXPECT_EQ(v.asReal(), std::stod(c.digits));
        }
    }
    for (const char* bad : {"", "-", "+1", "1.0", "1e5", " 1", "12a", "--1", "0x10"}) {
        try {
            (void)Value::integerFromText(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const ValueError& e) {
            EXPECT_NE(std::string(e.what()).find("is not a decimal integer"), std::string::npos) << e.what();
        }
    }
    const Value beyondDoubles = Value::integerFromText(std::string(400, '9'));
    EXPECT_EQ(beyondDoubles.asReal(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Value::integerFromText("-" + std::string(400, '9')).asReal(),
              -std::numeric_limits<double>::infinity());
}

TEST(ValueAccess, NumbersCompareExactlyAcrossKinds) {
    const Value twoTo64 = Value::integerFromText("18446744073709551616");
    struct Case {
        Value a;
        Value b;
        bool equal;
    };
    const std::vector<Case> cases{
        {Value(3), Value(3.0), true},
        {Value(0), Value(-0.0), true},
        {Value(3), Value(3.5), false},
        // Rounded through double these once compared equal.
        {Value(int64_t{9007199254740993}), Value(9007199254740992.0), false},
        {Value(INT64_MAX), Value(9223372036854775808.0), false},
        {Value(int64_t{9007199254740992}), Value(9007199254740992.0), true},
        {twoTo64, Value(18446744073709551616.0), true},
        {largeInteger(), Value(18446744073709551616.0), false},
        {largeInteger(), largeInteger(), true},
        {largeInteger(), twoTo64, false},
        {largeInteger(), Value(INT64_MAX), false},
        {Value::integerFromText("-9223372036854775809"), Value(-9223372036854775808.0), false},
        {Value::integerFromText("-9223372036854775809"), Value(INT64_MIN), false},
        {largeInteger(), Value("18446744073709551615"), false},
        {Value(1), Value(true), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.description() << " vs " << c.b.description();
        EXPECT_EQ(c.b == c.a, c.equal) << c.b.description() << " vs " << c.a.description();
        // The same inside containers, compared recursively and past the recursion limit.
        EXPECT_EQ(Value(Array{c.a}) == Value(Array{c.b}), c.equal);
        Value deepA = c.a, deepB = c.b;
        for (int i = 0; i < 1000; ++i) {
            Array outerA, outerB;
            outerA.push_back(std::move(deepA));
            outerB.push_back(std::move(deepB));
            deepA = Value(std::move(outerA));
            deepB = Value(std::move(outerB));
        }
        EXPECT_EQ(deepA == deepB, c.equal) << c.a.description() << " vs " << c.b.description();
    }
}

TEST(ValueAccess, NumberTextIsTheUsualDecimalForm) {
    struct Case {
        Value number;
        const char* text;
    };
    const std::vector<Case> cases{
        {Value(3), "3"},
        {Value(INT64_MIN), "-9223372036854775808"},
        {Value(3.0), "3.0"},
        {Value(2.5), "2.5"},
        {Value(-0.0), "-0.0"},
        {Value(1e15), "1000000000000000.0"},
        {Value(1e99), "1e+99"},
        {Value(0.1), "0.1"},
        {Value(5e-324), "5e-324"},
        {Value(std::numeric_limits<double>::infinity()), "inf"},
        {largeInteger(), "18446744073709551615"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.number.numberText(), c.text);
}

TEST(ValueAccess, LargeIntegersLiveThroughCopiesMovesAndReplacement) {
    const Value original = Value::integerFromText(std::string(100, '7'));
    Value copy = original;
    EXPECT_EQ(copy, original);
    Value moved = std::move(copy);
    EXPECT_TRUE(copy.isNull());  // NOLINT(bugprone-use-after-move): the documented state
    EXPECT_EQ(moved.numberText(), std::string(100, '7'));
    moved = Value("text");
    EXPECT_EQ(moved, Value("text"));
    moved = original;
    EXPECT_EQ(moved.numberText(), std::string(100, '7'));
    Value holder(Array{original, Value(Dictionary{{"n", original}})});
    holder = holder.asArray()[1].at("n");
    EXPECT_EQ(holder, original);
}

}  // namespace
