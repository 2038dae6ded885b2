// The JSON of `templates --json` and `connector-maps --json`, written by the platform's
// JsonWriter: byte for byte what the earlier writer (nlohmann's, kept here as the reference)
// gave for ordinary data, over many seeded random entries, and numbers beyond 64 bits kept whole.
// The tables show format characters (bidi overrides, zero-width characters) escaped.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "app/host/ConnectorMapListing.h"
#include "app/host/TemplateTable.h"
#include "platform/foundation/DisplayText.h"
#include "platform/foundation/JsonReader.h"

namespace {

using platform::Value;

// The listing as the earlier writer made it: each value through its JSON text, keys in order.
std::string referenceJson(const std::vector<TemplateTable::JsonEntry>& entries) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const auto& entry : entries) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (const auto& [key, value] : entry) object[key] = nlohmann::ordered_json::parse(value.toJson());
        out.push_back(std::move(object));
    }
    return out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

class RandomValues {
public:
    explicit RandomValues(uint32_t seed) : m_rng(seed) {}

    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_rng); }

    std::string text() {
        static const char* const kPieces[] = {
            "a",        "Form", " ", "\"", "\\", "/", "\n", "\t",     "\r",           "\x01", "\x1f",
            "\xc3\xa9", "中",   "😀", "<",  "&",  "'", "0",  "\u00a0", "\xe2\x80\xae", "\x7f", "key"};
        std::string s;
        for (size_t n = pick(8); n > 0; --n) s += kPieces[pick(std::size(kPieces))];
        return s;
    }

    Value value(int depth) {
        switch (pick(depth > 2 ? 5 : 7)) {
            case 0:
                return Value();
            case 1:
                return Value(pick(2) == 0);
            case 2:
                return Value(static_cast<int64_t>(m_rng()) * (pick(2) ? 1 : -1) *
                             static_cast<int64_t>(pick(1000)));
            case 3:
                // Ordinary reals: quarters within a million either way.
                return Value(static_cast<double>(static_cast<int64_t>(pick(8000000)) - 4000000) / 4.0);
            case 4:
                return Value(text());
            case 5: {
                platform::Array items;
                for (size_t n = pick(4); n > 0; --n) items.push_back(value(depth + 1));
                return Value(std::move(items));
            }
            default: {
                platform::Dictionary d;
                for (size_t n = pick(4); n > 0; --n) d[text()] = value(depth + 1);
                return Value(std::move(d));
            }
        }
    }

private:
    std::mt19937 m_rng;
};

TEST(ListingJsonTest, AgreesWithTheEarlierWriterOnOrdinaryData) {
    RandomValues random(20261208);
    static const char* const kKeys[] = {"name",   "active", "details",  "forContact",
                                        "fields", "json",   "contactID"};
    for (int round = 0; round < 2000; ++round) {
        std::vector<TemplateTable::JsonEntry> entries(random.pick(4));
        for (auto& entry : entries)
            for (size_t k = 0, n = random.pick(std::size(kKeys) + 1); k < n; ++k)
                entry.emplace_back(kKeys[k], random.value(0));
        ASSERT_EQ(TemplateTable::renderJson(entries), referenceJson(entries)) << "round " << round;
    }
}

TEST(ListingJsonTest, ConnectorMapsAgreeWithTheEarlierWriter) {
    RandomValues random(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<ConnectorMapListing::Record> records(random.pick(4));
        std::vector<TemplateTable::JsonEntry> expected;
        for (auto& r : records) {
            auto maybe = [&]() -> std::optional<std::string> {
                return random.pick(4) ? std::optional<std::string>(random.text()) : std::nullopt;
            };
            r = {maybe(), maybe(), maybe(),
                 random.pick(3) ? std::optional<int64_t>(static_cast<int64_t>(random.pick(100000)))
                                : std::nullopt,
                 maybe()};
            auto v = [](const std::optional<std::string>& s) { return s ? Value(*s) : Value(); };
            expected.push_back({{"foreignAppName", v(r.foreignAppName)},
                                {"foreignEntityType", v(r.foreignEntityType)},
                                {"foreignID", v(r.foreignID)},
                                {"contactID", r.contactID ? Value(*r.contactID) : Value()},
                                {"json", v(r.json)}});
        }
        ASSERT_EQ(ConnectorMapListing::renderJson(records), referenceJson(expected)) << "round " << round;
    }
}

TEST(ListingJsonTest, NumbersBeyondSixtyFourBitsKeepEveryDigit) {
    const Value big = platform::JsonReader::parse("1180591620717411303424");  // 2^70
    const std::string json = TemplateTable::renderJson({{{"typeCode", big}, {"name", Value("n")}}});
    EXPECT_EQ(json, "[\n  {\n    \"typeCode\": 1180591620717411303424,\n    \"name\": \"n\"\n  }\n]\n");
    EXPECT_EQ(TemplateTable::renderJson({}), "[]\n");
}

TEST(ListingJsonTest, TablesShowFormatCharactersEscaped) {
    struct Case {
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"abc\u202Edef", "abc\\u202edef"},    {"a\u200Bb", "a\\u200bb"},
        {"\u2066x\u2069", "\\u2066x\\u2069"}, {"\xEF\xBB\xBFname", "\\ufeffname"},
        {"line\u2028two", "line\\u2028two"},  {"tag\U000E0041", "tag\\U000e0041"},
        {"ctl\x1b[31m", "ctl\\x1b[31m"},      {"Café 中", "Café 中"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::DisplayText::printable(c.name), c.shown);
        const std::string table = TemplateTable::render({{c.name, true, {{c.name, 0, true}}}}, 0);
        EXPECT_NE(table.find("\n" + c.shown + " "), std::string::npos) << table;
        EXPECT_NE(table.find("\n    " + c.shown + " "), std::string::npos) << table;
        if (c.shown != c.name) {
            EXPECT_EQ(table.find(c.name), std::string::npos) << table;
        }
        ConnectorMapListing::Record record;
        record.foreignID = c.name;
        EXPECT_NE(ConnectorMapListing::renderTable({record}, 0).find(c.shown), std::string::npos);
    }
}

}  // namespace
