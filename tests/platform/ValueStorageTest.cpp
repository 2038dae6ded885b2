// Value's own storage: moves, assignments that alias the value's own members, copies per type.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

// One value of every type, containers with members whose storage lives on the heap.
std::vector<Value> oneOfEach() {
    return {
        Value(),
        Value(true),
        Value(int64_t{-7}),
        Value(2.5),
        Value(std::string(100, 'x')),
        Value(Array{Value("a"), Value(std::string(40, 'b')), Value(Array{Value(1)})}),
        Value(Dictionary{{"k", Value(std::string(50, 'v'))}, {"n", Value(Dictionary{{"deep", Value(3)}})}})};
}

TEST(ValueStorage, MovesCarryTheContentsAndLeaveTheSourceNull) {
    for (const Value& original : oneOfEach()) {
        SCOPED_TRACE(original.toJson());
        Value source = original;
        Value moved(std::move(source));
        EXPECT_EQ(moved, original);
        EXPECT_TRUE(source.isNull());  // NOLINT(bugprone-use-after-move): the documented state

        Value assigned(int64_t{1});
        assigned = std::move(moved);
        EXPECT_EQ(assigned, original);
        EXPECT_TRUE(moved.isNull());  // NOLINT(bugprone-use-after-move)
    }
}

TEST(ValueStorage, EveryTypeReplacesEveryOther) {
    const std::vector<Value> values = oneOfEach();
    for (const Value& from : values) {
        for (const Value& to : values) {
            Value copy = to;
            copy = from;
            EXPECT_EQ(copy, from) << from.toJson() << " over " << to.toJson();
            Value moved = to;
            Value source = from;
            moved = std::move(source);
            EXPECT_EQ(moved, from) << from.toJson() << " over " << to.toJson();
        }
    }
}

TEST(ValueStorage, AssigningAMemberOfItselfKeepsTheMember) {
    // The member lives inside the storage the assignment releases.
    Value array(Array{Value(Dictionary{{"keep", Value(std::string(64, 'k'))}}), Value(2)});
    array = std::move(array.asArray()[0]);
    EXPECT_EQ(array, Value(Dictionary{{"keep", Value(std::string(64, 'k'))}}));

    Value node(Dictionary{{"child", Value(Array{Value("x"), Value("y")})}});
    node = node.asDictionary().at("child");  // a copy of its own member
    EXPECT_EQ(node, Value(Array{Value("x"), Value("y")}));

    Value self(std::string(30, 's'));
    Value& alias = self;
    self = std::move(alias);
    EXPECT_EQ(self, Value(std::string(30, 's')));
}

TEST(ValueStorage, NumbersCompareAcrossIntegerAndRealButNotWithOtherTypes) {
    EXPECT_EQ(Value(3), Value(3.0));
    EXPECT_NE(Value(3), Value(3.5));
    EXPECT_NE(Value(1), Value(true));
    EXPECT_NE(Value("1"), Value(1));
    EXPECT_NE(Value(), Value(Array{}));
    EXPECT_NE(Value(Array{}), Value(Dictionary{}));
}

}  // namespace
