// Value trees far deeper than the stack allows recursion for: copy, compare and destroy.

#include <gtest/gtest.h>

#include <thread>

#include "platform/foundation/Value.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

// Alternating dictionaries and arrays, `depth` levels, with `leaf` at the bottom.
Value deepTree(int depth, const Value& leaf) {
    Value root = leaf;
    for (int i = 0; i < depth; ++i) {
        if (i % 2) {
            Dictionary d;
            d.emplace("k", std::move(root));
            d.emplace("side", Value(i));
            root = Value(std::move(d));
        } else {
            Array a;
            a.push_back(std::move(root));
            root = Value(std::move(a));
        }
    }
    return root;
}

const Value* deepestLeaf(const Value& root) {
    const Value* node = &root;
    for (;;) {
        if (node->isArray() && !node->asArray().empty())
            node = &node->asArray().front();
        else if (const Value* next = node->find("k"))
            node = next;
        else
            return node;
    }
}

TEST(ValueDeepTree, CopyCompareAndDestroyWithoutRecursion) {
    constexpr int kDepth = 300000;
    const Value original = deepTree(kDepth, Value("bottom"));
    Value copy = original;
    ASSERT_NE(&copy, &original);
    EXPECT_EQ(deepestLeaf(copy)->asString(), "bottom");
    EXPECT_TRUE(copy == original);

    const Value other = deepTree(kDepth, Value("different"));
    EXPECT_FALSE(other == original);

    Value assigned;
    assigned = original;
    EXPECT_TRUE(assigned == copy);
    assigned = assigned;  // self-assignment keeps the tree
    EXPECT_EQ(deepestLeaf(assigned)->asString(), "bottom");
}

TEST(ValueDeepTree, ShallowTreesCompareAsBefore) {
    EXPECT_EQ(Value::parseJson(R"({"a":[1,2.0,{"b":null}]})"),
              Value::parseJson(R"({"a":[1.0,2,{"b":null}]})"));
    EXPECT_FALSE(Value::parseJson(R"({"a":[1]})") == Value::parseJson(R"({"b":[1]})"));
    EXPECT_FALSE(Value::parseJson(R"([1,2])") == Value::parseJson(R"([1,2,3])"));
    // Numbers compare by value across integer and real only.
    EXPECT_FALSE(Value(1) == Value("1"));
}

TEST(ValueDeepTree, DeepEqualityLooksAtEveryLevel) {
    // Differences hidden below the recursion limit, in keys, sizes and numbers.
    const Value base = deepTree(2000, Value(1));
    EXPECT_TRUE(base == deepTree(2000, Value(1.0)));
    EXPECT_FALSE(base == deepTree(2000, Value(2)));
    EXPECT_FALSE(base == deepTree(2001, Value(1)));
}

TEST(ValueDeepTree, EntriesMayDieOnAnotherThread) {
    Value tree;
    std::thread builder([&tree] {
        Dictionary d;
        for (int i = 0; i < 10000; ++i) d.emplace("key" + std::to_string(i), Value(i));
        tree = Value(std::move(d));
        Dictionary scratch;  // freed on this thread, which then ends with entries in its cache
        for (int i = 0; i < 1000; ++i) scratch.emplace(std::to_string(i), Value(i));
    });
    builder.join();
    EXPECT_EQ(tree.asDictionary().size(), 10000u);
    EXPECT_EQ(tree.at("key9999").asInteger(), 9999);
    std::thread destroyer([t = std::move(tree)]() mutable { t = Value(); });
    destroyer.join();
}

}  // namespace

namespace {

TEST(ValueDeepTree, JsonReadAndWrittenAtAnyDepth) {
    // Arrays and objects alternating, 200,000 levels: each conversion would overflow a recursive
    // walk long before.
    const int depth = 200000;
    std::string text;
    for (int i = 0; i < depth; ++i) text += i % 2 ? "{\"k\":" : "[";
    text += "1";
    for (int i = depth - 1; i >= 0; --i) text += i % 2 ? "}" : "]";
    platform::Value value = platform::Value::parseJson(text);
    EXPECT_EQ(value.toJson(), text);
    EXPECT_EQ(platform::Value::parseJson(value.toJson(1)), value);
}

TEST(ValueDeepTree, JsonTextMatchesTheUsualLayout) {
    struct Case {
        const char* json;
        int indent;
        const char* expected;
    };
    for (const Case& c :
         {Case{R"({"b":[1,2.5,"x\"y"],"a":{},"c":[]})", -1, R"({"a":{},"b":[1,2.5,"x\"y"],"c":[]})"},
          Case{R"({"a":[true,null],"b":{"c":"d"}})", 2,
               "{\n  \"a\": [\n    true,\n    null\n  ],\n  \"b\": {\n    \"c\": \"d\"\n  }\n}"},
          Case{R"("just text")", 2, R"("just text")"}, Case{"[]", 2, "[]"}})
        EXPECT_EQ(platform::Value::parseJson(c.json).toJson(c.indent), c.expected) << c.json;
}

}  // namespace
