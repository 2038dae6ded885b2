#include <gtest/gtest.h>

#include <random>

#include "host/app/DLDocument.h"
#include "host/app/DLMainWindow.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "platform/ui/Application.h"
#include "tests/host/DatabaseTestSupport.h"

namespace {

using platform::Value;

// The main window of a document on the test database, as the host opens it.
class MainWindowOrderTest : public hosttest::DatabaseTest {
protected:
    void SetUp() override {
        platform::Application::shared().resetForTesting();
        DatabaseTest::SetUp();
    }
    void TearDown() override {
        document.reset();
        controller.reset();
        context.reset();
        platform::Application::shared().resetForTesting();
    }
    // Each case starts on a database of its own.
    void startOver() {
        TearDown();
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            std::filesystem::remove(file.string() + suffix);
        SetUp();
    }

    void makeTemplate(const std::string& name, bool active) {
        auto made = context->createObject<CustomRecordSetDefinition>(true);
        ASSERT_TRUE(made) << made.status().message();
        (*made)->setName(name);
        (*made)->setActive(active);
    }

    void openMainWindow() {
        document = std::make_shared<DLDocument>(context);
        controller = DLMainWindowController::make("Test");
        document->addWindowController(controller);
        controller->refresh();
    }

    // Name and "active" of each row, top to bottom.
    std::vector<std::pair<std::string, bool>> tableRows() {
        platform::TableView table;
        table.addTableColumn({"name", "Name"});
        table.addTableColumn({"active", "Active"});
        std::vector<std::pair<std::string, bool>> rows;
        for (size_t r = 0; r < controller->numberOfRowsInTableView(table); ++r) {
            Value name = controller->objectValueForTableColumnRow(table, table.tableColumns()[0], r);
            Value active = controller->objectValueForTableColumnRow(table, table.tableColumns()[1], r);
            rows.emplace_back(name.isString() ? name.asString() : std::string(), active == Value(true));
        }
        return rows;
    }

    std::vector<std::string> activeTableNames() {
        std::vector<std::string> names;
        for (const auto& [name, active] : tableRows())
            if (active) names.push_back(name);
        return names;
    }

    // What the duplicate dialog's pop-up lists, in its order.
    std::vector<std::string> popUpNames() {
        auto list = context->optionsCache().activeCustomRecordSetDefinitions();
        EXPECT_TRUE(list) << list.status().message();
        std::vector<std::string> names;
        if (!list) return names;
        for (const auto& t : *list) names.push_back(t->name().isString() ? t->name().asString() : "");
        return names;
    }

    std::shared_ptr<DLDocument> document;
    std::shared_ptr<DLMainWindowController> controller;
};

struct OrderCase {
    const char* name;
    std::vector<std::pair<std::string, bool>> templates;  // name, active
    std::vector<std::string> expected;                    // the table's names, top to bottom
};

TEST_F(MainWindowOrderTest, TemplatesTableFollowsThePopUpsOrder) {
    const OrderCase cases[] = {
        // Byte order would put every capital before every small letter: "Alpha", "Zed", "alpha", "beta".
        {"CaseDoesNotSplitTheAlphabet",
         {{"beta", true}, {"Zed", true}, {"alpha", true}, {"Alpha", true}},
         {"alpha", "Alpha", "beta", "Zed"}},
        // Names equal but for case keep the order they were made in (their keys).
        {"EqualIgnoringCaseByCreation",
         {{"invoice", true}, {"Invoice", true}, {"INVOICE", true}},
         {"invoice", "Invoice", "INVOICE"}},
        // Only ASCII letters fold: accented ones follow them in byte order, capitals first.
        {"AccentsAndInactiveTemplates",
         {{"\xc3\xa9t\xc3\xa9", true},
          {"Etat", false},
          {"\xc3\x89t\xc3\xa9", true},
          {"eta", true},
          {"", true}},
         {"", "eta", "Etat", "\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startOver();
        for (const auto& [name, active] : c.templates) makeTemplate(name, active);
        ASSERT_TRUE(context->saveChanges());
        openMainWindow();
        std::vector<std::string> shown;
        for (const auto& row : tableRows()) shown.push_back(row.first);
        EXPECT_EQ(shown, c.expected);
        EXPECT_EQ(activeTableNames(), popUpNames());
    }
}

// Random names from letters that differ by case and accent only, some templates inactive: the
// active rows of the table are always the pop-up's items, in the same order.
TEST_F(MainWindowOrderTest, TableAndPopUpAgreeOnRandomNames) {
    const std::vector<std::string> letters = {"a", "A", "b", "B", "\xc3\xa9", "\xc3\x89", "_", " ", "1", "z"};
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(seed);
        startOver();
        std::mt19937 random(seed);
        size_t count = 40;
        for (size_t i = 0; i < count; ++i) {
            std::string name;
            for (size_t n = random() % 5; n > 0; --n) name += letters[random() % letters.size()];
            makeTemplate(name, random() % 4 != 0);
        }
        if (seed % 2 == 0) {  // saved and unsaved alike
            ASSERT_TRUE(context->saveChanges());
        }
        openMainWindow();
        EXPECT_EQ(tableRows().size(), count);
        EXPECT_EQ(activeTableNames(), popUpNames());
    }
}

}  // namespace
