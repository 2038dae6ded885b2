// Version texts and the skip list: the comparison's edge cases as a table, the same rules checked
// against an independent, deliberately plain reading of them on seeded random texts, and the skip
// list in real user defaults files.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "framework/Classes/VEXAPlugin.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempDir.h"

namespace {

using Version = std::optional<std::string>;

KOPAPlugin::VersionText view(const Version& v) {
    return v ? KOPAPlugin::VersionText(*v) : std::nullopt;
}
bool higher(const Version& a, const Version& b) {
    return KOPAPlugin::compareVersionStrings(view(a), view(b), false);
}
bool higherOrEqual(const Version& a, const Version& b) {
    return KOPAPlugin::compareVersionStrings(view(a), view(b), true);
}

struct Case {
    Version a, b;
    bool higher, higherOrEqual;
};

std::string show(const Version& v) {
    return v ? "\"" + *v + "\"" : "missing";
}

TEST(VersionStringTest, ComparesAsTheUpdateCheckNeeds) {
    const std::vector<Case> cases = {
        {"1.3", "1.2.9", true, true},
        {"1.10", "1.9", true, true},
        {"1.2", "1.2", false, true},
        {"1.2.0", "1.2", true, true},
        {"1.2", "1.2.0", false, false},
        {"1.02", "1.2", false, true},
        {"1.2b4", "1.2b3", true, true},
        {"1.2b3", "1.2b4", false, true},
        {"1.2b3", "1.2b3", false, true},
        {"1.3b1", "1.2", true, true},
        {"1.2.1b1", "1.2b9", true, true},
        {"1.2b9", "1.2.1", false, false},
        {std::nullopt, "1.2", false, false},
        {"1.2", std::nullopt, true, true},
        {std::nullopt, std::nullopt, false, true},
        // A release is higher than its own betas, never the other way round.
        {"1.2", "1.2b3", true, true},
        {"1.2b3", "1.2", false, true},
        {"1.2", "1.2b", true, true},
        // ... but only the same main text counts as "its own": 1.02 vs 1.2b3 stays equal-ish.
        {"1.02", "1.2b3", false, true},
        // Components read like strtoll: blanks, sign, digits; the rest is ignored.
        {"3rc1", "3", false, true},
        {"x1", "0", false, true},
        {" 2", "1", true, true},
        {"+2", "2", false, true},
        {"-1", "0", false, false},
        {"", "0", false, true},
        {"1.", "1", true, true},
        {"1..2", "1.0.1", true, true},
        // Only the lower-case b divides; text after a second b is ignored.
        {"1.2B3", "1.2", false, true},
        {"1.2b3b9", "1.2b3", false, true},
        {"1.2b10", "1.2b9", true, true},
        // Values beyond 64 bits clamp as strtoll does, so they compare equal to the limit.
        {"99999999999999999999", "9223372036854775807", false, true},
        {"-99999999999999999999", "-9223372036854775808", false, true},
        {"9223372036854775807", "9223372036854775806", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(higher(c.a, c.b), c.higher) << show(c.a) << " higher than " << show(c.b);
        EXPECT_EQ(higherOrEqual(c.a, c.b), c.higherOrEqual)
            << show(c.a) << " higher or equal to " << show(c.b);
    }
}

// The rules read plainly: split into strings, strtoll each, compare, then the beta rule.
struct Reference {
    bool present = false;
    std::string main;
    std::vector<std::string> components;
    std::optional<std::string> beta;

    explicit Reference(const Version& v) {
        if (!v) return;
        present = true;
        size_t b = v->find('b');
        main = v->substr(0, b);
        if (b != std::string::npos) beta = v->substr(b + 1, v->find('b', b + 1) - b - 1);
        size_t start = 0;
        for (;;) {
            size_t dot = main.find('.', start);
            components.push_back(main.substr(start, dot - start));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
    }
    static long long value(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }
};

bool referenceCompare(const Version& a, const Version& b, bool orEqual) {
    Reference ra(a), rb(b);
    std::optional<bool> result;
    for (size_t i = 0; i < ra.components.size() && i < rb.components.size() && !result; ++i) {
        long long va = Reference::value(ra.components[i]), vb = Reference::value(rb.components[i]);
        if (va != vb) result = va > vb;
    }
    if (!result)
        result = orEqual ? ra.components.size() >= rb.components.size()
                         : ra.components.size() > rb.components.size();
    if (!*result && ra.components == rb.components && (ra.beta || rb.beta)) {
        if (ra.beta && rb.beta) return Reference::value(*ra.beta) > Reference::value(*rb.beta);
        return !ra.beta;
    }
    return *result;
}

Version randomVersion(std::mt19937_64& rng) {
    static const std::vector<std::string> pieces = {
        "0", "1",  "2", "9",   "10", "01", ".",
        ".", ".",  "b", "B",   " ",  "-",  "+",
        "x", "rc", "",  "007", "12", "3",  "99999999999999999999"};
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1), length(0, 7), missing(0, 30);
    if (missing(rng) == 0) return std::nullopt;
    std::string text;
    for (size_t n = length(rng); n > 0; --n) text += pieces[pick(rng)];
    return text;
}

TEST(VersionStringTest, AgreesWithThePlainReadingOfTheRulesOnRandomTexts) {
    std::mt19937_64 rng(20261207);
    for (int i = 0; i < 200000; ++i) {
        Version a = randomVersion(rng);
        // Every fourth pair shares its main part, where the beta rule decides.
        Version b = (i % 4 == 0 && a)
                        ? Version(a->substr(0, a->find('b')) + (i % 8 ? "b" + std::to_string(i % 5) : ""))
                        : randomVersion(rng);
        bool h = higher(a, b), ba = higher(b, a), ge = higherOrEqual(a, b);
        ASSERT_EQ(h, referenceCompare(a, b, false)) << show(a) << " > " << show(b);
        ASSERT_EQ(ge, referenceCompare(a, b, true)) << show(a) << " >= " << show(b);
        ASSERT_FALSE(h && ba) << show(a) << " and " << show(b) << " are both higher than the other";
        // Or-equal is "higher, or the same number of components with the same values".
        Reference ra(a), rb(b);
        bool equalByRules = ra.components.size() == rb.components.size();
        for (size_t k = 0; equalByRules && k < ra.components.size(); ++k)
            equalByRules = Reference::value(ra.components[k]) == Reference::value(rb.components[k]);
        ASSERT_EQ(ge, h || equalByRules) << show(a) << " >= " << show(b);
        ASSERT_TRUE(higherOrEqual(a, a)) << show(a);
    }
}

class SkipListTest : public ::testing::Test {
protected:
    void SetUp() override { platform::UserDefaults::setStandardPath(dir / "defaults.json"); }
    void TearDown() override {
        DLPluginObject::setBundleBeingLoaded(nullptr);
        platform::UserDefaults::setStandardPath(dir / "unused.json");
    }
    std::shared_ptr<KOPAPlugin> pluginWithIdentifier(const std::string& identifier) {
        auto folder = dir / identifier;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "Info.json") << R"({ "CFBundleIdentifier": ")" << identifier << R"(" })";
        auto bundle = platform::Bundle::open(folder);
        EXPECT_TRUE(bundle) << bundle.status().message();
        DLPluginObject::setBundleBeingLoaded(bundle.value());
        return std::make_shared<KOPAPlugin>();
    }
    testsupport::TempDir dir;
};

TEST_F(SkipListTest, KeyKeepsThePlaceholderCharactersAndAppendsTheIdentifier) {
    auto plugin = pluginWithIdentifier("com.example.Tool");
    EXPECT_EQ(plugin->upgradeSkipListUserDefaultsKey(), "VEXAPluginVersionSkipList.%@com.example.Tool");
}

TEST_F(SkipListTest, EntriesMatchByExactTextAndAreStoredInTheFile) {
    auto plugin = pluginWithIdentifier("com.example.Tool");
    EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList("2.0"));
    plugin->addVersionToUpgradeSkipList("2.0");
    EXPECT_TRUE(plugin->isVersionOnUpgradeSkipList("2.0"));
    EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList("2.0.0"));
    plugin->addVersionToUpgradeSkipList("2.0");
    plugin->addVersionToUpgradeSkipList("2.1");

    // What another run of the host reads from the file.
    platform::UserDefaults reread(dir / "defaults.json");
    EXPECT_EQ(reread.objectForKey(plugin->upgradeSkipListUserDefaultsKey()),
              platform::Value(platform::Array{"2.0", "2.0", "2.1"}));
}

TEST_F(SkipListTest, ListsSavedEarlierUnderTheKeyAreFound) {
    std::ofstream(dir / "defaults.json") << R"({ "VEXAPluginVersionSkipList.%@com.example.Tool": ["1.5"] })";
    platform::UserDefaults::setStandardPath(dir / "defaults.json");
    auto plugin = pluginWithIdentifier("com.example.Tool");
    EXPECT_TRUE(plugin->isVersionOnUpgradeSkipList("1.5"));
}

TEST_F(SkipListTest, TwoPlugInsKeepTheirOwnLists) {
    auto one = pluginWithIdentifier("com.example.One");
    auto two = pluginWithIdentifier("com.example.Two");
    one->addVersionToUpgradeSkipList("3.0");
    EXPECT_TRUE(one->isVersionOnUpgradeSkipList("3.0"));
    EXPECT_FALSE(two->isVersionOnUpgradeSkipList("3.0"));
}

TEST_F(SkipListTest, AValueOfTheWrongKindIsNoListAndIsReplacedOnTheNextSkip) {
    auto plugin = pluginWithIdentifier("com.example.Tool");
    auto key = plugin->upgradeSkipListUserDefaultsKey();
    for (const platform::Value& stored : {platform::Value("2.0"), platform::Value(int64_t{2}),
                                          platform::Value(platform::Array{int64_t{2}, platform::Value()})}) {
        ASSERT_TRUE(platform::UserDefaults::standard().setObjectForKey(stored, key));
        EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList("2.0")) << stored.description();
        EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList("2")) << stored.description();
    }
    plugin->addVersionToUpgradeSkipList("2.0");
    EXPECT_TRUE(plugin->isVersionOnUpgradeSkipList("2.0"));
}

// Another host of the same account skips a version while this one runs: neither skip is lost.
TEST_F(SkipListTest, AVersionAnotherHostSkippedMeanwhileStays) {
    auto plugin = pluginWithIdentifier("com.example.Tool");
    plugin->addVersionToUpgradeSkipList("2.0");
    platform::UserDefaults otherHost(dir / "defaults.json");
    const auto key = plugin->upgradeSkipListUserDefaultsKey();
    ASSERT_TRUE(otherHost.setObjectForKey(platform::Value(platform::Array{"2.0", "3.0"}), key));
    plugin->addVersionToUpgradeSkipList("4.0");
    platform::UserDefaults reread(dir / "defaults.json");
    EXPECT_EQ(reread.objectForKey(key), platform::Value(platform::Array{"2.0", "3.0", "4.0"}));
}

TEST_F(SkipListTest, AnEntryLongerThanAnyVersionIsNotKept) {
    auto plugin = pluginWithIdentifier("com.example.Tool");
    plugin->addVersionToUpgradeSkipList(std::string(256, '9'));
    plugin->addVersionToUpgradeSkipList(std::string(257, '9'));
    EXPECT_TRUE(plugin->isVersionOnUpgradeSkipList(std::string(256, '9')));
    EXPECT_FALSE(plugin->isVersionOnUpgradeSkipList(std::string(257, '9')));
}

TEST_F(SkipListTest, ComparesTheRecordedSystemVersionWithOrEqual) {
    auto plugin = pluginWithIdentifier("com.example.Tool");
    // Without init() no system version is recorded: a missing version meets only a missing minimum.
    EXPECT_TRUE(plugin->currentOSXVersionIsHigherOrEqualToVersion(std::nullopt));
    EXPECT_FALSE(plugin->currentOSXVersionIsHigherOrEqualToVersion("0"));
    EXPECT_FALSE(plugin->currentOSXVersionIsHigherOrEqualToVersion("10.12"));
}

}  // namespace
