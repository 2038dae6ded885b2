// KOPACustomTabView: registering a tab class with the host's object views, and the model and
// context the host hands to the tab it creates.

#include <gtest/gtest.h>

#include "framework/Classes/VEXACustomTabView.h"
#include "framework/Classes/VEXAHelper.h"
#include "host/app/DLObjectTabView.h"
#include "platform/runtime/ClassRegistry.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

class NotesTab : public KOPACustomTabView {
public:
    static std::string tabTitle() { return "Notes"; }
    void setObjectContext(const std::shared_ptr<DLPObjectContext>& context) override {
        contexts.push_back(context);
    }
    std::vector<std::shared_ptr<DLPObjectContext>> contexts;
};

class UntitledTab : public KOPACustomTabView {
public:
    void setObjectContext(const std::shared_ptr<DLPObjectContext>&) override {}
};

}  // namespace

ZANDREL_REGISTER_CLASS(NotesTab)

namespace {

class CustomTabViewTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        DLObjectTabView::resetRegistrationsForTesting();
        startHost(dir / "demo.zandrel");
        signIn();
        auto templates = KOPAHelper::objectContext()->objectsForEntityNamedQualifierLocumBindings(
            "CustomRecordSetDefinition", "", {});
        ASSERT_TRUE(templates && !templates.value().empty());
        object = templates.value().front();
    }
    void TearDown() override {
        DLObjectTabView::resetRegistrationsForTesting();
        PluginTest::TearDown();
    }
    std::shared_ptr<DLPObject> object;
};

TEST_F(CustomTabViewTest, TwoEntitiesMakeTwoHostRegistrationsInOrder) {
    KOPACustomTabView::registerTabViewForEntities<NotesTab>({"Project", "Contact"});
    EXPECT_EQ(DLObjectTabView::registrations(),
              (std::vector<DLObjectTabRegistration>{{"Project", "NotesTab", "Notes", "NotesTab"},
                                                    {"Contact", "NotesTab", "Notes", "NotesTab"}}));
}

TEST_F(CustomTabViewTest, AnEmptyListRegistersNothingAndAsksNoTitle) {
    KOPACustomTabView::registerTabViewForEntities<UntitledTab>({});
    EXPECT_TRUE(DLObjectTabView::registrations().empty());
}

TEST_F(CustomTabViewTest, SettingAModelKeepsItAndHandsOnExactlyItsContext) {
    NotesTab tab;
    EXPECT_EQ(tab.model(), nullptr);
    tab.setModel(object);
    EXPECT_EQ(tab.model(), object);
    ASSERT_EQ(tab.contexts.size(), 1u);
    EXPECT_EQ(tab.contexts[0], object->objectContext());
    EXPECT_EQ(tab.contexts[0], KOPAHelper::objectContext());
    tab.setModel(nullptr);
    EXPECT_EQ(tab.model(), nullptr);
    ASSERT_EQ(tab.contexts.size(), 2u);
    EXPECT_EQ(tab.contexts[1], nullptr);
}

TEST_F(CustomTabViewTest, TheHostCreatesTheRegisteredTabAndGivesItTheObject) {
    KOPACustomTabView::registerTabViewForEntities<NotesTab>({object->entityName()});
    DLObjectTabView objectView(object->entityName());
    objectView.setObject(object);
    auto tab = std::dynamic_pointer_cast<NotesTab>(objectView.viewForTab("NotesTab"));
    ASSERT_TRUE(tab);
    EXPECT_EQ(tab->model(), object);
    ASSERT_EQ(tab->contexts.size(), 1u);
    EXPECT_EQ(tab->contexts[0], object->objectContext());
    EXPECT_EQ(objectView.tabs().back().title, "Notes");
    // A tab is a container view: it shows one content view.
    auto content = std::make_shared<platform::View>(platform::Rect{0, 0, 30, 20});
    tab->setContentView(content);
    EXPECT_EQ(tab->contentView(), content);
}

TEST(CustomTabViewDeathTest, ATabWithoutATitleStopsAtRegistration) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(KOPACustomTabView::registerTabViewForEntities<UntitledTab>({"Contact"}),
                 R"(Assertion failure in VEXACustomTabView\.cpp:[0-9]+: 0)");
}

}  // namespace
