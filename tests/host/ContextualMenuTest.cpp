// Contextual menus in the host: the menu of a form template row in the main window, built from
// the application's contextual menu configuration and the registered menu actions, and the
// configuration the host registers for plug-ins to add to.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/app/DLDocument.h"
#include "host/app/HostApplication.h"
#include "host/app/MCMenuManager.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DemoDatabase.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/TableView.h"
#include "tests/support/CaseName.h"
#include "tests/support/TempDir.h"
#include "tests/support/UiTestSupport.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;
using Lines = std::vector<std::string>;

Dictionary action(const std::string& title, const std::string& selector, Array classes) {
    return Dictionary{{"DisplayString", title},
                      {"ItemDescription", "Does " + title},
                      {"SelectorName", selector},
                      {"ApplicableObjectTypeClassnames", std::move(classes)},
                      {"MultipleObjectTypesPerAction", false},
                      {"AlwaysValidates", true},
                      {"MenuItemType", "Normal"}};
}

Value item(const std::string& title, const std::string& selector) {
    return Dictionary{{"DisplayString", title},
                      {"ItemDescription", "about " + title},
                      {"Classname", "CustomRecordSetDefinition"},
                      {"SelectorName", selector}};
}

Value separator() {
    return Dictionary{{"MenuItemType", "SeparatorItem"}, {"DisplayString", "--------------------"}};
}

Value entry(const std::string& className, Array items) {
    return Dictionary{{"Classname", className}, {"MenuItems", std::move(items)}, {"Tag", "kept"}};
}

// A menu as text: titles, "(disabled)" after items nothing carries out, "----" for separators.
Lines describe(const platform::Menu& menu) {
    Lines lines;
    for (const auto& i : menu.itemArray())
        lines.push_back(i->isSeparatorItem() ? "----" : i->title() + (i->isEnabled() ? "" : " (disabled)"));
    return lines;
}

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ContextualMenuTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        MCMenuManager::sharedMenuManager()->removeAllActions();
        platform::UserDefaults::setStandardPath(dir / "defaults.json");
        file = dir / "host.zandrel";
        auto created = host::DemoDatabase::create(file);
        ASSERT_TRUE(created) << created.message();
        host = host::HostApplication::create({file, dir / "PlugIns", dir / "Host"});
        ASSERT_TRUE(host->openDatabase());
        ASSERT_TRUE(host->signIn("ada"));
        table = ui.find<platform::TableView>("templates");
        ASSERT_GT(table->numberOfRows(), 1u);
    }
    void TearDown() override {
        MCMenuManager::sharedMenuManager()->removeAllActions();
        host.reset();
        platform::UserDefaults::setStandardPath(dir / "unused.json");
        UiTest::TearDown();
    }
    void registerActions(std::vector<Dictionary> records) {
        std::vector<MCMenuManager::Action> actions;
        for (auto& record : records) actions.push_back({std::move(record), target});
        ASSERT_TRUE(MCMenuManager::sharedMenuManager()->registerMenuItemActions(actions));
    }

    testsupport::TempDir dir;
    std::filesystem::path file;
    platform::ScriptedFrontEnd ui;
    std::shared_ptr<host::HostApplication> host;
    std::shared_ptr<platform::TableView> table;
    std::shared_ptr<testsupport::RecordingTarget> target = std::make_shared<testsupport::RecordingTarget>(
        std::set<std::string>{"noteTemplate:", "archive:", "mailContact:"});
};

struct MenuCase {
    const char* name;
    Value configuration;  // stored; null: only the host's registered one
    Lines expected;
};

class ContextualMenuBuildTest : public ContextualMenuTest, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(ContextualMenuBuildTest, ConfiguredItemsThenTheRegisteredActionsNotListed) {
    registerActions({action("Note", "noteTemplate:", Array{"CustomRecordSetDefinition"}),
                     action("Mail", "mailContact:", Array{"GWContact"}),
                     action("Archive", "archive:", Array{"CustomRecordSetDefinition", "GWContact"})});
    auto& defaults = platform::UserDefaults::standard();
    if (!GetParam().configuration.isNull()) {
        ASSERT_TRUE(defaults.setObjectForKey(GetParam().configuration,
                                             MCMenuManager::kContextualMenuConfigurationKey));
    }
    std::string stored = fileText(defaults.path());
    table->selectRow(1);
    auto menu = table->menuForRow(1);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(describe(*menu), GetParam().expected);
    // Building menus only reads the configuration.
    EXPECT_EQ(fileText(defaults.path()), stored);
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, ContextualMenuBuildTest,
    ::testing::Values(
        MenuCase{"OnlyTheRegisteredOne", Value(), {"Note", "Archive"}},
        MenuCase{"ListedItemsFirstInOrder",
                 Array{entry("CustomRecordSetDefinition", Array{item("Archive it", "archive:"), separator(),
                                                                item("Note it", "noteTemplate:")})},
                 {"Archive it", "----", "Note it"}},
        MenuCase{"UnlistedActionsFollowBelowASeparator",
                 Array{entry("CustomRecordSetDefinition", Array{item("Note it", "noteTemplate:")})},
                 {"Note it", "----", "Archive"}},
        MenuCase{
            "ItemsWithoutAnActionForTheClassAreDisabled",
            Array{entry("CustomRecordSetDefinition",
                        Array{item("Mail", "mailContact:"), item("Ghost", "ghost:"),
                              Dictionary{{"DisplayString", "No selector"}}})},
            {"Mail (disabled)", "Ghost (disabled)", "No selector (disabled)", "----", "Note", "Archive"}},
        MenuCase{"SeparatorsNeverLeadTrailOrRepeat",
                 Array{entry("CustomRecordSetDefinition",
                             Array{separator(), separator(), item("Note it", "noteTemplate:"), separator(),
                                   separator(), item("Archive it", "archive:"), separator()})},
                 {"Note it", "----", "Archive it"}},
        MenuCase{
            "UnknownShapesArePassedOver",
            Array{Value(5), Dictionary{{"Classname", "CustomRecordSetDefinition"}, {"MenuItems", "none"}},
                  entry("CustomRecordSetDefinition",
                        Array{Value("text"), Value(Array{}), Dictionary{{"SelectorName", "archive:"}},
                              item("Note it", "noteTemplate:")})},
            {"Note it", "----", "Archive"}},
        MenuCase{"OtherClassesEntriesDoNotCount",
                 Array{entry("GWContact", Array{item("Mail", "mailContact:")}),
                       entry("CustomRecordSetDefinition", Array{item("Archive it", "archive:")})},
                 {"Archive it", "----", "Note"}},
        MenuCase{
            "AConfigurationThatIsNoArrayGivesTheActions", Value("not a configuration"), {"Note", "Archive"}},
        MenuCase{
            "NothingForTheClassGivesTheActions", Array{entry("GWContact", Array{})}, {"Note", "Archive"}}),
    testsupport::CaseName());

TEST_F(ContextualMenuTest, NoActionsAndNoItemsGiveAnEmptyMenu) {
    auto menu = table->menuForRow(0);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->numberOfItems(), 0u);
    table->selectRow(0);
    EXPECT_THROW(ui.contextualMenu(), platform::ScriptedFrontEndError);  // nothing to show
}

TEST_F(ContextualMenuTest, ChoosingAnItemSendsItsActionWithTheRowsTemplate) {
    registerActions({action("Note", "noteTemplate:", Array{"CustomRecordSetDefinition"}),
                     action("Mail", "mailContact:", Array{"GWContact"})});
    ASSERT_TRUE(platform::UserDefaults::standard().setObjectForKey(
        Array{entry("CustomRecordSetDefinition",
                    Array{item("Mail", "mailContact:"), item("Note it", "noteTemplate:")})},
        MCMenuManager::kContextualMenuConfigurationKey));
    for (size_t row : {size_t{0}, table->numberOfRows() - 1}) {
        target->calls.clear();
        target->senders.clear();
        table->selectRow(static_cast<int64_t>(row));
        EXPECT_TRUE(ui.chooseContextualMenuItem("Note it"));
        ASSERT_EQ(target->calls, Lines{"noteTemplate:"});
        auto* sent = dynamic_cast<CustomRecordSetDefinition*>(target->senders.front());
        ASSERT_NE(sent, nullptr) << "the sender is the row's database object";
        EXPECT_EQ(sent->name().asString(), table->valueAt(0, row).asString());
        // An item nothing carries out for the class does nothing.
        EXPECT_FALSE(ui.chooseContextualMenuItem("Mail"));
        EXPECT_EQ(target->calls.size(), 1u);
    }
}

TEST_F(ContextualMenuTest, TheHostRegistersAnEntryPerClassInMemoryOnly) {
    auto& defaults = platform::UserDefaults::standard();
    Value configuration = defaults.objectForKey(MCMenuManager::kContextualMenuConfigurationKey);
    ASSERT_TRUE(configuration.isArray());
    Lines classes;
    for (const auto& e : configuration.asArray()) {
        classes.push_back(e.find("Classname")->asString());
        EXPECT_EQ(*e.find("MenuItems"), Value(Array{}));
    }
    EXPECT_EQ(classes, (Lines{"CustomRecordSetDefinition", "GWContact"}));
    EXPECT_FALSE(std::filesystem::exists(defaults.path())) << "registration wrote the preferences file";

    // What a plug-in stores wins, and stays exactly as stored through sign-off and a new sign-in.
    Value odd = Dictionary{{"Classname", "CustomRecordSetDefinition"}, {"note", "not an array"}};
    ASSERT_TRUE(defaults.setObjectForKey(odd, MCMenuManager::kContextualMenuConfigurationKey));
    std::string stored = fileText(defaults.path());
    table->selectRow(0);
    (void)table->menuForRow(0);
    ASSERT_TRUE(host->signOff());
    ASSERT_TRUE(host->signIn("ada"));
    EXPECT_EQ(fileText(defaults.path()), stored);
    EXPECT_EQ(defaults.objectForKey(MCMenuManager::kContextualMenuConfigurationKey), odd);
    // Taken away again, the registered one is back.
    ASSERT_TRUE(defaults.removeObjectForKey(MCMenuManager::kContextualMenuConfigurationKey));
    EXPECT_EQ(defaults.objectForKey(MCMenuManager::kContextualMenuConfigurationKey),
              host::HostApplication::registeredDefaults().at(MCMenuManager::kContextualMenuConfigurationKey));
}

}  // namespace
