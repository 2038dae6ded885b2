// Dictionary: sorted entries, std::map's interface, collect-then-sort construction.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

using platform::Dictionary;
using platform::Value;

namespace {

std::vector<std::string> keysOf(const Dictionary& d) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : d) keys.push_back(key);
    return keys;
}

TEST(ValueDictionary, IteratesInKeyOrderWhateverTheInsertionOrder) {
    Dictionary d;
    d["pear"] = 1;
    d.emplace("apple", 2);
    d.try_emplace(std::string("zebra"), 3);
    d.insert_or_assign("mango", 4);
    d.insert({"banana", Value(5)});
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"apple", "banana", "mango", "pear", "zebra"}));
    EXPECT_EQ(d.size(), 5u);
    EXPECT_EQ(d.at("mango").asInteger(), 4);
    EXPECT_EQ(d.count("pear"), 1u);
    EXPECT_EQ(d.count("plum"), 0u);
    EXPECT_TRUE(d.find("plum") == d.end());
}

TEST(ValueDictionary, EmplaceKeepsTheExistingEntryAndAssignReplacesIt) {
    Dictionary d;
    EXPECT_TRUE(d.emplace("k", 1).second);
    EXPECT_FALSE(d.emplace("k", 2).second);
    EXPECT_EQ(d.at("k").asInteger(), 1);
    EXPECT_FALSE(d.insert_or_assign("k", 3).second);
    EXPECT_EQ(d.at("k").asInteger(), 3);
    EXPECT_THROW(d.at("missing"), std::out_of_range);
}

TEST(ValueDictionary, EraseByKeyAndByIterator) {
    Dictionary d{{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}};
    EXPECT_EQ(d.erase("b"), 1u);
    EXPECT_EQ(d.erase("b"), 0u);
    auto next = d.erase(d.find("c"));
    ASSERT_TRUE(next != d.end());
    EXPECT_EQ(next->first, "d");
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"a", "d"}));
}

TEST(ValueDictionary, ListConstructionKeepsTheFirstOfEqualKeysAsStdMapDoes) {
    Dictionary d{{"b", 1}, {"a", 2}, {"b", 3}};
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(d.at("b").asInteger(), 1);
}

TEST(ValueDictionary, EntriesConstructionSortsOnceAndKeepsTheLastOfEqualKeys) {
    Dictionary::Entries entries;
    entries.emplace_back("b", 1);
    entries.emplace_back("a", 2);
    entries.emplace_back("b", 3);
    entries.emplace_back("a", 4);
    Dictionary d(std::move(entries));
    EXPECT_EQ(keysOf(d), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(d.at("a").asInteger(), 4);
    EXPECT_EQ(d.at("b").asInteger(), 3);
}

TEST(ValueDictionary, LargeShuffledKeyCountsSortWithDuplicates) {
    constexpr int kKeys = 100000;
    Dictionary::Entries entries;
    for (int i = 0; i < kKeys; ++i) entries.emplace_back("k" + std::to_string(i), i);
    for (int i = 0; i < kKeys; i += 10) entries.emplace_back("k" + std::to_string(i), -i);  // later wins
    std::shuffle(entries.begin(), entries.begin() + kKeys, std::mt19937(7));
    Dictionary d(std::move(entries));
    ASSERT_EQ(d.size(), static_cast<size_t>(kKeys));
    EXPECT_TRUE(
        std::is_sorted(d.begin(), d.end(), [](const auto& a, const auto& b) { return a.first < b.first; }));
    EXPECT_EQ(d.at("k20").asInteger(), -20);
    EXPECT_EQ(d.at("k21").asInteger(), 21);
}

TEST(ValueDictionary, JsonObjectsWithManyKeysAndDuplicates) {
    std::string json = "{";
    for (int i = 0; i < 50000; ++i)
        json += "\"key" + std::to_string((i * 7919) % 50000) + "\":" + std::to_string(i) + ",";
    json += "\"key5\":\"last\"}";
    const Value v = Value::parseJson(json);
    EXPECT_EQ(v.asDictionary().size(), 50000u);
    EXPECT_EQ(v.at("key5").asString(), "last");  // the last duplicate wins, as in nlohmann::json
}

TEST(ValueDictionary, EqualityComparesKeysAndValuesInOrder) {
    Dictionary a{{"x", 1}, {"y", "t"}};
    Dictionary b;
    b["y"] = "t";
    b["x"] = 1;
    EXPECT_TRUE(a == b);
    b["x"] = 2;
    EXPECT_FALSE(a == b);
    EXPECT_EQ(Value(a), Value(Dictionary{{"y", "t"}, {"x", 1}}));
}

}  // namespace
