// JSON dictionaries kept in a connector map's foreignDatabase and foreignID texts.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "framework/Categories/GWConnectorMap+VEXA.h"
#include "host/database/model/GWConnectorMap.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

class ConnectorMapJSONTest : public hosttest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        auto created = context->createObject<GWConnectorMap>(true);
        ASSERT_TRUE(created);
        map = *created;
    }
    size_t errorLines() const {
        size_t count = 0;
        for (const auto& line : log.lines)
            if (line.find("<Zandrel GWConnectorMap+VEXA:(") == 0 &&
                line.find(")> error: ") != std::string::npos)
                ++count;
        return count;
    }

    plugintest::LogCapture log;
    std::shared_ptr<GWConnectorMap> map;
};

TEST_F(ConnectorMapJSONTest, StoredTextReadsAsTheDictionaryOrAnEmptyOne) {
    struct Case {
        Value stored;
        Value expected;
        size_t logLines;
    } cases[] = {
        {Value(), Dictionary{}, 0},
        {"[1, 2]", Dictionary{}, 0},
        {"{}", Dictionary{}, 0},
        {R"({"a":{"b":[1,"x",null]},"c":true})",
         Dictionary{{"a", Dictionary{{"b", Array{int64_t{1}, "x", Value()}}}}, {"c", true}}, 0},
        {"not json", Dictionary{}, 1},
        {"", Dictionary{}, 1},
        {"42", Dictionary{}, 1},
        {"\"text\"", Dictionary{}, 1},
        {"null", Dictionary{}, 1},
        {"true", Dictionary{}, 1},
        {R"({"a":1} trailing)", Dictionary{}, 1},
        {std::string(100000, '['), Dictionary{}, 1},
    };
    for (const auto& c : cases) {
        log.lines.clear();
        map->setForeignDatabase(c.stored);
        map->setForeignID(c.stored);
        EXPECT_EQ(kopaJSONDictionaryForForeignDatabase(*map), c.expected) << c.stored.toJson().substr(0, 40);
        EXPECT_EQ(kopaJSONDictionaryForForeignID(*map), c.expected) << c.stored.toJson().substr(0, 40);
        EXPECT_EQ(errorLines(), 2 * c.logLines) << c.stored.toJson().substr(0, 40);
        EXPECT_EQ(log.lines.size(), 2 * c.logLines) << c.stored.toJson().substr(0, 40);
    }
}

TEST_F(ConnectorMapJSONTest, WritingStoresCompactJsonInItsOwnAttributeOnly) {
    map->setForeignID("feature-7");
    ASSERT_TRUE(kopaSetJSONDictionaryForForeignDatabase(*map, Dictionary{}));
    EXPECT_EQ(map->foreignDatabase(), Value("{}"));
    ASSERT_TRUE(kopaSetJSONDictionaryForForeignDatabase(
        *map, Dictionary{{"note", "a b"}, {"n", Array{int64_t{1}, int64_t{2}}}}));
    EXPECT_EQ(map->foreignDatabase(), Value(R"({"n":[1,2],"note":"a b"})"));
    EXPECT_EQ(map->foreignID(), Value("feature-7"));
    ASSERT_TRUE(kopaSetJSONDictionaryForForeignID(*map, Dictionary{{"x", true}}));
    EXPECT_EQ(map->foreignID(), Value(R"({"x":true})"));
    EXPECT_EQ(map->foreignDatabase(), Value(R"({"n":[1,2],"note":"a b"})"));

    // Every read is a new dictionary: changes reach the record only when written back.
    Value read = kopaJSONDictionaryForForeignDatabase(*map);
    read.asDictionary()["n"].asArray().push_back(int64_t{3});
    EXPECT_EQ(map->foreignDatabase(), Value(R"({"n":[1,2],"note":"a b"})"));
    ASSERT_TRUE(kopaSetJSONDictionaryForForeignDatabase(*map, read));
    EXPECT_EQ(kopaJSONDictionaryForForeignDatabase(*map).at("n"),
              Value(Array{int64_t{1}, int64_t{2}, int64_t{3}}));
    EXPECT_EQ(log.lines.size(), 0u);
}

TEST_F(ConnectorMapJSONTest, AValueJsonCannotCarryLeavesTheTextAsItWas) {
    struct Case {
        const char* name;
        Value value;
        const char* reason;
    } cases[] = {
        {"NaN", Dictionary{{"x", std::nan("")}}, "not finite"},
        {"infinity deep down",
         Dictionary{{"a", Array{Dictionary{{"b", std::numeric_limits<double>::infinity()}}}}}, "not finite"},
        {"broken UTF-8 text", Dictionary{{"x", std::string("ab\xC3", 3)}}, "not valid UTF-8"},
        {"surrogate in text", Dictionary{{"x", std::string("\xED\xA0\x80")}}, "not valid UTF-8"},
        {"broken UTF-8 key", Dictionary{{std::string("\xFF"), int64_t{1}}}, "key is not valid UTF-8"},
        {"an array", Array{int64_t{1}}, "only a dictionary"},
        {"a text", "text", "only a dictionary"},
    };
    for (const auto& c : cases) {
        log.lines.clear();
        map->setForeignDatabase(R"({"kept":1})");
        map->setForeignID("id-1");
        auto database = kopaSetJSONDictionaryForForeignDatabase(*map, c.value);
        auto id = kopaSetJSONDictionaryForForeignID(*map, c.value);
        EXPECT_FALSE(database) << c.name;
        EXPECT_FALSE(id) << c.name;
        EXPECT_NE(database.message().find(c.reason), std::string::npos)
            << c.name << ": " << database.message();
        EXPECT_EQ(map->foreignDatabase(), Value(R"({"kept":1})")) << c.name;
        EXPECT_EQ(map->foreignID(), Value("id-1")) << c.name;
        EXPECT_EQ(errorLines(), 2u) << c.name << (log.lines.empty() ? std::string() : log.lines[0]);
    }
    // Valid text outside ASCII is fine.
    ASSERT_TRUE(kopaSetJSONDictionaryForForeignDatabase(*map, Dictionary{{"名前", "Zoë 😀"}}));
    EXPECT_EQ(kopaJSONDictionaryForForeignDatabase(*map), Value(Dictionary{{"名前", "Zoë 😀"}}));
}

// Random JSON dictionaries with nested containers, texts outside ASCII and numbers of every kind.
class RandomJson {
public:
    explicit RandomJson(uint32_t seed) : m_random(seed) {}
    Value dictionary(int depth) {
        Dictionary result;
        int size = pick(0, 5);
        for (int i = 0; i < size; ++i) result[text()] = value(depth + 1);
        return result;
    }

private:
    Value value(int depth) {
        switch (pick(0, depth > 3 ? 5 : 7)) {
            case 0:
                return Value();
            case 1:
                return pick(0, 1) == 1;
            case 2:
                return static_cast<int64_t>(m_random()) * (pick(0, 1) ? 1 : -1) * pick(1, 1 << 20);
            case 3:
                return std::uniform_real_distribution<double>(-1e12, 1e12)(m_random);
            case 4:
                return std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(m_random), pick(-300, 300));
            case 5:
                return text();
            case 6: {
                Array array;
                int size = pick(0, 4);
                for (int i = 0; i < size; ++i) array.push_back(value(depth + 1));
                return array;
            }
            default:
                return dictionary(depth);
        }
    }
    std::string text() {
        static const char* const pieces[] = {"a", "Z", " ", "\"", "\\", "/", "\n",   "\t", "é",
                                             "ß", "€", "😀", "{",  "]",  ",", "\x01", "0"};
        std::string result;
        int length = pick(0, 8);
        for (int i = 0; i < length; ++i) result += pieces[pick(0, std::size(pieces) - 1)];
        return result;
    }
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    std::mt19937 m_random;
};

TEST_F(ConnectorMapJSONTest, RandomDictionariesComeBackEqualFromTheFile) {
    RandomJson random(20261207);
    std::vector<std::pair<Value, Value>> written;
    std::vector<std::shared_ptr<GWConnectorMap>> maps;
    for (int i = 0; i < 300; ++i) {
        auto created = context->createObject<GWConnectorMap>(true);
        ASSERT_TRUE(created);
        Value inDatabase = random.dictionary(0), inID = random.dictionary(0);
        ASSERT_TRUE(kopaSetJSONDictionaryForForeignDatabase(**created, inDatabase)) << inDatabase.toJson();
        ASSERT_TRUE(kopaSetJSONDictionaryForForeignID(**created, inID)) << inID.toJson();
        written.emplace_back(inDatabase, inID);
        maps.push_back(*created);
    }
    ASSERT_TRUE(context->saveChanges());
    auto other = signIn();
    ASSERT_TRUE(other);
    for (size_t i = 0; i < written.size(); ++i) {
        auto found =
            other->objectForEntityNamedWherePrimaryKeyValueIs("GWConnectorMap", maps[i]->primaryKeyValue());
        ASSERT_TRUE(found && *found);
        auto read = std::static_pointer_cast<GWConnectorMap>(*found);
        EXPECT_EQ(kopaJSONDictionaryForForeignDatabase(*read), written[i].first) << written[i].first.toJson();
        EXPECT_EQ(kopaJSONDictionaryForForeignID(*read), written[i].second) << written[i].second.toJson();
    }
    EXPECT_EQ(log.lines.size(), 0u);
}

}  // namespace
