// DLObjectTabView: tabs registered by name for the object views of an entity, created by the
// host through class lookup and handed the object shown.

#include <gtest/gtest.h>

#include "host/app/DLObjectTabView.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "platform/foundation/Log.h"
#include "platform/runtime/ClassRegistry.h"
#include "tests/host/DatabaseTestSupport.h"

namespace {

class ModelTab : public platform::View, public DLObjectTabContent {
public:
    void setModel(const std::shared_ptr<DLPObject>& model) override { models.push_back(model); }
    std::vector<std::shared_ptr<DLPObject>> models;
};
class OtherModelTab : public ModelTab {};
// A view that takes no model, and a model taker that is no view.
class PlainView : public platform::View {};
class NotAView : public platform::Object, public DLObjectTabContent {
public:
    void setModel(const std::shared_ptr<DLPObject>&) override {}
};

}  // namespace

ZANDREL_REGISTER_CLASS(ModelTab)
ZANDREL_REGISTER_CLASS(OtherModelTab)
ZANDREL_REGISTER_CLASS(PlainView)
ZANDREL_REGISTER_CLASS(NotAView)

namespace {

class ObjectTabViewTest : public hosttest::DatabaseTest {
protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        DLObjectTabView::resetRegistrationsForTesting();
        m_previous = platform::Log::setSink([this](std::string_view line) { logLines.emplace_back(line); });
        auto made = context->createObject<CustomRecordSetDefinition>(true);
        ASSERT_TRUE(made);
        object = *made;
    }
    void TearDown() override {
        platform::Log::setSink(std::move(m_previous));
        DLObjectTabView::resetRegistrationsForTesting();
        DatabaseTest::TearDown();
    }
    std::vector<std::string> tabIdentifiers(const DLObjectTabView& view) {
        std::vector<std::string> ids;
        for (const auto& tab : view.tabs()) ids.push_back(tab.identifier);
        return ids;
    }

    std::shared_ptr<DLPObject> object;
    std::vector<std::string> logLines;
    platform::Log::Sink m_previous;
};

TEST_F(ObjectTabViewTest, RegistrationsKeepTheirOrderAndAReRegistrationItsPlace) {
    ASSERT_TRUE(DLObjectTabView::registerTabForTabViewIdentifier("Contact", "a", "A", "ModelTab"));
    ASSERT_TRUE(DLObjectTabView::registerTabForTabViewIdentifier("Project", "a", "A", "ModelTab"));
    ASSERT_TRUE(DLObjectTabView::registerTabForTabViewIdentifier("Contact", "b", "B", "OtherModelTab"));
    ASSERT_TRUE(DLObjectTabView::registerTabForTabViewIdentifier("Contact", "a", "A2", "OtherModelTab"));
    EXPECT_EQ(DLObjectTabView::registrations(),
              (std::vector<DLObjectTabRegistration>{{"Contact", "a", "A2", "OtherModelTab"},
                                                    {"Project", "a", "A", "ModelTab"},
                                                    {"Contact", "b", "B", "OtherModelTab"}}));
}

TEST_F(ObjectTabViewTest, IncompleteRegistrationsAreRefused) {
    struct Case {
        const char *tabView, *tab, *title, *cls;
    };
    for (auto [tabView, tab, title, cls] :
         {Case{"", "t", "T", "ModelTab"}, Case{"Contact", "", "T", "ModelTab"},
          Case{"Contact", "t", "", "ModelTab"}, Case{"Contact", "t", "T", ""}}) {
        EXPECT_FALSE(DLObjectTabView::registerTabForTabViewIdentifier(tabView, tab, title, cls));
    }
    EXPECT_TRUE(DLObjectTabView::registrations().empty());
    EXPECT_EQ(logLines.size(), 4u);
}

TEST_F(ObjectTabViewTest, ShowingAnObjectCreatesItsEntitysTabsInOrderAndHandsThemTheObject) {
    const std::string entity = object->entityName();
    DLObjectTabView::registerTabForTabViewIdentifier(entity, "first", "First", "ModelTab");
    DLObjectTabView::registerTabForTabViewIdentifier("SomeOtherEntity", "elsewhere", "Elsewhere", "ModelTab");
    DLObjectTabView::registerTabForTabViewIdentifier(entity, "second", "Second", "OtherModelTab");
    DLObjectTabView view(entity);
    view.setObject(object);
    EXPECT_EQ(tabIdentifiers(view), (std::vector<std::string>{"details", "first", "second"}));
    for (const char* id : {"first", "second"}) {
        auto tab = std::dynamic_pointer_cast<ModelTab>(view.viewForTab(id));
        ASSERT_TRUE(tab) << id;
        EXPECT_EQ(tab->models, (std::vector<std::shared_ptr<DLPObject>>{object})) << id;
        EXPECT_EQ(tab->superview(), &view);
    }
    EXPECT_TRUE(std::dynamic_pointer_cast<OtherModelTab>(view.viewForTab("second")));

    // Another object: fresh tab views, the old ones gone from the view.
    auto first = view.viewForTab("first");
    auto made = context->createObject<CustomRecordSetDefinition>(true);
    ASSERT_TRUE(made);
    view.setObject(*made);
    EXPECT_EQ(first->superview(), nullptr);
    auto again = std::dynamic_pointer_cast<ModelTab>(view.viewForTab("first"));
    ASSERT_TRUE(again);
    EXPECT_NE(again, first);
    EXPECT_EQ(again->models.size(), 1u);
    EXPECT_EQ(view.subviews().size(), 3u);

    view.setObject(nullptr);
    EXPECT_TRUE(view.tabs().empty());
    EXPECT_TRUE(view.subviews().empty());
}

TEST_F(ObjectTabViewTest, ClassesThatCannotBeTabsAreSkippedWithALogLine) {
    const std::string entity = object->entityName();
    for (const char* cls : {"NoSuchClass", "PlainView", "NotAView", "ModelTab"})
        DLObjectTabView::registerTabForTabViewIdentifier(entity, cls, cls, cls);
    DLObjectTabView view(entity);
    view.setObject(object);
    EXPECT_EQ(tabIdentifiers(view), (std::vector<std::string>{"details", "ModelTab"}));
    ASSERT_EQ(logLines.size(), 3u);
    EXPECT_NE(logLines[0].find("NoSuchClass is not loaded"), std::string::npos) << logLines[0];
    EXPECT_NE(logLines[1].find("PlainView cannot be created as a view taking a model"), std::string::npos);
}

}  // namespace
