// A qualifier decides alike in memory (unsaved objects) and in each store (saved rows): random
// qualifiers over random objects, with the values where the two could part -- integers near
// 2^53 and 2^63, reals next to them and between integers, texts in different letter case and
// bytes that are not UTF-8, booleans, arrays and dictionaries in attributes of any type, nil,
// NaN -- compared with each other across kinds, attribute with attribute, and in IN lists.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/Qualifier.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"
#include "tests/host/StoreTestSupport.h"

using host::Qualifier;
using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr int64_t kTwo53 = int64_t{1} << 53;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

using hosttest::recordEntity;

class Generator {
public:
    explicit Generator(uint64_t seed) : m_random(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }
    bool chance(int percent) { return below(100) < size_t(percent); }
    template <typename T>
    const T& pick(const std::vector<T>& from) {
        return from[below(from.size())];
    }

    int64_t integer() {
        static const std::vector<int64_t> bases = {0, 1, -1, 2, kTwo53, -kTwo53, kMax, kMin, 1000};
        int64_t base = pick(bases);
        int64_t offset = int64_t(below(5)) - 2;
        if ((offset > 0 && base > kMax - offset) || (offset < 0 && base < kMin - offset)) return base;
        return base + offset;
    }

    double real() {
        static const std::vector<double> reals = {0.0,
                                                  -0.0,
                                                  0.5,
                                                  -1.5,
                                                  1.0,
                                                  2.0,
                                                  double(kTwo53),
                                                  double(kTwo53) + 2.0,
                                                  double(kTwo53) - 1.0,
                                                  -double(kTwo53),
                                                  9223372036854775808.0,   // 2^63: just above every integer
                                                  -9223372036854775808.0,  // -2^63: equal to the smallest
                                                  9223372036854774784.0,   // the real below 2^63
                                                  -9223372036854777856.0,  // the real below -2^63
                                                  2.5,
                                                  -2.5,
                                                  0.1,
                                                  1e-300,
                                                  1e300,
                                                  std::numeric_limits<double>::infinity(),
                                                  -std::numeric_limits<double>::infinity(),
                                                  std::numeric_limits<double>::quiet_NaN()};
        return pick(reals);
    }

    // Texts every store keeps in a text attribute.
    std::string text() {
        static const std::vector<std::string> texts = {
            "", "a", "A", "abc", "ABC", "abd", "9007199254740993", "1", "\xC3\xA9", "E\xCC\x81", "a b", "zz"};
        return pick(texts);
    }
    // Also bytes that are not UTF-8 text (a stray byte, a cut character, a NUL, a surrogate).
    std::string anyText() {
        static const std::vector<std::string> odd = {"\xFF", "a\xC3", std::string("a\0b", 3), "\xED\xA0\x80"};
        return chance(15) ? pick(odd) : text();
    }

    Value anyValue() {
        switch (below(6)) {
            case 0:
                return Value();
            case 1:
                return Value(integer());
            case 2:
                return Value(real());
            case 3:
                return Value(anyText());
            case 4:
                return Value(chance(50));
            default:
                return Value(integer());
        }
    }

    // A value for an attribute of any type: also arrays and dictionaries.
    Value attributeValue() {
        if (chance(85)) return anyValue();
        if (chance(50)) return Value(Array{Value(integer()), Value(text())});
        return Value(Dictionary{{"k", Value(text())}});
    }

    // A value as qualifier text: a literal where the language has one, else a binding.
    std::string operandValue(Dictionary& bindings) {
        switch (below(8)) {
            case 0:
                return pick(std::vector<std::string>{"nil", "NULL", "YES", "NO", "TRUE", "FALSE"});
            case 1:
                return std::to_string(integer());
            case 2: {
                double r = real();
                if (!std::isfinite(r)) break;
                return fmt::format("{:.1f}", r);  // always with a point, so it is read as a real
            }
            case 3: {
                std::string t = anyText();
                if (t.find('\0') != std::string::npos || t.find('\'') != std::string::npos) break;
                return "'" + t + "'";
            }
            default:
                break;
        }
        std::string name = "v" + std::to_string(bindings.size());
        bindings[name] = anyValue();
        return "$" + name;
    }

    std::string operand(Dictionary& bindings) {
        static const std::vector<std::string> attributes = {"typeCode", "defaultValue", "options",
                                                            "details",  "active",       "name"};
        return chance(55) ? pick(attributes) : operandValue(bindings);
    }

    std::string comparison(Dictionary& bindings) {
        static const std::vector<std::string> ops = {"==", "=", "!=", "<>", "<", ">", "<=", ">="};
        if (chance(15)) {
            std::string a = operand(bindings);
            if (chance(40)) {
                std::string name = "list" + std::to_string(bindings.size());
                Array list;
                for (size_t i = below(7); i > 0; --i) list.push_back(anyValue());
                bindings[name] = list;
                return a + " IN $" + name;
            }
            std::string list;
            for (size_t i = below(6); i > 0; --i) list += (list.empty() ? "" : ", ") + operand(bindings);
            return a + " IN {" + list + "}";
        }
        std::string a = operand(bindings);
        return a + " " + pick(ops) + " " + operand(bindings);
    }

    std::string condition(Dictionary& bindings, int depth) {
        std::string text;
        if (depth > 0 && chance(45)) {
            const char* joiner = chance(50) ? " AND " : " OR ";
            for (size_t i = 2 + below(3); i > 0; --i) {
                if (!text.empty()) text += joiner;
                text += "(" + condition(bindings, depth - 1) + ")";
            }
        } else {
            text = comparison(bindings);
        }
        return chance(20) ? "NOT " + text : text;
    }

private:
    std::mt19937_64 m_random;
};

class QualifierDifferentialTest : public hosttest::StoreTest {};

TEST_P(QualifierDifferentialTest, MemoryAndStoreAgreeOnRandomQualifiers) {
    for (uint64_t seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(fmt::format("seed {}", seed));
        Generator random(seed);
        auto session = signIn();
        ASSERT_TRUE(session);

        // Objects, remembered with the values they had before saving.
        std::vector<std::pair<std::string, std::vector<Value>>> objects;
        for (int i = 0; i < 60; ++i) {
            auto made = session->createObject<CustomRecordDefinition>();
            ASSERT_TRUE(made);
            const std::string name = fmt::format("s{}o{}", seed, i);
            (*made)->setName(name);
            (*made)->setTypeCode(random.chance(15) ? Value() : Value(random.integer()));
            (*made)->setDefaultValue(random.attributeValue());
            (*made)->setOptions(random.attributeValue());
            (*made)->setDetails(random.chance(20) ? Value() : Value(random.text()));
            (*made)->setActive(random.chance(20) ? Value() : Value(random.chance(50)));
            objects.emplace_back(name, (*made)->values());
        }
        ASSERT_TRUE(session->saveChanges());
        auto store = host::StoreFactory::open(address);
        ASSERT_TRUE(store) << store.status().message();
        const std::string prefix = fmt::format("s{}o", seed);
        const size_t nameSlot = *recordEntity().slot("name");

        size_t matchedSome = 0;
        for (int q = 0; q < 400; ++q) {
            Dictionary bindings;
            const std::string text = random.condition(bindings, 3);
            auto compiled = Qualifier::compile(recordEntity(), text, bindings, (*store)->dialect());
            ASSERT_TRUE(compiled) << text << ": " << compiled.status().message();

            std::vector<std::string> memory;
            for (const auto& [name, values] : objects)
                if (compiled->matches(values)) memory.push_back(name);

            std::vector<std::string> sql;
            auto fetched = (*store)->fetch(recordEntity(), *compiled, [&](const host::StoreRow& row) {
                auto name = row.value(nameSlot);
                if (name.bytes.starts_with(prefix)) sql.push_back(name.bytes);
            });
            ASSERT_TRUE(fetched) << fetched.message();

            std::sort(memory.begin(), memory.end());
            std::sort(sql.begin(), sql.end());
            ASSERT_EQ(memory, sql) << "qualifier: " << text << "\n  bindings: " << Value(bindings).toJson();
            if (!memory.empty() && memory.size() < objects.size()) ++matchedSome;
        }
        // The qualifiers discriminate: most match some objects but not all.
        EXPECT_GT(matchedSome, 100u);
    }
}

// The cases where converting an integer to a real would decide differently from SQLite: an
// object must match the same before and after it is saved.
TEST_P(QualifierDifferentialTest, IntegersAndRealsCompareExactly) {
    const struct {
        int64_t typeCode;
        const char* qualifier;
        Value bound;
        bool matches;
    } cases[] = {
        {kTwo53 + 1, "typeCode == $r", Value(double(kTwo53)), false},
        {kTwo53 + 1, "typeCode = $r", Value(double(kTwo53)), false},
        {kTwo53 + 1, "typeCode != $r", Value(double(kTwo53)), true},
        {kTwo53 + 1, "typeCode > $r", Value(double(kTwo53)), true},
        {kTwo53 + 1, "typeCode <= $r", Value(double(kTwo53)), false},
        {kTwo53 + 1, "typeCode < $r", Value(double(kTwo53) + 2.0), true},
        {kTwo53, "typeCode == $r", Value(double(kTwo53)), true},
        {kTwo53, "typeCode >= $r", Value(double(kTwo53)), true},
        {kMax, "typeCode == $r", Value(9223372036854775808.0), false},
        {kMax, "typeCode < $r", Value(9223372036854775808.0), true},
        {kMax, "typeCode > $r", Value(9223372036854774784.0), true},
        {kMin, "typeCode == $r", Value(-9223372036854775808.0), true},
        {kMin, "typeCode > $r", Value(-std::numeric_limits<double>::infinity()), true},
        {kMax, "typeCode < $r", Value(std::numeric_limits<double>::infinity()), true},
        {-kTwo53 - 1, "typeCode < $r", Value(-double(kTwo53)), true},
        {-kTwo53 - 1, "typeCode == $r", Value(-double(kTwo53)), false},
        {3, "typeCode IN $r", Value(Array{3.0, 4.5}), true},
        {kTwo53 + 1, "typeCode IN $r", Value(Array{double(kTwo53)}), false},
        {kTwo53 + 1, "typeCode == 9007199254740992.0 OR typeCode == $r", Value(kTwo53 + 1), true},
        {kTwo53 + 1, "typeCode == 9007199254740992.0", Value(), false},
        {0, "typeCode == $r", Value(-0.0), true},
        {0, "typeCode == $r", Value(std::numeric_limits<double>::quiet_NaN()),
         false},  // NaN is stored as NULL
        {0, "typeCode != $r", Value(std::numeric_limits<double>::quiet_NaN()), true},
        {1, "typeCode == $r", Value("1"), false},  // a number never equals a text
        {1, "typeCode < $r", Value(""), true},     // numbers order before texts
    };
    auto session = signIn();
    for (size_t i = 0; i < std::size(cases); ++i) {
        auto made = session->createObject<CustomRecordDefinition>();
        ASSERT_TRUE(made);
        (*made)->setName("c" + std::to_string(i));
        (*made)->setTypeCode(cases[i].typeCode);
    }
    auto matches = [&](DLPObjectContext& from, size_t i) {
        const auto& c = cases[i];
        auto found = from.objectsForEntityNamedQualifierLocumBindings(
            "CustomRecordDefinition", fmt::format("name == 'c{}' AND ({})", i, c.qualifier),
            {{"r", c.bound}});
        EXPECT_TRUE(found) << found.status().message();
        return found && found->size() == 1;
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(matches(*session, i), cases[i].matches)
            << "unsaved: " << cases[i].typeCode << " " << cases[i].qualifier;
    ASSERT_TRUE(session->saveChanges());
    auto fresh = signIn();
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(matches(*fresh, i), cases[i].matches)
            << "saved: " << cases[i].typeCode << " " << cases[i].qualifier;
}

INSTANTIATE_TEST_SUITE_P(Stores, QualifierDifferentialTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
