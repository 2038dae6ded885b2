// Adding to an array only what is given, and the hand-taken references of kopaRetain / kopaRelease.

#include <gtest/gtest.h>

#include <functional>

#include "plugin/framework/Categories/NSMutableArray+VEXA.h"
#include "plugin/framework/Categories/NSObject+VEXA.h"

namespace {

TEST(ConditionallyAdd, AddsOnlyWhatIsGiven) {
    platform::Array values;
    kopaConditionallyAddObject(values, nullptr);
    EXPECT_TRUE(values.empty());
    const platform::Value one(1);
    const platform::Value null;
    kopaConditionallyAddObject(values, &one);
    kopaConditionallyAddObject(values, &null);  // a null value is a value
    EXPECT_EQ(platform::Value(values).toJson(), "[1,null]");

    std::vector<std::shared_ptr<int>> pointers;
    kopaConditionallyAddObject(pointers, std::shared_ptr<int>());
    kopaConditionallyAddObject(pointers, std::make_shared<int>(5));
    ASSERT_EQ(pointers.size(), 1u);
    EXPECT_EQ(*pointers[0], 5);

    std::vector<std::string> texts;
    kopaConditionallyAddObject(texts, std::optional<std::string>());
    kopaConditionallyAddObject(texts, std::optional<std::string>("x"));
    EXPECT_EQ(texts, std::vector<std::string>{"x"});
}

class Tracked : public platform::Object {
public:
    explicit Tracked(std::function<void()> onDestroy = {}) : m_onDestroy(std::move(onDestroy)) {}
    ~Tracked() override {
        if (m_onDestroy) m_onDestroy();
    }

private:
    std::function<void()> m_onDestroy;
};

TEST(RetainRelease, KeepsTheObjectAliveUntilBalanced) {
    auto object = std::make_shared<Tracked>();
    std::weak_ptr<Tracked> watch = object;
    EXPECT_EQ(kopaRetain(object), object);
    kopaRetain(*object);
    EXPECT_EQ(kopaRetainedCount(*object), 2u);
    Tracked& raw = *object;
    object.reset();
    EXPECT_FALSE(watch.expired());
    EXPECT_TRUE(kopaRelease(raw));
    EXPECT_FALSE(watch.expired());
    EXPECT_TRUE(kopaRelease(raw));
    EXPECT_TRUE(watch.expired());
}

TEST(RetainRelease, UnbalancedReleaseChangesNothing) {
    auto object = std::make_shared<Tracked>();
    std::weak_ptr<Tracked> watch = object;
    EXPECT_FALSE(kopaRelease(*object));
    EXPECT_EQ(kopaRetainedCount(*object), 0u);
    EXPECT_EQ(watch.use_count(), 1);
}

TEST(RetainRelease, ObjectNotOwnedBySharedPtrCannotBeRetained) {
    Tracked onStack;
    EXPECT_THROW(kopaRetain(onStack), std::bad_weak_ptr);
    EXPECT_EQ(kopaRetainedCount(onStack), 0u);
}

TEST(RetainRelease, ADyingObjectMayReleaseAnother) {
    auto inner = std::make_shared<Tracked>();
    std::weak_ptr<Tracked> innerWatch = inner;
    kopaRetain(inner);
    Tracked& innerRef = *inner;
    inner.reset();
    auto outer = std::make_shared<Tracked>([&innerRef] { kopaRelease(innerRef); });
    kopaRetain(outer);
    Tracked& outerRef = *outer;
    outer.reset();
    EXPECT_TRUE(kopaRelease(outerRef));  // outer dies, and releases inner from its destructor
    EXPECT_TRUE(innerWatch.expired());
}

}  // namespace
