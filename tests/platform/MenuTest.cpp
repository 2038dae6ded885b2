#include <gtest/gtest.h>

#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "tests/support/CaseName.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;
using testsupport::RecordingTarget;

namespace {

TEST(MenuTest, ItemsBelongToOneMenu) {
    Menu first("First"), second("Second");
    auto item = first.addItemWithTitle("Open", "open:", "o");
    EXPECT_EQ(item->menu(), &first);
    second.insertItemAtIndex(item, 0);
    EXPECT_EQ(first.numberOfItems(), 0u);
    EXPECT_EQ(item->menu(), &second);
    EXPECT_EQ(second.indexOfItem(item.get()), 0);
    second.removeItemAtIndex(5);  // out of range: ignored
    second.removeAllItems();
    EXPECT_EQ(item->menu(), nullptr);
    EXPECT_EQ(second.itemAtIndex(0), nullptr);
}

struct EnabledCase {
    const char* name;
    const char* action;
    bool withTarget;
    bool disabledByTarget;
    bool separator;
    bool expected;
};

TEST(MenuTest, ItemIsEnabledWhenItsTargetAgrees) {
    const EnabledCase cases[] = {
        {"handled", "run:", true, false, false, true},
        {"no target", "run:", false, false, false, false},
        {"unknown action", "fly:", true, false, false, false},
        {"no action", "", true, false, false, false},
        {"validated off", "run:", true, true, false, false},
        {"separator", "run:", true, false, true, false},
    };
    auto target = std::make_shared<RecordingTarget>(std::set<std::string>{"run:"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto item =
            c.separator ? MenuItem::separatorItem() : std::make_shared<MenuItem>("Item", c.action, "");
        item->setAction(c.action);
        if (c.withTarget) item->setTarget(target);
        target->disabled.clear();
        if (c.disabledByTarget) target->disabled.insert(c.action);
        EXPECT_EQ(item->isEnabled(), c.expected);
        size_t before = target->calls.size();
        EXPECT_EQ(item->performAction(), c.expected);
        EXPECT_EQ(target->calls.size(), before + (c.expected ? 1 : 0));
    }
}

TEST(MenuTest, PathsByTitleAndNumberSkipSeparators) {
    Menu bar;
    auto plugins = std::make_shared<Menu>("Plug-ins");
    auto zandrel = std::make_shared<Menu>("Zandrel");
    zandrel->addItem(MenuItem::separatorItem());
    auto duplicate = zandrel->addItemWithTitle("Duplicate form definition", "duplicate:", "");
    plugins->addItemWithTitle("Zandrel", "", "")->setSubmenu(zandrel);
    bar.addItemWithTitle("File", "", "");
    bar.addItemWithTitle("Plug-ins", "", "")->setSubmenu(plugins);

    struct Case {
        std::vector<std::string> titles;
        bool found;
        const char* error;
    };
    const Case cases[] = {
        {{"Plug-ins", "Zandrel", "Duplicate form definition"}, true, ""},
        {{"plug-ins", "ZANDREL", "duplicate form definition"}, true, ""},
        {{"Plug-ins", "Nope"}, false, "the menu \"Plug-ins\" has no item \"Nope\" (it has \"Zandrel\")"},
        {{"File", "Open"}, false, "\"File\" has no submenu"},
        {{}, false, "the menu path is empty"},
    };
    for (const auto& c : cases) {
        auto found = findMenuItem(bar, c.titles);
        EXPECT_EQ(found.item != nullptr, c.found) << found.error;
        EXPECT_EQ(found.error, c.error);
    }
    EXPECT_EQ(findMenuItem(bar, std::vector<int>{2, 1, 1}).item, duplicate);
    EXPECT_EQ(findMenuItem(bar, std::vector<int>{2, 1, 2}).item, nullptr);
    EXPECT_EQ(findMenuItem(bar, std::vector<int>{0}).item, nullptr);
    EXPECT_EQ(splitMenuPath(" Plug-ins >Zandrel>  Duplicate form definition "),
              (std::vector<std::string>{"Plug-ins", "Zandrel", "Duplicate form definition"}));
}

struct PopUpCase {
    const char* name;
    std::vector<std::string> items;
    int64_t select;
    int64_t expectedIndex;
    const char* expectedTitle;
};

class PopUpButtonTest : public ::testing::TestWithParam<PopUpCase> {};

TEST_P(PopUpButtonTest, SelectionStaysInRange) {
    const auto& c = GetParam();
    PopUpButton popUp;
    for (const auto& t : c.items) popUp.addItemWithTitle(t);
    popUp.selectItemAtIndex(c.select);
    EXPECT_EQ(popUp.indexOfSelectedItem(), c.expectedIndex);
    EXPECT_EQ(popUp.titleOfSelectedItem(), c.expectedTitle);
    EXPECT_EQ(popUp.selectedItem() != nullptr, c.expectedIndex >= 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, PopUpButtonTest,
                         ::testing::Values(PopUpCase{"FirstAddedIsSelected", {"A", "B"}, 0, 0, "A"},
                                           PopUpCase{"Last", {"A", "B"}, 1, 1, "B"},
                                           PopUpCase{"PastTheEndSelectsNothing", {"A", "B"}, 2, -1, ""},
                                           PopUpCase{"MinusOneSelectsNothing", {"A"}, -1, -1, ""},
                                           PopUpCase{"EmptyHasNothing", {}, 0, -1, ""}),
                         testsupport::CaseName());

TEST(PopUpButtonActions, ChoosingSendsTheActionButProgramSelectionDoesNot) {
    auto target = std::make_shared<RecordingTarget>(std::set<std::string>{"choose:"});
    auto popUp = std::make_shared<PopUpButton>();
    popUp->setAction("choose:");
    popUp->setTarget(target);
    auto item = popUp->addItemWithTitle("Contacts");
    auto represented = std::make_shared<PopUpButton>();
    item->setRepresentedObject(represented);
    popUp->addItemWithTitle("Projects");
    popUp->selectItemAtIndex(1);
    EXPECT_TRUE(target->calls.empty());
    EXPECT_TRUE(popUp->chooseItemAtIndex(0));
    EXPECT_EQ(popUp->selectedItem()->representedObject(), represented);
    EXPECT_FALSE(popUp->chooseItemAtIndex(7));
    popUp->setEnabled(false);
    EXPECT_FALSE(popUp->chooseItemAtIndex(1));
    EXPECT_EQ(target->calls, std::vector<std::string>{"choose:"});
    popUp->removeAllItems();
    EXPECT_EQ(popUp->indexOfSelectedItem(), -1);
    popUp->addItemWithTitle("Again");
    EXPECT_EQ(popUp->indexOfSelectedItem(), 0);
}

}  // namespace
