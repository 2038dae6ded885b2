// Adding and removing plug-in commands in the host's contextual menu configuration, and
// registering menu actions with the host's menu manager.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "framework/Categories/MCMenuManager+VEXA.h"
#include "framework/Classes/VEXAContextualMenuManager.h"
#include "host/app/MCMenuManager.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TempDir.h"
#include "tests/support/UiTestSupport.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

constexpr const char* kClass = "GWContact";

// Items in short form: "-" a separator, any other letter the command with selector "<letter>:"
// as the host would have written it (with a key of its own).
Value item(const std::string& shorthand) {
    if (shorthand == "-") return KOPAContextualMenuManager::separatorItem();
    return Dictionary{{"DisplayString", shorthand},
                      {"ItemDescription", "host item " + shorthand},
                      {"Classname", kClass},
                      {"SelectorName", shorthand + ":"},
                      {"HostIcon", "icon-" + shorthand}};
}

// The item this framework writes for the command "N".
Value newItem() {
    return Dictionary{{"DisplayString", "New"},
                      {"ItemDescription", "Adds it"},
                      {"Classname", kClass},
                      {"SelectorName", "N:"}};
}

Array items(const std::vector<std::string>& shorthand) {
    Array result;
    for (const auto& s : shorthand) result.push_back(s == "N" ? newItem() : item(s));
    return result;
}

Value configuration(const std::vector<std::string>& menu) {
    return Array{Dictionary{{"Classname", "GWProject"}, {"MenuItems", items({"A"})}},
                 Dictionary{{"Classname", kClass}, {"MenuItems", items(menu)}, {"HostVersion", int64_t{6}}},
                 "an entry of another shape"};
}

std::optional<Value> add(const Value& config, uint64_t options) {
    return KOPAContextualMenuManager::configurationByAddingItem(config, kClass, "New", "Adds it",
                                                                "N:", options);
}

std::optional<Value> remove(const Value& config, bool separators) {
    return KOPAContextualMenuManager::configurationByRemovingItem(config, kClass, "N:", separators);
}

TEST(ContextualMenuEditTest, AddingPlacesTheItemAndSeparatorByTheOptionBits) {
    struct Case {
        uint64_t options;
        std::vector<std::string> before;
        std::vector<std::string> after;  // empty with `unchanged`
        bool unchanged = false;
    } cases[] = {
        {0, {}, {"N"}},
        {1, {}, {"N"}},
        {3, {}, {"N", "-"}},
        {2, {}, {"-", "N"}},
        {0, {"A", "B"}, {"A", "B", "N"}},
        {1, {"A", "B"}, {"N", "A", "B"}},
        {2, {"A", "B"}, {"A", "B", "-", "N"}},
        {3, {"A", "B"}, {"N", "-", "A", "B"}},
        {4, {"A"}, {"A", "N"}},
        {7, {"A"}, {"N", "-", "A"}},
        {0, {"A", "N", "B"}, {}, true},
        {3, {"N"}, {}, true},
    };
    for (const auto& c : cases) {
        Value before = configuration(c.before);
        auto after = add(before, c.options);
        std::string name =
            "options " + std::to_string(c.options) + ", " + std::to_string(c.before.size()) + " items";
        if (c.unchanged) {
            EXPECT_FALSE(after) << name;
            continue;
        }
        ASSERT_TRUE(after) << name;
        EXPECT_EQ(*after, configuration(c.after)) << name << ": " << after->toJson();
    }
}

TEST(ContextualMenuEditTest, RemovingTakesTheItemAndTheSeparatorTheFlagAllows) {
    struct Case {
        bool separators;
        std::vector<std::string> before;
        std::vector<std::string> after;
        bool unchanged = false;
    } cases[] = {
        {true, {"A", "-", "N"}, {"A"}},
        {true, {"N", "-", "B"}, {"B"}},
        {true, {"N", "-"}, {"-"}},
        {true, {"A", "-", "N", "-", "B"}, {"A", "-", "B"}},
        {true, {"A", "N", "-", "B"}, {"A", "B"}},
        {true, {"A", "N", "-"}, {"A", "-"}},
        {true, {"-", "N"}, {}},
        {true, {"N"}, {}},
        {true, {"N", "N"}, {"N"}},
        {false, {"A", "-", "N", "-", "B"}, {"A", "-", "-", "B"}},
        {false, {"N", "-", "B"}, {"-", "B"}},
        {false, {"A", "-", "N"}, {"A", "-"}},
        {true, {"A", "B"}, {}, true},
        {true, {}, {}, true},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        auto after = remove(configuration(c.before), c.separators);
        if (c.unchanged) {
            EXPECT_FALSE(after) << "case " << i;
            continue;
        }
        ASSERT_TRUE(after) << "case " << i;
        EXPECT_EQ(*after, configuration(c.after)) << "case " << i << ": " << after->toJson();
    }
}

TEST(ContextualMenuEditTest, TheFirstEntryOfTheClassWithMenuItemsIsTheOneChanged) {
    Value config = Array{Dictionary{{"Classname", kClass}, {"Note", "no items yet"}},
                         Dictionary{{"Classname", kClass}, {"MenuItems", "not an array"}},
                         Dictionary{{"Classname", "gwcontact"}, {"MenuItems", Array{}}},
                         Dictionary{{"Classname", kClass}, {"MenuItems", items({"A"})}},
                         Dictionary{{"Classname", kClass}, {"MenuItems", Array{}}}};
    auto added = add(config, 0);
    ASSERT_TRUE(added);
    Value expected = config;
    expected.asArray()[3].asDictionary()["MenuItems"] = items({"A", "N"});
    EXPECT_EQ(*added, expected);

    // Removing goes on past an entry of the class that lacks the item.
    Value twice =
        Array{Dictionary{{"Classname", kClass}, {"MenuItems", items({"A"})}},
              Dictionary{{"Classname", kClass}, {"MenuItems", items({"B", "-", "N"})}, {"Extra", true}}};
    auto removed = remove(twice, true);
    ASSERT_TRUE(removed);
    Value expectedTwice = twice;
    expectedTwice.asArray()[1].asDictionary()["MenuItems"] = items({"B"});
    EXPECT_EQ(*removed, expectedTwice);
}

TEST(ContextualMenuEditTest, NothingIsCreatedAndOddShapesAreNeverRewritten) {
    Value separatorLookalike = Dictionary{{"DisplayString", "--------------------"}};
    Value oddItems =
        Array{Dictionary{{"Classname", kClass},
                         {"MenuItems", Array{item("A"), "a text item", separatorLookalike, newItem()}}}};
    auto removed = remove(oddItems, true);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->asArray()[0].at("MenuItems"), (Array{item("A"), "a text item", separatorLookalike}))
        << "only an item marked SeparatorItem is a separator; other items stay";

    const Value unchangeable[] = {Value(),
                                  Array{},
                                  Dictionary{{"Classname", kClass}, {"MenuItems", Array{}}},
                                  "a text",
                                  Array{"text", int64_t{1}, Array{}},
                                  Array{Dictionary{{"Classname", "GWProject"}, {"MenuItems", Array{}}}},
                                  Array{Dictionary{{"Classname", int64_t{5}}, {"MenuItems", Array{}}}},
                                  Array{Dictionary{{"MenuItems", Array{}}}}};
    for (const auto& config : unchangeable) {
        EXPECT_FALSE(add(config, 3)) << config.toJson();
        EXPECT_FALSE(remove(config, true)) << config.toJson();
    }
}

class ContextualMenuStoreTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        platform::UserDefaults::setStandardPath(path);
    }
    void TearDown() override {
        platform::UserDefaults::setStandardPath(dir / "unused.json");
        UiTest::TearDown();
    }
    Value stored() const {
        return platform::UserDefaults(path).objectForKey(KOPAContextualMenuManager::kConfigurationKey);
    }

    testsupport::TempDir dir;
    std::filesystem::path path = dir / "host-defaults.json";
};

TEST_F(ContextualMenuStoreTest, ChangesReachTheFileAndOtherSettingsStay) {
    auto& defaults = platform::UserDefaults::standard();
    ASSERT_TRUE(defaults.setObjectForKey(configuration({"A"}), KOPAContextualMenuManager::kConfigurationKey));
    ASSERT_TRUE(defaults.setObjectForKey(Value("kept"), "OtherHostSetting"));
    ASSERT_TRUE(KOPAContextualMenuManager::addMenuItemToContextualMenuForClassNamed(
        kClass, "New", "Adds it", "N:", KOPAContextualMenuItemOptionAddSeparator));
    EXPECT_EQ(stored(), configuration({"A", "-", "N"}));
    ASSERT_TRUE(KOPAContextualMenuManager::addMenuItemToContextualMenuForClassNamed(kClass, "Other title", "",
                                                                                    "N:", 1));
    EXPECT_EQ(stored(), configuration({"A", "-", "N"})) << "the second add changed the item";
    ASSERT_TRUE(KOPAContextualMenuManager::removeMenuItemFromContextualMenuForClassNamed(kClass, "N:", true));
    EXPECT_EQ(stored(), configuration({"A"}));
    EXPECT_EQ(platform::UserDefaults(path).objectForKey("OtherHostSetting"), Value("kept"));
}

TEST_F(ContextualMenuStoreTest, AConfigurationThatNeedsNoChangeIsNotWritten) {
    const Value configurations[] = {Value(), Value("not an array"), Value(Array{}), configuration({"N"})};
    for (const auto& config : configurations) {
        auto& defaults = platform::UserDefaults::standard();
        if (config.isNull())
            ASSERT_TRUE(defaults.removeObjectForKey(KOPAContextualMenuManager::kConfigurationKey));
        else
            ASSERT_TRUE(defaults.setObjectForKey(config, KOPAContextualMenuManager::kConfigurationKey));
        // A write replaces the file (a new one renamed over it), so the same inode and time mean
        // nothing was written.
        auto fileNow = [this] {
            struct stat info {};
            ::stat(path.c_str(), &info);
            return std::tuple(info.st_ino, info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        };
        const auto before = fileNow();
        ASSERT_TRUE(KOPAContextualMenuManager::addMenuItemToContextualMenuForClassNamed(kClass, "New",
                                                                                        "Adds it", "N:", 3));
        ASSERT_TRUE(KOPAContextualMenuManager::removeMenuItemFromContextualMenuForClassNamed("GWProject",
                                                                                             "N:", true));
        EXPECT_EQ(fileNow(), before) << config.toJson();
        EXPECT_EQ(
            platform::UserDefaults::standard().objectForKey(KOPAContextualMenuManager::kConfigurationKey),
            config);
    }
}

TEST_F(ContextualMenuStoreTest, AFailedWriteIsReported) {
    std::ofstream(dir / "plain-file") << "x";
    platform::UserDefaults::setStandardPath(dir / "plain-file" / "defaults.json");  // no folder to write into
    ASSERT_FALSE(platform::UserDefaults::standard().setObjectForKey(
        configuration({}), KOPAContextualMenuManager::kConfigurationKey));
    auto status = KOPAContextualMenuManager::addMenuItemToContextualMenuForClassNamed(kClass, "New",
                                                                                      "Adds it", "N:", 0);
    ASSERT_FALSE(status);
    EXPECT_NE(status.message().find("contextual menu configuration"), std::string::npos) << status.message();
}

TEST(MenuActionRegistrationTest, TheRecordHasItsEntriesInOrderAndTheHostOffersTheAction) {
    auto entries = kopaMenuItemActionEntries(
        "Note", "Adds a note", "noteTemplate:", {"CustomRecordSetDefinition", "GWContact"}, true, false);
    std::vector<std::string> keys;
    for (const auto& [key, value] : entries) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "DisplayString", "ItemDescription", "SelectorName", "ApplicableObjectTypeClassnames",
                        "MultipleObjectTypesPerAction", "AlwaysValidates", "MenuItemType"}));
    Dictionary record(entries);
    EXPECT_EQ(record.at("MenuItemType"), Value("Normal"));
    EXPECT_EQ(record.at("MultipleObjectTypesPerAction"), Value(true));
    EXPECT_EQ(record.at("AlwaysValidates"), Value(false));
    EXPECT_EQ(record.at("ApplicableObjectTypeClassnames"),
              Value(Array{"CustomRecordSetDefinition", "GWContact"}));

    MCMenuManager manager;
    auto target = std::make_shared<testsupport::RecordingTarget>(std::set<std::string>{"noteTemplate:"});
    ASSERT_TRUE(kopaRegisterMenuItemAction(manager, "Note", "Adds a note", target,
                                           "noteTemplate:", {"CustomRecordSetDefinition"}, false, true));
    auto offered = manager.actionsForClassNamed("CustomRecordSetDefinition");
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].record,
              Dictionary(kopaMenuItemActionEntries(
                  "Note", "Adds a note", "noteTemplate:", {"CustomRecordSetDefinition"}, false, true)));
    EXPECT_TRUE(MCMenuManager::performAction(offered[0], nullptr));
    EXPECT_EQ(target->calls, std::vector<std::string>{"noteTemplate:"});
    EXPECT_TRUE(manager.actionsForClassNamed("GWContact").empty());

    auto refused =
        kopaRegisterMenuItemAction(manager, "", "No title", target, "x:", {"GWContact"}, false, false);
    EXPECT_FALSE(refused);
    EXPECT_EQ(manager.registeredActions().size(), 1u);
}

}  // namespace
