// The product's work: the Plug-ins menu item and the duplicate form template dialog, used the
// way a person would, against a real database of each kind (a SQLite file, a PostgreSQL schema).

#include <gtest/gtest.h>

#include "VXZandrel.h"
#include "VXZandrelPreferencesController.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "tests/host/StoreTestSupport.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

using platform::Value;

const char* const kTemplate = "CustomRecordSetDefinition";
const char* const kField = "CustomRecordDefinition";
const std::vector<std::string> kTemplateAttributes = {
    "active", "details", "forContact", "forGroup", "forOpportunity", "forOrganization", "forProject"};
const std::vector<std::string> kFieldAttributes = {"active", "defaultValue", "details",
                                                   "name",   "options",      "typeCode"};

struct FieldData {
    Value active, defaultValue, details, name, options, typeCode;
};

// Adds a template with three field definitions whose order is not alphabetical and whose
// attributes differ from one another and from the entity's initial values.
void addThreeFieldTemplate(const std::string& address) {
    auto store = host::StoreFactory::open(address);
    ASSERT_TRUE(store) << store.status().message();
    auto context = DLPObjectContext::withoutUser(store.value());
    auto form = context->createObject<CustomRecordSetDefinition>();
    ASSERT_TRUE(form);
    (*form)->setName("Three Fields");
    (*form)->setActive(true);
    (*form)->setDetails("Fields in a fixed order");
    (*form)->setForContact(true);
    (*form)->setForGroup(false);
    (*form)->setForOpportunity(true);
    (*form)->setForProject(false);  // forOrganization stays without a value
    const std::vector<FieldData> fields = {
        {true, "Medium", "first", "Zeta", platform::Array{"Low", "Medium", "High"},
         int64_t{CustomRecordDefinition::PopUp}},
        {false, int64_t{42}, "", "Alpha", Value(), int64_t{CustomRecordDefinition::Number}},
        {true, Value(), Value(), "Mid", Value(), int64_t{CustomRecordDefinition::MultiLineText}},
    };
    for (const auto& data : fields) {
        auto field = context->createObject<CustomRecordDefinition>();
        ASSERT_TRUE(field);
        (*field)->setActive(data.active);
        (*field)->setDefaultValue(data.defaultValue);
        (*field)->setDetails(data.details);
        (*field)->setName(data.name);
        (*field)->setOptions(data.options);
        (*field)->setTypeCode(data.typeCode);
        ASSERT_TRUE((*form)->addToCustomRecordDefinitions(*field));
    }
    auto saved = context->saveChanges();
    ASSERT_TRUE(saved) << saved.message();
}

// Adds an active template without a name, with one field definition.
void addNamelessTemplate(const std::string& address) {
    auto store = host::StoreFactory::open(address);
    ASSERT_TRUE(store) << store.status().message();
    auto context = DLPObjectContext::withoutUser(store.value());
    auto form = context->createObject<CustomRecordSetDefinition>();
    ASSERT_TRUE(form);
    (*form)->setActive(true);
    (*form)->setDetails("no name given");
    auto field = context->createObject<CustomRecordDefinition>();
    ASSERT_TRUE(field);
    (*field)->setName("Only field");
    ASSERT_TRUE((*form)->addToCustomRecordDefinitions(*field));
    auto saved = context->saveChanges();
    ASSERT_TRUE(saved) << saved.message();
}

std::vector<std::shared_ptr<CustomRecordSetDefinition>> templatesNamed(DLPObjectContext& context,
                                                                       const std::string& name) {
    auto found =
        context.objectsForEntityNamedQualifierLocumBindings(kTemplate, "name == $name", {{"name", name}});
    EXPECT_TRUE(found) << found.status().message();
    std::vector<std::shared_ptr<CustomRecordSetDefinition>> templates;
    if (found)
        for (const auto& object : found.value())
            templates.push_back(std::dynamic_pointer_cast<CustomRecordSetDefinition>(object));
    return templates;
}

std::shared_ptr<CustomRecordSetDefinition> onlyTemplateNamed(DLPObjectContext& context,
                                                             const std::string& name) {
    auto templates = templatesNamed(context, name);
    EXPECT_EQ(templates.size(), 1u) << "templates named \"" << name << "\"";
    return templates.size() == 1 ? templates.front() : nullptr;
}

int64_t countOf(DLPObjectContext& context, const char* entity) {
    auto count = context.resultCountForEntityNamedQualifierLocumBindings(entity, "");
    EXPECT_TRUE(count) << count.status().message();
    return count ? count.value() : -1;
}

std::vector<std::shared_ptr<CustomRecordDefinition>> fieldsOf(CustomRecordSetDefinition& form) {
    auto fields = form.customRecordDefinitions();
    EXPECT_TRUE(fields) << fields.status().message();
    return fields ? fields.value() : std::vector<std::shared_ptr<CustomRecordDefinition>>{};
}

std::vector<Value> valuesOf(const DLPObject& object, const std::vector<std::string>& attributes) {
    std::vector<Value> values;
    for (const auto& attribute : attributes) {
        auto value = object.valueForKey(attribute);
        EXPECT_TRUE(value) << value.status().message();
        values.push_back(value ? value.value() : Value());
    }
    return values;
}

std::vector<std::vector<Value>> fieldValues(CustomRecordSetDefinition& form) {
    std::vector<std::vector<Value>> rows;
    for (const auto& field : fieldsOf(form)) rows.push_back(valuesOf(*field, kFieldAttributes));
    return rows;
}

// The host on a demo database of one kind with the "Three Fields" template added, the real
// plug-in loaded, nobody signed in yet. store() names the kind; each suite below takes it from
// its parameter.
class DuplicateDialogFixture : public plugintest::PluginTest {
protected:
    virtual const hosttest::StoreFactory& store() const = 0;

    void SetUp() override {
        PluginTest::SetUp();
        if (!store().isSqlite) ZANDREL_REQUIRE_POSTGRES();
        address = store().freshDatabase(dir.path());
        // The host makes the demo database in an empty one as it starts.
        startHost(address);
        if (HasFatalFailure()) return;
        addThreeFieldTemplate(address);
        if (HasFatalFailure()) return;
        plugin = std::dynamic_pointer_cast<VXZandrel>(KOPAPlugin::sharedPlugin());
        ASSERT_TRUE(plugin);
        host->showLoginWindow();
    }

    void signInAndOpen() {
        signIn("ada");
        context = host->document()->objectContext();
        openDialog();
    }

    std::string commandTitle() const { return plugin->localizeString("Duplicate form definition"); }

    // Chooses the menu command; the new dialog is the one the session registry now holds.
    void openDialog() {
        auto before = KOPAPluginSession::sharedPluginSession()->sessionObjects();
        ASSERT_TRUE(ui->chooseMenu({"Plug-ins", "Zandrel", commandTitle()}));
        for (const auto& object : KOPAPluginSession::sharedPluginSession()->sessionObjects())
            if (auto found = std::dynamic_pointer_cast<VXZandrelPreferencesController>(object);
                found && std::find(before.begin(), before.end(), object) == before.end())
                dialog = found;
        ASSERT_TRUE(dialog) << "the command opened no dialog";
        ASSERT_TRUE(dialog->isWindowLoaded()) << dialog->loadStatus().message();
        dialogWindow = dialog->window();
    }

    void duplicate(const std::string& templateName, const std::string& newName) {
        ui->selectPopUpItem("template", templateName);
        if (!newName.empty()) {
            ASSERT_TRUE(ui->typeText("name", newName));
        }
        ASSERT_TRUE(ui->pressButton("Duplicate"));
    }

    std::vector<std::string> activeTemplateNames() {
        auto active = context->optionsCache().activeCustomRecordSetDefinitions();
        EXPECT_TRUE(active) << active.status().message();
        std::vector<std::string> names;
        if (active)
            for (const auto& form : active.value()) names.push_back(form->name().asString());
        return names;
    }

    // Exactly one alert was shown, with one button, while the dialog was open or after it closed.
    void expectOnlyAlert(const std::string& title, const std::string& message, const std::string& button,
                         bool whileDialogOpen) {
        ASSERT_EQ(ui->alerts().size(), 1u);
        const auto& alert = ui->lastAlert();
        EXPECT_EQ(alert.title, title);
        EXPECT_EQ(alert.message, message);
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{button}));
        EXPECT_EQ(alert.sheetOpen, whileDialogOpen);
        EXPECT_EQ(alert.keyWindowTitle == dialogWindow->title(), whileDialogOpen) << alert.keyWindowTitle;
        EXPECT_EQ(dialogWindow->isVisible(), whileDialogOpen);
    }
    void expectSuccessAlertAfterTheSheetClosed() {
        expectOnlyAlert("Success!", "The selected form template has been duplicated.", "Thanks!", false);
    }

    std::string rawQuery(const std::string& sql) const { return store().rawQuery(address, sql); }

    std::string address;  // the SQLite file or the PostgreSQL URI
    std::shared_ptr<VXZandrel> plugin;
    std::shared_ptr<DLPObjectContext> context;
    std::shared_ptr<VXZandrelPreferencesController> dialog;
    std::shared_ptr<platform::Window> dialogWindow;
};

class DuplicateDialogTest : public DuplicateDialogFixture,
                            public ::testing::WithParamInterface<hosttest::StoreFactory> {
protected:
    const hosttest::StoreFactory& store() const override { return GetParam(); }
};

// A suite whose cases also take a value of their own (one per case, on every store).
template <typename Case>
class DuplicateDialogCaseTest
    : public DuplicateDialogFixture,
      public ::testing::WithParamInterface<std::tuple<hosttest::StoreFactory, Case>> {
protected:
    const hosttest::StoreFactory& store() const override { return std::get<0>(this->GetParam()); }
    const Case& value() const { return std::get<1>(this->GetParam()); }
};

TEST_P(DuplicateDialogTest, MenuHasOneZandrelItemWithOneAlwaysEnabledCommand) {
    const auto& menu = *host->pluginsMenu();
    int zandrelItems = 0;
    for (const auto& item : menu.itemArray()) zandrelItems += item->title() == "Zandrel";
    ASSERT_EQ(zandrelItems, 1);
    auto item = menu.itemWithTitle("Zandrel");
    ASSERT_TRUE(item->hasSubmenu());
    EXPECT_TRUE(item->action().empty());
    ASSERT_EQ(item->submenu()->numberOfItems(), 1u);
    auto command = item->submenu()->itemAtIndex(0);
    EXPECT_EQ(command->title(), commandTitle());
    EXPECT_EQ(command->action(), VXZandrel::kShowInputAction);
    EXPECT_EQ(command->keyEquivalent(), "");
    EXPECT_EQ(command->target(), plugin);

    EXPECT_TRUE(command->isEnabled()) << "signed off";
    signIn();
    EXPECT_TRUE(command->isEnabled()) << "signed in";
}

TEST_P(DuplicateDialogTest, OpensAsASheetOverTheMainWindowListingTheActiveTemplates) {
    signInAndOpen();
    auto main = host->document()->firstOrderedMainWindowController()->window();
    EXPECT_EQ(dialogWindow->sheetParent(), main.get());
    EXPECT_EQ(dialog->mode(), KOPADialogController::SheetMode);
    auto popUp = dialog->existingFormDefPopUp();
    ASSERT_TRUE(popUp);
    auto names = activeTemplateNames();
    EXPECT_EQ(popUp->itemTitles(), names);
    EXPECT_NE(std::find(names.begin(), names.end(), "Three Fields"), names.end());
    EXPECT_EQ(std::find(names.begin(), names.end(), "Legacy Survey 2019"), names.end());
    EXPECT_EQ(dialog->existingFormDefs().size(), names.size());
}

// Ways the dialog closes without a word and without creating anything.
struct SilentCase {
    const char* name;
    std::function<void(platform::ScriptedFrontEnd&, VXZandrelPreferencesController&)> act;
};

using SilentCloseTest = DuplicateDialogCaseTest<SilentCase>;

TEST_P(SilentCloseTest, ClosesAndCreatesNothing) {
    signInAndOpen();
    auto templates = countOf(*context, kTemplate);
    auto fields = countOf(*context, kField);
    value().act(*ui, *dialog);
    EXPECT_FALSE(dialogWindow->isVisible());
    EXPECT_TRUE(ui->alerts().empty());
    EXPECT_EQ(countOf(*context, kTemplate), templates);
    EXPECT_EQ(countOf(*context, kField), fields);
    EXPECT_FALSE(context->hasChanges());
    loop.runPending();
    EXPECT_FALSE(plugintest::isRegistered(dialog.get()));
}

// "<store>_<case>": the case's own name where it has one, else the parameter's number.
template <typename Case>
std::string storeAndCaseName(const ::testing::TestParamInfo<std::tuple<hosttest::StoreFactory, Case>>& info) {
    std::string caseName;
    if constexpr (std::is_same_v<Case, SilentCase>)
        caseName = std::get<1>(info.param).name;
    else
        caseName = std::to_string(info.index);
    return std::get<0>(info.param).name + "_" + caseName;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SilentCloseTest,
    ::testing::Combine(
        ::testing::ValuesIn(hosttest::storeFactories()),
        ::testing::Values(SilentCase{"EmptyName",
                                     [](platform::ScriptedFrontEnd& ui, VXZandrelPreferencesController&) {
                                         ui.selectPopUpItem("template", "Customer Profile");
                                         ui.pressButton("Duplicate");
                                     }},
                          SilentCase{"NameTypedThenErased",
                                     [](platform::ScriptedFrontEnd& ui, VXZandrelPreferencesController&) {
                                         ui.typeText("name", "Something");
                                         ui.typeText("name", "");
                                         ui.pressButton("Duplicate");
                                     }},
                          SilentCase{
                              "NothingSelected",
                              [](platform::ScriptedFrontEnd& ui, VXZandrelPreferencesController& dialog) {
                                  dialog.existingFormDefPopUp()->selectItemAtIndex(-1);
                                  ui.typeText("name", "A fine new name");
                                  ui.pressButton("Duplicate");
                              }},
                          SilentCase{"Cancel",
                                     [](platform::ScriptedFrontEnd& ui, VXZandrelPreferencesController&) {
                                         ui.typeText("name", "A fine new name");
                                         ui.pressButton("Cancel");
                                     }})),
    storeAndCaseName<SilentCase>);

using NameInUseTest = DuplicateDialogCaseTest<std::string>;

TEST_P(NameInUseTest, AlertWhileOpenAndTheDialogStays) {
    signInAndOpen();
    auto templates = countOf(*context, kTemplate);
    ui->answerAlert("I'll try again...");
    duplicate("Customer Profile", value());
    expectOnlyAlert("Name already in use", "An existing form template has been detected with the same name.",
                    "I'll try again...", true);
    EXPECT_TRUE(dialogWindow->isSheet());
    EXPECT_EQ(countOf(*context, kTemplate), templates);
    EXPECT_FALSE(context->hasChanges());

    // The person tries again with a free name in the same dialog.
    ui->clearAlerts();
    ui->answerAlert("Thanks!");
    ASSERT_TRUE(ui->typeText("name", value() + " (2)"));
    ASSERT_TRUE(ui->pressButton("Duplicate"));
    expectSuccessAlertAfterTheSheetClosed();
    EXPECT_TRUE(onlyTemplateNamed(*context, value() + " (2)"));
}

INSTANTIATE_TEST_SUITE_P(Names, NameInUseTest,
                         ::testing::Combine(::testing::ValuesIn(hosttest::storeFactories()),
                                            ::testing::Values("Customer Profile", "Project Intake",
                                                              "Quick Notes")),
                         storeAndCaseName<std::string>);

using AcceptedNameTest = DuplicateDialogCaseTest<std::string>;

TEST_P(AcceptedNameTest, CreatesACopyWithTheNameAsTyped) {
    signInAndOpen();
    auto templates = countOf(*context, kTemplate);
    auto sameNamed = templatesNamed(*context, value());  // an inactive template may have it
    ui->answerAlert("Thanks!");
    duplicate("Event Registration", value());
    expectSuccessAlertAfterTheSheetClosed();
    EXPECT_EQ(countOf(*context, kTemplate), templates + 1);
    auto named = templatesNamed(*context, value());
    ASSERT_EQ(named.size(), sameNamed.size() + 1);
    auto copy = named.back();  // the newest key comes last
    EXPECT_EQ(std::find(sameNamed.begin(), sameNamed.end(), copy), sameNamed.end());
    EXPECT_EQ(copy->name(), Value(value()));
    EXPECT_EQ(copy->active(), Value(true));
    auto source = onlyTemplateNamed(*context, "Event Registration");
    ASSERT_TRUE(source);
    EXPECT_EQ(fieldValues(*copy), fieldValues(*source));
}

INSTANTIATE_TEST_SUITE_P(Names, AcceptedNameTest,
                         ::testing::Combine(::testing::ValuesIn(hosttest::storeFactories()),
                                            ::testing::Values("customer profile",    // other letter case
                                                              "CUSTOMER PROFILE",    // other letter case
                                                              "Legacy Survey 2019",  // an inactive one's name
                                                              " Quick Notes",        // no trimming
                                                              "Quick Notes ",        // no trimming
                                                              "   ",                 // spaces are a name
                                                              "Événement 100%d")),
                         storeAndCaseName<std::string>);

// A template without a name is listed with an empty title, and no typed text counts as its
// name: not even "null", which is how a missing value prints.
TEST_P(DuplicateDialogTest, TemplateWithoutANameHasAnEmptyTitleAndTakesNoName) {
    addNamelessTemplate(address);
    signInAndOpen();
    auto popUp = dialog->existingFormDefPopUp();
    ASSERT_TRUE(popUp);
    const auto& formDefs = dialog->existingFormDefs();
    ASSERT_EQ(popUp->itemTitles().size(), formDefs.size());
    int64_t nameless = -1;
    for (size_t i = 0; i < formDefs.size(); ++i) {
        if (formDefs[i]->name().isNull()) {
            nameless = int64_t(i);
            EXPECT_EQ(popUp->itemTitles()[i], "");
        } else {
            EXPECT_EQ(popUp->itemTitles()[i], formDefs[i]->name().asString());
        }
    }
    ASSERT_GE(nameless, 0) << "the nameless template is active and must be listed";
    for (const auto& title : popUp->itemTitles()) EXPECT_NE(title, "null");

    ui->answerAlert("Thanks!");
    popUp->selectItemAtIndex(nameless);
    ASSERT_TRUE(ui->typeText("name", "null"));
    ASSERT_TRUE(ui->pressButton("Duplicate"));
    expectSuccessAlertAfterTheSheetClosed();
    auto copy = onlyTemplateNamed(*context, "null");
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->details(), Value("no name given"));
    ASSERT_EQ(fieldsOf(*copy).size(), 1u);
    EXPECT_EQ(fieldsOf(*copy).front()->name(), Value("Only field"));
}

TEST_P(DuplicateDialogTest, ThreeFieldDefinitionsAreCopiedInOrderAndTheSourceIsUnchanged) {
    signInAndOpen();
    auto source = onlyTemplateNamed(*context, "Three Fields");
    ASSERT_TRUE(source);
    auto sourceTemplateValues = valuesOf(*source, kTemplateAttributes);
    auto sourceFields = fieldsOf(*source);
    auto sourceFieldValues = fieldValues(*source);
    ASSERT_EQ(sourceFields.size(), 3u);

    ui->answerAlert("Thanks!");
    duplicate("Three Fields", "Three Fields Copy");
    expectSuccessAlertAfterTheSheetClosed();

    auto copy = onlyTemplateNamed(*context, "Three Fields Copy");
    ASSERT_TRUE(copy);
    EXPECT_NE(copy, source);
    EXPECT_EQ(valuesOf(*copy, kTemplateAttributes), sourceTemplateValues);
    EXPECT_EQ(fieldValues(*copy), sourceFieldValues);
    for (const auto& field : fieldsOf(*copy))
        EXPECT_EQ(std::find(sourceFields.begin(), sourceFields.end(), field), sourceFields.end())
            << "a copied field definition must be a new object";

    EXPECT_EQ(source->name(), Value("Three Fields"));
    EXPECT_EQ(valuesOf(*source, kTemplateAttributes), sourceTemplateValues);
    EXPECT_EQ(fieldsOf(*source), sourceFields);
    EXPECT_EQ(fieldValues(*source), sourceFieldValues);
}

TEST_P(DuplicateDialogTest, TemplateWithoutFieldDefinitionsIsCopiedWithNone) {
    signInAndOpen();
    auto source = onlyTemplateNamed(*context, "Quick Notes");
    ASSERT_TRUE(source);
    ASSERT_TRUE(fieldsOf(*source).empty());
    auto fields = countOf(*context, kField);
    ui->answerAlert("Thanks!");
    duplicate("Quick Notes", "Quicker Notes");
    expectSuccessAlertAfterTheSheetClosed();
    auto copy = onlyTemplateNamed(*context, "Quicker Notes");
    ASSERT_TRUE(copy);
    EXPECT_EQ(valuesOf(*copy, kTemplateAttributes), valuesOf(*source, kTemplateAttributes));
    EXPECT_TRUE(fieldsOf(*copy).empty());
    EXPECT_EQ(countOf(*context, kField), fields);
}

TEST_P(DuplicateDialogTest, TheCopyIsStoredBeforeSuccessIsShownAndSurvivesReopen) {
    signInAndOpen();
    auto expectedFields = fieldValues(*onlyTemplateNamed(*context, "Three Fields"));
    ui->answerAlert("Thanks!");
    duplicate("Three Fields", "Kept Copy");
    expectSuccessAlertAfterTheSheetClosed();
    EXPECT_FALSE(context->hasChanges()) << "\"Success!\" means stored";
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordSetDefinition WHERE name = 'Kept Copy'"), "1");

    auto reopened = DLPObjectContext::open(address, "grace");
    ASSERT_TRUE(reopened) << reopened.status().message();
    auto copy = onlyTemplateNamed(*reopened.value(), "Kept Copy");
    ASSERT_TRUE(copy);
    EXPECT_EQ(fieldValues(*copy), expectedFields);
    auto source = onlyTemplateNamed(*reopened.value(), "Three Fields");
    ASSERT_TRUE(source);
    EXPECT_EQ(fieldValues(*source), expectedFields);
    EXPECT_EQ(valuesOf(*copy, kTemplateAttributes), valuesOf(*source, kTemplateAttributes));
}

ZANDREL_SQLITE_ONLY_SUITE(DuplicateDialogSqliteTest, DuplicateDialogTest);

// A failure of the host in the middle of the copy: the second of three field definitions holds
// a value its attribute refuses (a row written by another program), so copying it fails after
// the template and the first field definition have been created. The half copy is rolled back:
// nothing of it stays pending or reaches the file, and the failure is reported. Only a SQLite
// file can hold such a value: a PostgreSQL column refuses it when it is written.
TEST_P(DuplicateDialogSqliteTest, AFailureMidCopyLeavesNoHalfCopy) {
    GetParam().rawExec(address,
                       "UPDATE CustomRecordDefinition SET typeCode = 'not a number' WHERE name = 'Alpha'");
    signInAndOpen();
    auto source = onlyTemplateNamed(*context, "Three Fields");
    ASSERT_TRUE(source);
    ASSERT_EQ(fieldsOf(*source).size(), 3u);
    ASSERT_EQ(fieldsOf(*source)[1]->name(), Value("Alpha"));
    const auto templates = countOf(*context, kTemplate);
    const auto fields = countOf(*context, kField);
    const auto sourceFieldValues = fieldValues(*source);

    ui->answerAlert("OK");
    duplicate("Three Fields", "Half Copy");

    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().title, "Zandrel");
    EXPECT_NE(ui->lastAlert().message.find("could not be duplicated"), std::string::npos)
        << ui->lastAlert().message;
    EXPECT_TRUE(dialogWindow->isVisible()) << "the dialog stays open so the person can choose again";
    bool logged = false;
    for (const auto& line : log->lines) logged = logged || line.find("typeCode") != std::string::npos;
    EXPECT_TRUE(logged) << "the log names what failed: " << ::testing::PrintToString(log->lines);

    EXPECT_TRUE(templatesNamed(*context, "Half Copy").empty());
    EXPECT_EQ(countOf(*context, kTemplate), templates);
    EXPECT_EQ(countOf(*context, kField), fields);
    EXPECT_FALSE(context->hasChanges()) << "no part of the copy may stay pending";
    EXPECT_EQ(fieldValues(*source), sourceFieldValues);

    auto saved = host->saveChanges();
    ASSERT_TRUE(saved) << saved.message();
    auto reopened = DLPObjectContext::open(address, "grace");
    ASSERT_TRUE(reopened) << reopened.status().message();
    EXPECT_TRUE(templatesNamed(**reopened, "Half Copy").empty());
    EXPECT_EQ(countOf(**reopened, kTemplate), templates);
    EXPECT_EQ(countOf(**reopened, kField), fields);
}

// The database refuses the save of a copy (a rule of its own on one field definition's name):
// the dialog says so with the database's reason and stays open, nothing of the copy is stored or
// left pending, and pressing Duplicate again once the database takes it stores it whole.
TEST_P(DuplicateDialogTest, ASaveTheDatabaseRefusesIsReportedAndTheDialogCanTryAgain) {
    GetParam().refuseInsertsNamed(address, "Alpha");
    signInAndOpen();
    const std::string templates = rawQuery("SELECT count(*) FROM CustomRecordSetDefinition");
    const std::string fields = rawQuery("SELECT count(*) FROM CustomRecordDefinition");
    const auto expectedFields = fieldValues(*onlyTemplateNamed(*context, "Three Fields"));
    ui->answerAlert("OK");
    duplicate("Three Fields", "Refused Copy");
    ASSERT_EQ(ui->alerts().size(), 1u) << "the person is told";
    EXPECT_EQ(ui->lastAlert().title, "Zandrel");
    EXPECT_NE(ui->lastAlert().message.find("could not be duplicated"), std::string::npos);
    EXPECT_TRUE(dialogWindow->isVisible()) << "the dialog stays open for another try";
    EXPECT_FALSE(context->hasChanges()) << "no part of a refused copy may stay pending";
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordSetDefinition"), templates);
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition"), fields);

    GetParam().allowAgain(address);
    ui->clearAlerts();
    ui->answerAlert("Thanks!");
    ASSERT_TRUE(ui->pressButton("Duplicate"));
    expectSuccessAlertAfterTheSheetClosed();
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordDefinition"),
              std::to_string(std::stoll(fields) + 3));
    auto reopened = DLPObjectContext::open(address, "grace");
    ASSERT_TRUE(reopened) << reopened.status().message();
    auto copy = onlyTemplateNamed(**reopened, "Refused Copy");
    ASSERT_TRUE(copy);
    EXPECT_EQ(fieldValues(*copy), expectedFields);
}

// Another host takes the name after this dialog opened (and checked it): the save checks again
// and the dialog answers as it does for any name in use, keeping nothing of its copy.
TEST_P(DuplicateDialogTest, ANameAnotherHostTookAfterTheDialogOpenedIsRefusedAtTheSave) {
    signInAndOpen();
    auto other = DLPObjectContext::open(address, "grace");
    ASSERT_TRUE(other) << other.status().message();
    auto theirs = (*other)->createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(theirs);
    (*theirs)->setName(Value("Taken Meanwhile"));
    (*theirs)->setActive(Value(true));
    ASSERT_TRUE((*other)->saveChanges());

    ui->answerAlert("I'll try again...");
    duplicate("Three Fields", "Taken Meanwhile");
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().title, "Name already in use");
    EXPECT_EQ(ui->lastAlert().message, "An existing form template has been detected with the same name.");
    EXPECT_TRUE(dialogWindow->isVisible());
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(rawQuery("SELECT count(*) FROM CustomRecordSetDefinition WHERE name = 'Taken Meanwhile'"), "1");
}

// The templates cannot be read when the dialog opens: the database's reason is shown, not an
// empty list that would read as "there are no templates".
TEST_P(DuplicateDialogTest, ADatabaseFailureWhileReadingTheTemplatesIsShownAsSuch) {
    signIn("ada");
    GetParam().rawExec(address, store().isSqlite
                                    ? "ALTER TABLE CustomRecordSetDefinition RENAME TO Moved"
                                    : "ALTER TABLE \"CustomRecordSetDefinition\" RENAME TO moved");
    ui->answerAlert("OK");
    openDialog();
    ASSERT_EQ(ui->alerts().size(), 1u) << "the failure must be told";
    EXPECT_NE(ui->lastAlert().message.find("could not be read"), std::string::npos)
        << ui->lastAlert().message;
    EXPECT_NE(ui->lastAlert().message.find("CustomRecordSetDefinition"), std::string::npos)
        << "the database's reason: " << ui->lastAlert().message;
}

TEST_P(DuplicateDialogTest, NobodySignedInGivesAnEmptyListAndTheButtonOnlyCloses) {
    openDialog();
    auto popUp = dialog->existingFormDefPopUp();
    ASSERT_TRUE(popUp);
    EXPECT_EQ(popUp->numberOfItems(), 0u);
    EXPECT_EQ(popUp->indexOfSelectedItem(), -1);
    EXPECT_TRUE(dialog->existingFormDefs().empty());
    ASSERT_TRUE(ui->typeText("name", "Anything"));
    ASSERT_TRUE(ui->pressButton("Duplicate"));
    EXPECT_FALSE(dialogWindow->isVisible());
    EXPECT_TRUE(ui->alerts().empty());

    auto check = DLPObjectContext::open(address, "ada");
    ASSERT_TRUE(check) << check.status().message();
    EXPECT_TRUE(templatesNamed(*check.value(), "Anything").empty());
}

TEST_P(DuplicateDialogTest, SignOffClosesAnOpenDialog) {
    signInAndOpen();
    ASSERT_TRUE(ui->typeText("name", "Never made"));
    std::vector<std::string> events;
    plugintest::NotificationRecorder recorder(events,
                                              {KOPAUserSignedInNotification, KOPAUserSignedOffNotification});
    ASSERT_TRUE(host->signOff());
    // Ending the sheet must not make its parent main again (a spurious sign-in and sign-off).
    // Only this plug-in's posts count: another bundle an earlier test loaded into the process
    // (each carries its own framework) posts its own.
    std::vector<std::string> ours;
    for (size_t i = 0; i < events.size(); ++i)
        if (recorder.senders[i] == plugin) ours.push_back(events[i]);
    EXPECT_EQ(ours, std::vector<std::string>{KOPAUserSignedOffNotification});
    EXPECT_FALSE(dialogWindow->isVisible());
    EXPECT_TRUE(KOPAPluginSession::sharedPluginSession()->sessionObjects().empty());
    EXPECT_TRUE(ui->alerts().empty());
    auto check = DLPObjectContext::open(address, "ada");
    ASSERT_TRUE(check) << check.status().message();
    EXPECT_TRUE(templatesNamed(*check.value(), "Never made").empty());
}

TEST_P(DuplicateDialogTest, SignOffReleasesTheContextAndTheDialog) {
    signInAndOpen();
    ui->answerAlert("Thanks!");
    duplicate("Three Fields", "Released Copy");
    std::weak_ptr<DLPObjectContext> weakContext = context;
    std::weak_ptr<VXZandrelPreferencesController> weakDialog = dialog;
    context.reset();
    dialog.reset();
    dialogWindow.reset();
    ASSERT_TRUE(host->signOff());
    platform::RunLoop::main().runPending();
    // A context kept alive after sign-off would keep every object it ever loaded.
    EXPECT_TRUE(weakDialog.expired());
    EXPECT_TRUE(weakContext.expired());
}

INSTANTIATE_TEST_SUITE_P(Stores, DuplicateDialogTest, ::testing::ValuesIn(hosttest::storeFactories()),
                         hosttest::storeName);

}  // namespace
