// The Showcase plug-in loaded into a host beside Zandrel, on a real SQLite file, driven through
// its menus and the host's menu manager as a person and the host would: the template note kept
// in a connector map, the visit counter setting, feature-gated commands and the permission editor.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/app/MCMenuManager.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/MCUserDefaults.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/TableView.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

using platform::Value;

constexpr const char* kNoteAction = "showcaseTemplateNote:";
constexpr const char* kMenu = "Plug-ins > Showcase > ";

// Built beside Zandrel's bundle, in the same PlugIns folder.
std::filesystem::path showcaseBundle() {
    return std::filesystem::path(ZANDREL_PLUGIN_BUNDLE).parent_path() / "Showcase.plugin";
}

class ShowcasePluginTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        MCMenuManager::sharedMenuManager()->removeAllActions();
        platform::UserDefaults::setStandardPath(dir / "defaults.json");
        // The host's contextual menus as it sets them up, with a key of its own to keep.
        platform::Dictionary templates{
            {"Classname", "CustomRecordSetDefinition"}, {"MenuItems", platform::Array{}}, {"HostOnly", 7}};
        platform::Dictionary contacts{{"Classname", "GWContact"}, {"MenuItems", platform::Array{}}};
        ASSERT_TRUE(platform::UserDefaults::standard().setObjectForKey(
            Value(platform::Array{Value(std::move(contacts)), Value(std::move(templates))}),
            MCMenuManager::kContextualMenuConfigurationKey));
        file = dir / "showcase.zandrel";
        startHost(file);
        auto loaded = host->loadPluginBundle(showcaseBundle());
        ASSERT_TRUE(loaded) << loaded.message();
    }
    void TearDown() override {
        // Dialogs left open would stay in the plug-in's session registry from test to test.
        auto windows = app.windows();
        for (const auto& window : windows)
            if (window->isVisible() && dynamic_cast<KOPADialogController*>(window->windowController().get()))
                window->close();
        loop.runPending();
        MCMenuManager::sharedMenuManager()->removeAllActions();
        PluginTest::TearDown();
        platform::UserDefaults::setStandardPath(dir / "unused.json");
    }

    void signInAs(const std::string& user) {
        if (host->isSignedIn()) {
            ASSERT_TRUE(host->signOff());
        }
        signIn(user);
    }
    DLPObjectContext& context() { return *host->document()->objectContext(); }
    std::shared_ptr<CustomRecordSetDefinition> firstTemplate() {
        auto templates = context().optionsCache().activeCustomRecordSetDefinitions();
        EXPECT_TRUE(templates && !templates->empty());
        return templates && !templates->empty() ? templates->front() : nullptr;
    }
    // Sends the note action as the host does for the selected object.
    bool noteFor(platform::Object* sender) {
        for (const auto& action :
             MCMenuManager::sharedMenuManager()->actionsForClassNamed("CustomRecordSetDefinition"))
            if (action.selectorName() == kNoteAction) return MCMenuManager::performAction(action, sender);
        ADD_FAILURE() << "the note action is not registered for form templates";
        return false;
    }
    std::shared_ptr<platform::MenuItem> command(const std::string& title) {
        auto plugins = app.mainMenu()->itemWithTitle("Plug-ins")->submenu();
        auto showcase = plugins->itemWithTitle("Showcase");
        EXPECT_TRUE(showcase);
        return showcase ? showcase->submenu()->itemWithTitle(title) : nullptr;
    }
    void grant(const std::string& feature, const std::string& login) {
        std::string contact =
            login.empty()
                ? "0"
                : hosttest::rawQuery(file, "SELECT contactID FROM User WHERE loginName = '" + login + "'");
        hosttest::rawQuery(
            file,
            "INSERT INTO GWConnectorMap (foreignAppName, foreignEntityType, foreignID, contactID) "
            "VALUES ('Showcase', 'FeaturePermission', '" +
                feature + "', " + contact + ") RETURNING 1");
    }
    std::string notes() {
        return hosttest::rawQuery(
            file,
            "SELECT coalesce(group_concat(foreignID || ' ' || foreignDatabase, '|'), '') FROM "
            "GWConnectorMap WHERE foreignAppName = 'Showcase' AND foreignEntityType = "
            "'TemplateNote'");
    }

    std::filesystem::path file;
};

TEST_F(ShowcasePluginTest, LoadsBesideZandrelWithItsMenuActionAndContextualItem) {
    auto plugins = app.mainMenu()->itemWithTitle("Plug-ins")->submenu();
    ASSERT_TRUE(plugins->itemWithTitle("Zandrel"));
    auto showcase = plugins->itemWithTitle("Showcase");
    ASSERT_TRUE(showcase);
    std::vector<std::string> titles;
    for (const auto& item : showcase->submenu()->itemArray())
        titles.push_back(item->isSeparatorItem() ? "-" : item->title());
    EXPECT_EQ(titles, (std::vector<std::string>{"Feature Permissions…", "-", "Count a Visit",
                                                "Reset Visit Counter", "Template Summary"}));

    auto actions = MCMenuManager::sharedMenuManager()->actionsForClassNamed("CustomRecordSetDefinition");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].displayString(), "Template Note…");
    EXPECT_TRUE(MCMenuManager::sharedMenuManager()->actionsForClassNamed("GWContact").empty());

    const auto& defaults = platform::UserDefaults::standard();
    auto items = MCMenuManager::contextualMenuItemsForClassNamed(defaults, "CustomRecordSetDefinition");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].value("SelectorName", std::string_view{}), kNoteAction);
    EXPECT_EQ(items[0].value("DisplayString", std::string_view{}), "Template Note…");
    EXPECT_TRUE(MCMenuManager::contextualMenuItemsForClassNamed(defaults, "GWContact").empty());
    EXPECT_EQ(defaults.objectForKey(MCMenuManager::kContextualMenuConfigurationKey).at(1).at("HostOnly"),
              Value(7));

    // Loading again (another start of the host) adds no second item.
    ASSERT_TRUE(host->loadPluginBundle(showcaseBundle()));
    EXPECT_EQ(MCMenuManager::contextualMenuItemsForClassNamed(defaults, "CustomRecordSetDefinition").size(),
              1u);
}

TEST_F(ShowcasePluginTest, ATemplateNoteIsStoredInAConnectorMapAndShownAgain) {
    signIn("ada");
    auto formTemplate = firstTemplate();
    ASSERT_TRUE(formTemplate);
    const std::string key = std::to_string(formTemplate->primaryKeyValue());

    ASSERT_TRUE(noteFor(formTemplate.get()));
    EXPECT_EQ(ui->find<platform::TextField>("note")->stringValue(), "");
    EXPECT_EQ(ui->find<platform::TextField>("template")->stringValue(), formTemplate->name().asString());
    ASSERT_TRUE(ui->typeText("note", "Check the \"budget\" fields"));
    ASSERT_TRUE(ui->pressButton("Save"));
    EXPECT_EQ(notes(), key + R"( {"author":"Ada Lovelace","text":"Check the \"budget\" fields"})");

    // Next time the stored note is shown, and Cancel keeps it.
    ASSERT_TRUE(noteFor(formTemplate.get()));
    EXPECT_EQ(ui->find<platform::TextField>("note")->stringValue(), "Check the \"budget\" fields");
    EXPECT_EQ(ui->find<platform::TextField>("author")->stringValue(), "Note by Ada Lovelace");
    ASSERT_TRUE(ui->typeText("note", "changed my mind"));
    ASSERT_TRUE(ui->pressButton("Cancel"));
    EXPECT_NE(notes().find("budget"), std::string::npos);

    // Another user changes it: one record still, now theirs.
    signInAs("grace");
    auto seen = firstTemplate();
    ASSERT_TRUE(noteFor(seen.get()));
    ASSERT_TRUE(ui->typeText("note", "Fields checked"));
    ASSERT_TRUE(ui->pressButton("Save"));
    EXPECT_EQ(notes(), key + R"( {"author":"Grace Hopper","text":"Fields checked"})");

    // Too long a note is refused with the reason and the dialog stays open; an empty one removes it.
    ASSERT_TRUE(noteFor(seen.get()));
    ui->answerAlert("OK");
    ASSERT_TRUE(ui->typeText("note", std::string(1001, 'x')));
    ASSERT_TRUE(ui->pressButton("Save"));
    EXPECT_NE(ui->lastAlert().message.find("at most 1000"), std::string::npos) << ui->lastAlert().message;
    EXPECT_NE(notes().find("Fields checked"), std::string::npos);
    ASSERT_TRUE(ui->typeText("note", ""));
    ASSERT_TRUE(ui->pressButton("Save"));
    EXPECT_EQ(notes(), "");
}

TEST_F(ShowcasePluginTest, TheNoteActionTakesOnlySavedFormTemplates) {
    signIn("ada");
    size_t windows = app.windows().size();
    EXPECT_FALSE(noteFor(context().user().get())) << "a user is no form template";
    EXPECT_FALSE(noteFor(nullptr));
    EXPECT_EQ(app.windows().size(), windows);

    auto fresh = context().createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(fresh);
    (*fresh)->setName("Unsaved");
    ui->answerAlert("OK");
    EXPECT_TRUE(noteFor(fresh->get()));
    EXPECT_NE(ui->lastAlert().message.find("not saved yet"), std::string::npos);
    EXPECT_EQ(notes(), "");
}

TEST_F(ShowcasePluginTest, CommandsAreEnabledOnlyForUsersHoldingTheirFeature) {
    grant("visitCounter", "");          // everybody
    grant("templateSummary", "grace");  // Grace alone
    struct Case {
        const char* user;
        const char* title;
        bool enabled;
    } cases[] = {
        {"ada", "Feature Permissions…", true}, {"ada", "Count a Visit", true},
        {"ada", "Reset Visit Counter", false}, {"ada", "Template Summary", false},
        {"grace", "Count a Visit", true},      {"grace", "Reset Visit Counter", false},
        {"grace", "Template Summary", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.user) + ": " + c.title);
        if (!host->isSignedIn() || context().user()->loginName() != Value(c.user)) signInAs(c.user);
        auto item = command(c.title);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->isEnabled(), c.enabled);
    }
    // A grant made meanwhile counts at the next check; nobody signed in disables everything.
    grant("resetVisits", "grace");
    EXPECT_TRUE(command("Reset Visit Counter")->isEnabled());
    ASSERT_TRUE(host->signOff());
    for (const char* title : {"Feature Permissions…", "Count a Visit", "Template Summary"})
        EXPECT_FALSE(command(title)->isEnabled()) << title;

    // Sent anyway, a command the user may not use says so and does nothing.
    signIn("ada");
    ui->answerAlert("OK");
    auto target = std::dynamic_pointer_cast<platform::ActionTarget>(command("Template Summary")->target());
    ASSERT_TRUE(target);
    EXPECT_TRUE(target->performAction(command("Template Summary")->action(), nullptr));
    EXPECT_NE(ui->lastAlert().message.find("You may not use this command"), std::string::npos);
}

TEST_F(ShowcasePluginTest, TheVisitCounterIsARegisteredPerUserDatabaseSetting) {
    auto registration = MCUserDefaults::registrationForKey("ShowcaseVisitCount");
    ASSERT_TRUE(registration);
    EXPECT_EQ(registration->at("StorageType"), Value("Database"));
    EXPECT_EQ(registration->at("Scope"), Value("Host"));
    EXPECT_EQ(registration->at("DefaultValue"), Value("0"));

    grant("visitCounter", "");
    grant("resetVisits", "");
    grant("templateSummary", "");
    signIn("ada");
    for (const char* expected : {"Visits counted: 1", "Visits counted: 2"}) {
        ui->answerAlert("OK");
        ASSERT_TRUE(ui->chooseMenu(std::string(kMenu) + "Count a Visit"));
        EXPECT_EQ(ui->lastAlert().message, expected);
        EXPECT_EQ(ui->lastAlert().title, "Showcase");
    }
    EXPECT_EQ(*context().userDefaults().objectForKey("ShowcaseVisitCount"), Value(2));

    signInAs("grace");  // her own count, from the default
    EXPECT_EQ(*context().userDefaults().objectForKey("ShowcaseVisitCount"), Value("0"));
    ui->answerAlert("OK");
    ASSERT_TRUE(ui->chooseMenu(std::string(kMenu) + "Count a Visit"));
    EXPECT_EQ(ui->lastAlert().message, "Visits counted: 1");

    // Stored text that is no count starts again from nothing rather than failing.
    ASSERT_TRUE(context().userDefaults().setObjectForKey(Value("many"), "ShowcaseVisitCount"));
    ui->answerAlert("OK");
    ASSERT_TRUE(ui->chooseMenu(std::string(kMenu) + "Count a Visit"));
    EXPECT_EQ(ui->lastAlert().message, "Visits counted: 1");

    signInAs("ada");
    ui->answerAlert("OK");
    ASSERT_TRUE(ui->chooseMenu(std::string(kMenu) + "Reset Visit Counter"));
    EXPECT_EQ(ui->lastAlert().message, "Visits counted: 0");
    EXPECT_EQ(*context().userDefaults().objectForKey("ShowcaseVisitCount"), Value("0"));

    ui->answerAlert("OK");
    ASSERT_TRUE(ui->chooseMenu(std::string(kMenu) + "Template Summary"));
    EXPECT_NE(ui->lastAlert().message.find("Form templates with a note: 0"), std::string::npos)
        << ui->lastAlert().message;
}

TEST_F(ShowcasePluginTest, FeaturePermissionsOpensTheEditorOnShowcasesFeatures) {
    signIn("ada");
    EXPECT_FALSE(command("Count a Visit")->isEnabled());
    ASSERT_TRUE(ui->chooseMenu(std::string(kMenu) + "Feature Permissions…"));
    auto features = ui->find<platform::TableView>("features");
    auto users = ui->find<platform::TableView>("users");
    ASSERT_EQ(features->numberOfRows(), 3u);
    std::vector<Value> identifiers;
    for (size_t row = 0; row < 3; ++row) identifiers.push_back(features->valueAt(0, row));
    EXPECT_EQ(identifiers, (std::vector<Value>{"resetVisits", "templateSummary", "visitCounter"}));

    features->selectRow(2);
    ASSERT_EQ(users->numberOfRows(), 3u);
    EXPECT_EQ(users->cellTitleAt(1, 1), "Ada Lovelace");
    ASSERT_TRUE(users->setValueAt(true, 1, 1));
    EXPECT_EQ(hosttest::rawQuery(file,
                                 "SELECT count(*) FROM GWConnectorMap WHERE foreignAppName = 'Showcase' AND "
                                 "foreignEntityType = 'FeaturePermission' AND foreignID = 'visitCounter' AND "
                                 "contactID = (SELECT contactID FROM User WHERE loginName = 'ada')"),
              "1");
    EXPECT_TRUE(command("Count a Visit")->isEnabled());
    ASSERT_TRUE(ui->pressButton("Done"));
}

}  // namespace
