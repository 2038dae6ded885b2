// The array controller: arranged objects, its own selection while unbound, and a bound table's
// selection and cells.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ArrayController.h"
#include "platform/ui/TableView.h"

namespace {

using platform::Value;

class Named : public platform::Object {
public:
    explicit Named(std::string name) : name(std::move(name)) {}
    std::string name;
};

class Recorder : public platform::TableViewDelegate {
public:
    void tableViewSelectionDidChange(platform::TableView& table) override {
        changes.push_back(table.selectedRow());
    }
    std::vector<int64_t> changes;
};

std::vector<platform::ObjectPtr> named(std::vector<std::string> names) {
    std::vector<platform::ObjectPtr> objects;
    for (auto& name : names) objects.push_back(std::make_shared<Named>(std::move(name)));
    return objects;
}

std::vector<std::string> names(const std::vector<platform::ObjectPtr>& objects) {
    std::vector<std::string> result;
    for (const auto& object : objects) result.push_back(static_cast<Named&>(*object).name);
    return result;
}

TEST(ArrayControllerTest, UnboundSelectionsAreSortedUniqueAndWithinTheContent) {
    auto controller = std::make_shared<platform::ArrayController>();
    controller->setContent(named({"a", "b", "c"}));
    EXPECT_EQ(names(controller->arrangedObjects()), (std::vector<std::string>{"a", "b", "c"}));
    struct Case {
        std::vector<size_t> given, kept;
        std::vector<std::string> selected;
    } cases[] = {
        {{}, {}, {}},
        {{2, 0, 2}, {0, 2}, {"a", "c"}},
        {{3, 1, 9}, {1}, {"b"}},
        {{7}, {}, {}},
    };
    for (const auto& c : cases) {
        controller->setSelectionIndexes(c.given);
        EXPECT_EQ(controller->selectionIndexes(), c.kept);
        EXPECT_EQ(names(controller->selectedObjects()), c.selected);
    }
    controller->setSelectionIndexes({1});
    controller->setContent(named({"x"}));
    EXPECT_TRUE(controller->selectionIndexes().empty()) << "new content keeps no old selection";
}

TEST(ArrayControllerTest, ABoundTableShowsTheObjectsAndItsRowIsTheSelection) {
    auto controller = std::make_shared<platform::ArrayController>();
    controller->setContent(named({"first", "second"}));
    controller->setSelectionIndexes({1});
    controller->setValueReader([](const platform::Object& object, std::string_view key) {
        return key == "name" ? Value(static_cast<const Named&>(object).name) : Value();
    });
    auto table = std::make_shared<platform::TableView>();
    table->addTableColumn({"name", "Name", false});
    table->addTableColumn({"other", "Other", false});
    auto delegate = std::make_shared<Recorder>();
    table->setDelegate(delegate);

    controller->bindTable(table);
    EXPECT_EQ(table->dataSource(), controller);
    EXPECT_EQ(table->selectedRow(), 1) << "the selection is carried over to the table";
    ASSERT_EQ(table->numberOfRows(), 2u);
    EXPECT_EQ(table->valueAt(0, 0), Value("first"));
    EXPECT_EQ(table->valueAt(1, 0), Value());
    EXPECT_EQ(table->valueAt(0, 2), Value());

    table->selectRow(0);
    EXPECT_EQ(names(controller->selectedObjects()), (std::vector<std::string>{"first"}));
    controller->setSelectionIndexes({1, 0});
    EXPECT_EQ(table->selectedRow(), 0);
    controller->setContent(named({"only"}));
    EXPECT_EQ(table->selectedRow(), -1);
    EXPECT_EQ(table->numberOfRows(), 1u);
    EXPECT_EQ(delegate->changes, (std::vector<int64_t>{1, 0, -1}));

    controller->bindTable(nullptr);
    EXPECT_EQ(table->dataSource(), nullptr);
    EXPECT_EQ(table->numberOfRows(), 0u);
}

}  // namespace
