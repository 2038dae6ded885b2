// `zandrel-host connector-maps`: every connector-map record read back as JSON (compared with what
// the host stored, for many seeded random texts, hostile ones included) or as a table.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/host/ConnectorMapListing.h"
#include "app/host/TerminalText.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWUser.h"
#include "tests/support/HostLauncher.h"

using testsupport::ProcessResult;
using testsupport::TempDir;

namespace {

using Record = ConnectorMapListing::Record;

// Texts a plug-in might keep, and some it should not: JSON with control characters, non-ASCII
// and deep nesting, and text that is no JSON at all.
class TextMaker {
public:
    explicit TextMaker(uint32_t seed) : m_random(seed) {}

    std::string text() {
        switch (pick(6)) {
            case 0:
                return value(0).dump();  // compact, as the framework writes it
            case 1:
                return value(0).dump(1, '\t');
            case 2: {
                size_t depth = 1 + pick(5000);
                return std::string(depth, '[') + "\"deep\"" + std::string(depth, ']');
            }
            case 3:
                return std::string(1 + pick(3000), '{');  // broken
            case 4:
                return word();  // raw control characters and all
            default:
                return "";
        }
    }
    std::optional<std::string> maybe() { return pick(5) == 0 ? std::nullopt : std::optional(text()); }
    std::string word() {
        static const std::vector<std::string> pieces{
            "a", "Z",      " ",      "\x01",       "\x1b[2J", "\n",   "\t", "\"", "\\",
            "/", "\u00e9", "\u6f22", "\U0001F600", "\u2026",  "\x7f", "{",  "]"};
        std::string out;
        for (size_t n = pick(12); n > 0; --n) out += pieces[pick(pieces.size())];
        return out;
    }
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }

private:
    nlohmann::json value(int depth) {
        switch (depth > 4 ? pick(3) : pick(5)) {
            case 0:
                return word();
            case 1:
                return static_cast<int64_t>(m_random()) - (1LL << 31);
            case 2:
                return pick(2) == 0;
            case 3: {
                nlohmann::json array = nlohmann::json::array();
                for (size_t n = pick(4); n > 0; --n) array.push_back(value(depth + 1));
                return array;
            }
            default: {
                nlohmann::json object = nlohmann::json::object();
                for (size_t n = pick(4); n > 0; --n) object[word()] = value(depth + 1);
                return object;
            }
        }
    }
    std::mt19937 m_random;
};

class ConnectorMapsCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = (dir / "demo.sqlite").string();
        ProcessResult created = host.run({"--db", db, "--init-demo"});
        ASSERT_EQ(created.exitCode, 0) << created.err;
        // The demo's own record goes: each test knows every record there is.
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(raw, "DELETE FROM GWConnectorMap", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
    }
    ProcessResult listing(bool json) {
        std::vector<std::string> argv{"--db", db, "connector-maps"};
        if (json) argv.push_back("--json");
        return host.run(argv);
    }
    // Stores the records through the host, as a plug-in would, in order.
    void store(const std::vector<Record>& records) {
        auto context = DLPObjectContext::open(db, "ada");
        ASSERT_TRUE(context) << context.status().message();
        auto text = [](const std::optional<std::string>& v) {
            return v ? platform::Value(*v) : platform::Value();
        };
        for (const auto& r : records) {
            auto map = (*context)->createObject<GWConnectorMap>(true);
            ASSERT_TRUE(map) << map.status().message();
            (*map)->setForeignAppName(text(r.foreignAppName));
            (*map)->setForeignEntityType(text(r.foreignEntityType));
            (*map)->setForeignID(text(r.foreignID));
            (*map)->setForeignDatabase(text(r.json));
            if (r.contactID) (*map)->setContactID(*r.contactID);
        }
        auto saved = (*context)->saveChanges();
        ASSERT_TRUE(saved) << saved.message();
    }
    int64_t adaContact() {
        auto context = DLPObjectContext::open(db, "ada");
        EXPECT_TRUE(context);
        auto contact = (*context)->user()->contactID();
        return contact.isInteger() ? contact.asInteger() : 0;
    }

    TempDir dir;
    testsupport::HostLauncher host{dir.path()};
    std::string db;
};

nlohmann::json expectedJson(const std::optional<std::string>& text) {
    return text ? nlohmann::json(*text) : nlohmann::json(nullptr);
}

TEST_F(ConnectorMapsCliTest, JsonGivesBackEveryRecordAsStoredForSeededRandomTexts) {
    int64_t contact = adaContact();
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(seed);
        TextMaker maker(seed);
        std::vector<Record> records;
        for (int i = 0; i < 40; ++i) {
            Record r;
            r.foreignAppName = maker.maybe();
            r.foreignEntityType =
                maker.pick(2) ? std::optional<std::string>("FeaturePermission") : maker.maybe();
            r.foreignID = maker.maybe();
            if (maker.pick(3)) r.contactID = maker.pick(2) ? 0 : contact;
            r.json = maker.maybe();
            records.push_back(r);
        }
        store(records);
        ProcessResult out = listing(true);
        ASSERT_EQ(out.exitCode, 0) << out.err;
        nlohmann::json all = nlohmann::json::parse(out.out);
        auto ordered = nlohmann::ordered_json::parse(out.out);  // keys as printed
        ASSERT_TRUE(all.is_array());
        // Earlier seeds' records come first: stored key order.
        ASSERT_EQ(all.size(), 40u * seed);
        for (size_t i = 0; i < records.size(); ++i) {
            const auto& got = all[all.size() - records.size() + i];
            const auto& want = records[i];
            std::vector<std::string> keys;
            for (const auto& item : ordered[all.size() - records.size() + i].items())
                keys.push_back(item.key());
            ASSERT_EQ(keys, (std::vector<std::string>{"foreignAppName", "foreignEntityType", "foreignID",
                                                      "contactID", "json"}));
            EXPECT_EQ(got["foreignAppName"], expectedJson(want.foreignAppName));
            EXPECT_EQ(got["foreignEntityType"], expectedJson(want.foreignEntityType));
            EXPECT_EQ(got["foreignID"], expectedJson(want.foreignID));
            EXPECT_EQ(got["contactID"],
                      want.contactID ? nlohmann::json(*want.contactID) : nlohmann::json(nullptr));
            EXPECT_EQ(got["json"], expectedJson(want.json)) << "record " << i;
            // A JSON text that was stored parses to the same value as the one read back.
            if (want.json && nlohmann::json::accept(*want.json)) {
                EXPECT_EQ(nlohmann::json::parse(got["json"].get<std::string>()),
                          nlohmann::json::parse(*want.json));
            }
        }
    }
}

TEST_F(ConnectorMapsCliTest, AnEmptyListIsAnEmptyArrayAndTheTableSaysSo) {
    ProcessResult json = listing(true);
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out), nlohmann::json::array());
    ProcessResult table = listing(false);
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_NE(table.out.find("(no connector-map records)"), std::string::npos) << table.out;
}

TEST_F(ConnectorMapsCliTest, BytesThatAreNotUtf8AndOtherProgramsValuesStillGiveValidJson) {
    // Written by another program: text that is no UTF-8, a number in a text column, no contact.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(
            raw,
            "INSERT INTO GWConnectorMap (foreignAppName, foreignEntityType, foreignID, foreignDatabase) "
            "VALUES (CAST(x'41ff42' AS TEXT), 'Note', 42, '{\"a\":1}')",
            nullptr, nullptr, nullptr),
        SQLITE_OK)
        << sqlite3_errmsg(raw);
    sqlite3_close(raw);
    ProcessResult out = listing(true);
    ASSERT_EQ(out.exitCode, 0) << out.err;
    nlohmann::json all = nlohmann::json::parse(out.out);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["foreignAppName"], "A\uFFFDB");
    EXPECT_EQ(all[0]["foreignID"], "42");
    EXPECT_EQ(all[0]["contactID"], nullptr);
    EXPECT_EQ(all[0]["json"], "{\"a\":1}");
}

TEST_F(ConnectorMapsCliTest, TheTableShowsEveryRecordEscapedAndWholeWhenPiped) {
    store({{"Showcase", "FeaturePermission", "export", 0, std::nullopt},
           {"Showcase", "TemplateNote", "7", std::nullopt,
            std::string("{\"note\":\"line\\nnext\x1b\"}") + "\x1b[2J"}});
    ProcessResult out = listing(false);
    ASSERT_EQ(out.exitCode, 0) << out.err;
    EXPECT_EQ(out.out.find('\x1b'), std::string::npos) << "an escape sequence reached the terminal";
    EXPECT_NE(out.out.find("APPLICATION  TYPE"), std::string::npos) << out.out;
    EXPECT_NE(out.out.find("Showcase     FeaturePermission  export      0"), std::string::npos) << out.out;
    EXPECT_NE(out.out.find("\\x1b[2J"), std::string::npos) << out.out;
    EXPECT_EQ(std::count(out.out.begin(), out.out.end(), '\n'), 3);
}

TEST_F(ConnectorMapsCliTest, MistakesAreRefusedWithTheirStatus) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* said;
    } cases[] = {
        {{"--db", (dir / "missing.sqlite").string(), "connector-maps"}, 2, "no database file"},
        {{"--db", db, "connector-maps", "--jsn"}, 64, "--jsn"},
        {{"--db", db, "connector-maps", "extra"}, 64, "extra"},
    };
    for (const auto& c : cases) {
        ProcessResult r = host.run(c.args);
        EXPECT_EQ(r.exitCode, c.status) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    // A file that is no database is refused, not made into one.
    std::string text = (dir / "notes.txt").string();
    { std::ofstream(text) << "just text\n"; }
    ProcessResult r = host.run({"--db", text, "connector-maps", "--json"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::ifstream in(text);
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "just text\n");
}

TEST(ConnectorMapListingTest, TheTableFitsATerminalAndKeepsEveryColumnWhenItCan) {
    std::vector<Record> records{
        {"Showcase", "FeaturePermission", "export", 12, std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::string(300, 'j')}};
    struct Case {
        size_t width;
        size_t longest;
    } cases[] = {{0, 0}, {40, 40}, {80, 80}, {200, 200}};
    for (const auto& c : cases) {
        std::string table = ConnectorMapListing::renderTable(records, c.width);
        size_t start = 0, lines = 0;
        while (start < table.size()) {
            size_t end = table.find('\n', start);
            std::string line = table.substr(start, end - start);
            if (c.width) {
                EXPECT_LE(TerminalText::displayWidth(line), c.longest) << line;
            }
            start = end + 1;
            ++lines;
        }
        EXPECT_EQ(lines, 3u);
        if (!c.width) {
            EXPECT_NE(table.find(std::string(300, 'j')), std::string::npos);
        }
        EXPECT_NE(table.find("-"), std::string::npos) << "missing values are shown as -";
    }
}

}  // namespace
