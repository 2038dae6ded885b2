// The feature permission editor on a signed-in host's real SQLite file: its rows, values and
// check-box titles, grants and withdrawals through the tables, and its two set-up runs.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "framework/Classes/VEXAFeature.h"
#include "framework/Classes/VEXAFeatureEditor.h"
#include "framework/Classes/VEXAHelper.h"
#include "host/database/model/GWUser.h"
#include "platform/ui/TableView.h"
#include "tests/host/DatabaseTestSupport.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

using platform::Value;

constexpr size_t kUserColumn = 0;
constexpr size_t kActiveColumn = 1;

class FeatureEditorTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        file = dir / "editor.zandrel";
        startHost(file);
        signIn("ada");
        auto config = dir / "features.json";
        std::ofstream(config) << R"({ "export": { "description": "Export to CSV" },
                                      "reports": { "description": "Monthly reports" },
                                      "bare": {} })";
        KOPAFeature::initializeWithConnectorMapForeignAppNameConfigFile("EditorTest", config);
    }
    void TearDown() override {
        if (editor && editor->isWindowLoaded()) editor->close();
        loop.runPending();
        editor.reset();
        PluginTest::TearDown();
    }

    // Opens the editor as a person would see it: its window shown, the tables found by id.
    void open() {
        editor = KOPAFeatureEditor::featureEditor();
        ASSERT_TRUE(editor);
        editor->show();
        ASSERT_TRUE(editor->window()) << editor->loadStatus().message();
        features = ui->find<platform::TableView>("features");
        users = ui->find<platform::TableView>("users");
    }
    void selectFeature(const std::string& identifier) {
        for (size_t row = 0; row < features->numberOfRows(); ++row)
            if (features->valueAt(0, row) == Value(identifier)) return features->selectRow(int64_t(row));
        FAIL() << "no feature row " << identifier;
    }
    std::vector<Value> column(size_t index) {
        std::vector<Value> values;
        for (size_t row = 0; row < users->numberOfRows(); ++row) values.push_back(users->valueAt(index, row));
        return values;
    }
    std::vector<std::string> titles() {
        std::vector<std::string> shown;
        for (size_t row = 0; row < users->numberOfRows(); ++row)
            shown.push_back(users->cellTitleAt(kActiveColumn, row));
        return shown;
    }
    // The permission records of a feature in the file, as "contact" texts in key order.
    std::string records(const std::string& feature) {
        return hosttest::rawQuery(
            file,
            "SELECT coalesce(group_concat(contactID, ','), '') FROM (SELECT contactID FROM GWConnectorMap "
            "WHERE foreignAppName = 'EditorTest' AND foreignEntityType = 'FeaturePermission' "
            "AND foreignID = '" +
                feature + "' ORDER BY contactID)");
    }
    std::string contactOf(const std::string& login) {
        return hosttest::rawQuery(file, "SELECT contactID FROM User WHERE loginName = '" + login + "'");
    }

    std::filesystem::path file;
    std::shared_ptr<KOPAFeatureEditor> editor;
    std::shared_ptr<platform::TableView> features, users;
};

TEST_F(FeatureEditorTest, RowsReadAllThenTheActiveUsersAndValuesShowOnlyForASelectedFeature) {
    open();
    ASSERT_EQ(features->numberOfRows(), 3u);
    EXPECT_EQ(features->valueAt(0, 1), Value("export"));
    EXPECT_EQ(features->valueAt(1, 1), Value("Export to CSV"));
    EXPECT_EQ(features->valueAt(1, 0), Value()) << "a feature without description shows none";

    // Titles come whether or not a feature is selected; values only for a selected one.
    const std::vector<std::string> names{"All", "Ada Lovelace", "Grace Hopper"};
    EXPECT_EQ(titles(), names);
    EXPECT_EQ(column(kUserColumn), std::vector<Value>(3));
    EXPECT_EQ(column(kActiveColumn), std::vector<Value>(3));
    EXPECT_EQ(editor->users().front(), nullptr);

    selectFeature("export");
    ASSERT_TRUE(editor->selectedFeature());
    EXPECT_EQ(editor->selectedFeature()->identifier(), "export");
    EXPECT_EQ(column(kUserColumn), (std::vector<Value>{"All", "Ada Lovelace", "Grace Hopper"}));
    EXPECT_EQ(column(kActiveColumn), std::vector<Value>(3, Value(false)));
    EXPECT_EQ(titles(), names);

    features->selectRow(-1);
    EXPECT_EQ(editor->selectedFeature(), nullptr);
    EXPECT_EQ(column(kActiveColumn), std::vector<Value>(3));
}

TEST_F(FeatureEditorTest, TicksGrantAndClearsWithdrawOnlyTheRowsOwnRecord) {
    open();
    selectFeature("reports");
    const std::string ada = contactOf("ada"), grace = contactOf("grace");
    ASSERT_FALSE(ada.empty());
    struct Step {
        size_t row;
        Value value;
        std::string records;  // the feature's records afterwards, by contact
        std::vector<Value> ticks;
    } steps[] = {
        {1, true, ada, {false, true, false}},
        {1, true, ada, {false, true, false}},  // granting again keeps one record
        {0, true, "0," + ada, {true, true, true}},
        // Active only through All: clearing withdraws nothing and the box shows ticked again.
        {2, false, "0," + ada, {true, true, true}},
        {1, false, "0", {true, true, true}},
        {2, int64_t{1}, "0," + grace, {true, true, true}},
        {0, false, grace, {false, false, true}},
        {2, "yes", grace, {false, false, true}},  // only a yes or no ticks a box
        {2, false, "", {false, false, false}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE("row " + std::to_string(step.row) + " set to " + step.value.description());
        ASSERT_TRUE(users->setValueAt(step.value, kActiveColumn, step.row));
        EXPECT_EQ(records("reports"), step.records);
        EXPECT_EQ(column(kActiveColumn), step.ticks);
    }
    EXPECT_EQ(records("export"), "") << "other features are untouched";
    EXPECT_TRUE(ui->alerts().empty());
}

TEST_F(FeatureEditorTest, AGrantIsSeenByAnotherConnectionAtItsNextCheck) {
    open();
    selectFeature("export");
    auto grace = DLPObjectContext::open(file, "grace");
    ASSERT_TRUE(grace) << grace.status().message();
    EXPECT_FALSE(KOPAFeature::userHasFeatureWithID(**grace, (*grace)->user().get(), "export"));
    ASSERT_TRUE(users->setValueAt(true, kActiveColumn, 2));
    EXPECT_TRUE(KOPAFeature::userHasFeatureWithID(**grace, (*grace)->user().get(), "export"));
    EXPECT_TRUE(KOPAFeature::userOfContextHasAnyFeatureWithIDs(**grace, {"export"}));
}

// An editor opened before another host changed a grant: its ticks apply what it shows.
struct StaleTickCase {
    const char* name;
    bool grantedWhenShown;
    bool grantedElsewhereSince;
    std::string (*expected)(const std::string& adaContact);  // ada's records afterwards
};

TEST_F(FeatureEditorTest, ATickAppliesTheBoxAsShownNotAsStoredSince) {
    const StaleTickCase cases[] = {
        // Shown clear, granted elsewhere meanwhile: the tick grants, so the grant stays, once.
        {"granted elsewhere", false, true, [](const std::string& ada) { return ada; }},
        // Shown ticked, withdrawn elsewhere meanwhile: the tick withdraws, so nothing comes back.
        {"withdrawn elsewhere", true, false, [](const std::string&) { return std::string(); }},
    };
    auto grace = DLPObjectContext::open(file, "grace");
    ASSERT_TRUE(grace) << grace.status().message();
    const std::string ada = contactOf("ada");
    open();
    // ada's row; the grants elsewhere are made on grace's connection.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto feature = KOPAFeature::featureForID("export");
        ASSERT_TRUE(feature->setActiveForUser(**grace, c.grantedWhenShown, editor->users()[1].get()));
        selectFeature("reports");
        selectFeature("export");  // shown afresh
        ASSERT_EQ(users->shownValueAt(kActiveColumn, 1), Value(c.grantedWhenShown));
        ASSERT_TRUE(feature->setActiveForUser(**grace, c.grantedElsewhereSince, editor->users()[1].get()));

        ASSERT_TRUE(ui->tickTableCell("users", 1));
        EXPECT_EQ(records("export"), c.expected(ada));
        EXPECT_EQ(users->shownValueAt(kActiveColumn, 1), Value(!c.grantedWhenShown)) << "shown afresh";
    }
    EXPECT_TRUE(ui->alerts().empty());
}

TEST_F(FeatureEditorTest, BecomingKeyShowsTheStoredStateAgain) {
    open();
    selectFeature("export");
    ASSERT_EQ(users->shownValueAt(kActiveColumn, 2), Value(false));
    auto grace = DLPObjectContext::open(file, "grace");
    ASSERT_TRUE(grace) << grace.status().message();
    ASSERT_TRUE(KOPAFeature::featureForID("export")->setActiveForUser(**grace, true, (*grace)->user().get()));
    EXPECT_EQ(users->shownValueAt(kActiveColumn, 2), Value(false)) << "nothing drawn yet";

    auto elsewhere = std::make_shared<platform::Window>("Elsewhere");
    elsewhere->makeKeyAndOrderFront();
    editor->window()->makeKeyAndOrderFront();
    EXPECT_EQ(users->shownValueAt(kActiveColumn, 2), Value(true));
    // Clearing the box now withdraws the grant made elsewhere, as the box showed it.
    ASSERT_TRUE(ui->tickTableCell("users", 2));
    EXPECT_EQ(records("export"), "");
    elsewhere->close();
}

// The database refuses the grant: nothing is stored, and the grant stays pending for the host's
// next save, which reports the failure itself ("kept and will be saved"); the editor only logs
// why, so no message says the change was dropped while it is kept.
TEST_F(FeatureEditorTest, ARefusedGrantIsKeptForTheHostsSaveAndNothingIsStored) {
    open();
    selectFeature("export");
    hosttest::rawExec(file,
                      "CREATE TRIGGER refuse BEFORE INSERT ON GWConnectorMap "
                      "BEGIN SELECT RAISE(ABORT, 'grants are frozen'); END;");
    ASSERT_TRUE(users->setValueAt(true, kActiveColumn, 1));
    EXPECT_TRUE(ui->alerts().empty()) << ui->lastAlert().message;
    bool logged = false;
    for (const auto& line : log->lines)
        logged = logged || line.find("grants are frozen") != std::string::npos;
    EXPECT_TRUE(logged) << ::testing::PrintToString(log->lines);
    EXPECT_TRUE(KOPAHelper::objectContext()->hasChanges());
    EXPECT_EQ(records("export"), "");

    hosttest::rawExec(file, "DROP TRIGGER refuse");
    ASSERT_TRUE(KOPAHelper::objectContext()->saveChanges());
    EXPECT_NE(records("export"), "") << "the kept grant is stored by the next save";
}

TEST_F(FeatureEditorTest, WithNoFeatureSelectedEditsChangeNothingAndDoNotReload) {
    open();
    // A selection past the end of a shortened list survives only as long as nobody reloads.
    users->selectRow(2);
    auto everyone = editor->users();
    editor->setUsers({nullptr});
    for (const Value& value : {Value(true), Value(false)}) {
        ASSERT_TRUE(users->setValueAt(value, kActiveColumn, 0));
        EXPECT_EQ(users->selectedRow(), 2) << "reloaded";
    }
    EXPECT_EQ(records("export") + records("reports") + records("bare"), "");

    editor->setUsers(everyone);
    selectFeature("export");
    editor->setUsers({nullptr});
    ASSERT_TRUE(users->setValueAt(true, kActiveColumn, 0));
    EXPECT_EQ(users->selectedRow(), -1) << "an edit with a feature selected reloads";
    EXPECT_EQ(records("export"), "0");
}

TEST_F(FeatureEditorTest, SelectingAUserRowLeavesTheSelectedFeature) {
    open();
    selectFeature("bare");
    auto selected = editor->selectedFeature();
    ASSERT_TRUE(selected);
    for (int64_t row : {0, 2, 1, -1}) {
        users->selectRow(row);
        EXPECT_EQ(editor->selectedFeature(), selected) << "user row " << row;
    }
}

TEST_F(FeatureEditorTest, SetUpRunsTwiceAndTheSecondRunLeavesWhatOneRunWould) {
    editor = KOPAFeatureEditor::featureEditor();
    ASSERT_TRUE(editor);
    // First run, at creation: no window, no tables; only the user list.
    EXPECT_FALSE(editor->isWindowLoaded());
    EXPECT_EQ(editor->featureTableView(), nullptr);
    ASSERT_EQ(editor->users().size(), 3u);
    EXPECT_EQ(editor->users()[0], nullptr);
    EXPECT_EQ(editor->users()[1]->loginName(), Value("ada"));
    EXPECT_TRUE(plugintest::isRegistered(editor.get()));

    ASSERT_TRUE(editor->window());
    EXPECT_EQ(editor->users().size(), 3u) << "the second run rebuilt the list instead of adding to it";
    ASSERT_TRUE(editor->featureTableView() && editor->userTableView());
    EXPECT_EQ(editor->featureTableView()->dataSource(), editor->featureArrayController());
    EXPECT_EQ(editor->userTableView()->dataSource(), editor);
    EXPECT_EQ(editor->featureArrayController()->arrangedObjects().size(), 3u);
    EXPECT_EQ(editor->featureTableView()->numberOfRows(), 3u);
    EXPECT_EQ(editor->userTableView()->numberOfRows(), 3u);
    EXPECT_EQ(editor->window()->delegate(), editor);
}

TEST_F(FeatureEditorTest, ShowingRunsItAsAFreeWindowThatClosesLikeAnyDialog) {
    open();
    EXPECT_EQ(editor->mode(), KOPADialogController::FreeWindowMode);
    EXPECT_TRUE(editor->window()->isVisible());
    ASSERT_TRUE(ui->pressButton("Done"));
    EXPECT_FALSE(editor->window()->isVisible());
    loop.runPending();
    EXPECT_FALSE(plugintest::isRegistered(editor.get()));
}

}  // namespace
