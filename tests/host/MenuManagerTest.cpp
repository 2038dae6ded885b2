// The host's menu manager: which registered actions and contextual menu items an object's class
// gets, and which action records it refuses.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/app/MCMenuManager.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/GWContact.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ActionTarget.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

class RecordingTarget : public platform::Object, public platform::ActionTarget {
public:
    bool respondsToAction(const std::string& action) const override { return action == "noteTemplate:"; }
    bool performAction(const std::string& action, platform::Object* sender) override {
        if (!respondsToAction(action)) return false;
        received.push_back(action);
        senders.push_back(sender);
        return true;
    }
    std::vector<std::string> received;
    std::vector<platform::Object*> senders;
};

class PlainObject : public platform::Object {};

Dictionary actionRecord(const std::string& title, const std::string& selector, Array classes) {
    return Dictionary{{"DisplayString", title},
                      {"ItemDescription", "Does " + title},
                      {"SelectorName", selector},
                      {"ApplicableObjectTypeClassnames", std::move(classes)},
                      {"MultipleObjectTypesPerAction", false},
                      {"AlwaysValidates", true},
                      {"MenuItemType", "Normal"}};
}

class MenuManagerTest : public ::testing::Test {
protected:
    MCMenuManager manager;
    std::shared_ptr<RecordingTarget> target = std::make_shared<RecordingTarget>();
};

TEST_F(MenuManagerTest, OffersActionsOnlyForTheirClassesInRegistrationOrder) {
    ASSERT_TRUE(manager.registerMenuItemActions(
        {{actionRecord("Note", "noteTemplate:", Array{"CustomRecordSetDefinition", "GWContact"}), target},
         {actionRecord("Mail", "mailContact:", Array{"GWContact"}), target}}));
    struct Case {
        const char* className;
        std::vector<std::string> titles;
    } cases[] = {{"GWContact", {"Note", "Mail"}},
                 {"CustomRecordSetDefinition", {"Note"}},
                 {"GWProject", {}},
                 {"gwcontact", {}},
                 {"", {}}};
    for (const auto& c : cases) {
        std::vector<std::string> titles;
        for (const auto& action : manager.actionsForClassNamed(c.className))
            titles.push_back(action.displayString());
        EXPECT_EQ(titles, c.titles) << c.className;
    }
}

class MenuManagerObjectTest : public hosttest::DatabaseTest {};

TEST_F(MenuManagerObjectTest, DatabaseObjectsGetTheActionsOfTheirHostClass) {
    MCMenuManager manager;
    auto target = std::make_shared<RecordingTarget>();
    ASSERT_TRUE(manager.registerMenuItemActions(
        {{actionRecord("Note", "noteTemplate:", Array{"CustomRecordSetDefinition"}), target},
         {actionRecord("Mail", "mailContact:", Array{"GWContact"}), target}}));
    auto form = context->createObject<CustomRecordSetDefinition>(true);
    auto contact = context->createObject<GWContact>(true);
    ASSERT_TRUE(form && contact);
    struct Case {
        const platform::Object& object;
        const char* title;
    } cases[] = {{**form, "Note"}, {**contact, "Mail"}};
    for (const auto& c : cases) {
        auto actions = manager.actionsForObject(c.object);
        ASSERT_EQ(actions.size(), 1u) << c.object.className();
        EXPECT_EQ(actions[0].displayString(), c.title);
    }
    EXPECT_TRUE(manager.actionsForObject(*context->user()).empty());
}

TEST_F(MenuManagerTest, RegisteringTheSameTargetAndSelectorAgainReplacesTheAction) {
    ASSERT_TRUE(
        manager.registerMenuItemActions({{actionRecord("Note", "noteTemplate:", Array{"A"}), target}}));
    ASSERT_TRUE(manager.registerMenuItemActions({{actionRecord("Other", "other:", Array{"A"}), target}}));
    ASSERT_TRUE(
        manager.registerMenuItemActions({{actionRecord("Note again", "noteTemplate:", Array{"B"}), target}}));
    auto other = std::make_shared<RecordingTarget>();
    ASSERT_TRUE(
        manager.registerMenuItemActions({{actionRecord("Note", "noteTemplate:", Array{"A"}), other}}));
    ASSERT_EQ(manager.registeredActions().size(), 3u);
    EXPECT_EQ(manager.registeredActions()[0].displayString(), "Note again");
    EXPECT_TRUE(manager.registeredActions()[0].appliesToClassNamed("B"));
    EXPECT_FALSE(manager.registeredActions()[0].appliesToClassNamed("A"));
    EXPECT_EQ(manager.registeredActions()[2].target, other);
}

TEST_F(MenuManagerTest, PerformingSendsTheSelectorToTheTargetWithTheSender) {
    ASSERT_TRUE(manager.registerMenuItemActions({{actionRecord("Note", "noteTemplate:", Array{"A"}), target},
                                                 {actionRecord("X", "unknown:", Array{"A"}), target}}));
    PlainObject sender;
    EXPECT_TRUE(MCMenuManager::performAction(manager.registeredActions()[0], &sender));
    EXPECT_FALSE(MCMenuManager::performAction(manager.registeredActions()[1], &sender));
    EXPECT_EQ(target->received, std::vector<std::string>{"noteTemplate:"});
    EXPECT_EQ(target->senders, std::vector<platform::Object*>{&sender});
}

TEST_F(MenuManagerTest, MalformedActionsAreRefusedWithTheReasonAndNothingIsRegistered) {
    struct Case {
        const char* name;
        const char* key;
        Value value;
        const char* expected;
    } cases[] = {
        {"empty title", "DisplayString", "", "\"DisplayString\" must be a non-empty text"},
        {"numeric selector", "SelectorName", int64_t{3}, "\"SelectorName\" must be a non-empty text"},
        {"classes not an array", "ApplicableObjectTypeClassnames", "GWContact", "must be an array"},
        {"class not a text", "ApplicableObjectTypeClassnames", Array{"GWContact", int64_t{1}},
         "other than a text"},
        {"flag not boolean", "AlwaysValidates", "yes", "\"AlwaysValidates\" must be a boolean"},
        {"flag out of range", "MultipleObjectTypesPerAction", int64_t{2}, "must be a boolean"},
        {"description missing", "ItemDescription", Value(), "\"ItemDescription\" must be a text"},
    };
    for (const auto& c : cases) {
        Dictionary record = actionRecord("Good", "good:", Array{"A"});
        if (c.value.isNull())
            record.erase(c.key);
        else
            record[c.key] = c.value;
        auto status = manager.registerMenuItemActions(
            {{actionRecord("First", "first:", Array{"A"}), target}, {std::move(record), target}});
        ASSERT_FALSE(status) << c.name;
        EXPECT_NE(status.message().find(c.expected), std::string::npos) << c.name << ": " << status.message();
        EXPECT_NE(status.message().find("menu action 2"), std::string::npos) << status.message();
        EXPECT_TRUE(manager.registeredActions().empty()) << c.name;
    }
    auto missingTarget = manager.registerMenuItemActions({{actionRecord("T", "t:", Array{"A"}), nullptr}});
    EXPECT_NE(missingTarget.message().find("no target"), std::string::npos) << missingTarget.message();
    auto deaf = manager.registerMenuItemActions(
        {{actionRecord("T", "t:", Array{"A"}), std::make_shared<PlainObject>()}});
    EXPECT_NE(deaf.message().find("cannot receive actions"), std::string::npos) << deaf.message();
    EXPECT_TRUE(manager.registeredActions().empty());
}

TEST(ContextualMenuItemsTest, TheFirstEntryOfTheClassWithItemsGivesTheMenuAndOddShapesArePassedOver) {
    testsupport::TempDir dir;
    platform::UserDefaults defaults(dir / "defaults.json");
    Array items{Dictionary{{"DisplayString", "Mail"}, {"SelectorName", "mail:"}}};
    ASSERT_TRUE(
        defaults.setObjectForKey(Array{"not an entry", Dictionary{{"Classname", "GWContact"}},
                                       Dictionary{{"Classname", "GWContact"}, {"MenuItems", "not an array"}},
                                       Dictionary{{"Classname", "GWContact"}, {"MenuItems", items}},
                                       Dictionary{{"Classname", "GWContact"}, {"MenuItems", Array{}}}},
                                 MCMenuManager::kContextualMenuConfigurationKey));
    EXPECT_EQ(MCMenuManager::contextualMenuItemsForClassNamed(defaults, "GWContact"), items);
    EXPECT_TRUE(MCMenuManager::contextualMenuItemsForClassNamed(defaults, "GWProject").empty());
    ASSERT_TRUE(defaults.setObjectForKey(Dictionary{{"Classname", "GWContact"}},
                                         MCMenuManager::kContextualMenuConfigurationKey));
    EXPECT_TRUE(MCMenuManager::contextualMenuItemsForClassNamed(defaults, "GWContact").empty());
}

}  // namespace
