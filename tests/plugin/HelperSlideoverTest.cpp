// KOPAHelper's reach into the host's interface: pushing the tab-view slide-over for an object
// (around the user's focus, else on the shown content view's tab view) and the host's images.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "framework/Classes/VEXAHelper.h"
#include "host/app/DLContentView.h"
#include "host/app/DLMainView.h"
#include "host/app/DLTabView.h"
#include "host/app/DLTabViewSlideoverContainer.h"
#include "platform/ui/Image.h"
#include "tests/plugin/PluginTestSupport.h"

namespace {

class SlideoverTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        startHost(dir / "demo.zandrel");
        signIn();
        controller = KOPAHelper::activeMainWindowController();
        ASSERT_TRUE(controller);
        auto templates = KOPAHelper::objectContext()->objectsForEntityNamedQualifierLocumBindings(
            "CustomRecordSetDefinition", "", {});
        ASSERT_TRUE(templates && !templates.value().empty());
        object = templates.value().front();
    }

    void show(const std::shared_ptr<platform::View>& content) {
        controller->selectedMainView()->setCurrentContentView(content);
    }
    // A slide-over host in the main window holding a text field, which takes the focus.
    std::shared_ptr<DLTabView> focusInsideHost() {
        auto tabView = std::make_shared<DLTabView>();
        auto field = std::make_shared<platform::TextField>();
        tabView->addSubview(field);
        controller->window()->contentView()->addSubview(tabView);
        EXPECT_TRUE(controller->window()->makeFirstResponder(field.get()));
        return tabView;
    }
    size_t failureLines() const {
        static const std::regex line(R"(<Zandrel VEXAHelper:\(\d+\)> could not push sliedover)");
        size_t n = 0;
        for (const auto& l : log->lines) n += std::regex_match(l, line);
        return n;
    }

    std::shared_ptr<DLMainWindowController> controller;
    platform::ObjectPtr object;
};

TEST_F(SlideoverTest, FocusInsideASlideoverHostPushesThereWithoutTheContentTable) {
    auto calendar = DLContentView::makeCalendar();
    show(calendar);
    auto tabView = focusInsideHost();
    for (bool editing : {true, false}) {
        auto slideover = KOPAHelper::pushTabViewSlideoverWithObject(object, editing);
        ASSERT_TRUE(slideover);
        EXPECT_EQ(slideover->hostView(), tabView);
        EXPECT_EQ(slideover->model(), object);
        EXPECT_EQ(slideover->isEditing(), editing);
    }
    EXPECT_TRUE(calendar->listView()->tabView()->slideovers().empty());
    EXPECT_EQ(failureLines(), 0u);
}

TEST_F(SlideoverTest, WindowItselfFocusedUsesTheCalendarsListTabView) {
    auto calendar = DLContentView::makeCalendar();
    show(calendar);
    ASSERT_TRUE(controller->window()->makeFirstResponder(nullptr));
    auto slideover = KOPAHelper::pushTabViewSlideoverWithObject(object, false);
    ASSERT_TRUE(slideover);
    EXPECT_EQ(slideover->hostView(), calendar->listView()->tabView());
    EXPECT_EQ(calendar->listView()->tabView()->slideovers().size(), 1u);
    EXPECT_EQ(failureLines(), 0u);
}

TEST_F(SlideoverTest, FocusOutsideAnyHostFallsBackSilentlyToTheContentView) {
    auto field = std::make_shared<platform::TextField>();
    controller->window()->contentView()->addSubview(field);
    ASSERT_TRUE(controller->window()->makeFirstResponder(field.get()));
    auto list = DLContentView::makeDualList("Contact");
    show(list);
    auto slideover = KOPAHelper::pushTabViewSlideoverWithObject(object, true);
    ASSERT_TRUE(slideover);
    auto detail = std::dynamic_pointer_cast<DLListView>(list->currentListDetailView());
    EXPECT_EQ(slideover->hostView(), detail->tabView());
    EXPECT_EQ(failureLines(), 0u);
}

TEST_F(SlideoverTest, EveryDualListPushesOnItsDetailsTabView) {
    for (const char* kind : {"Task", "Organization", "Project", "Opportunity", "Note", "Group", "Form",
                             "Email", "Contact", ""}) {
        auto list = DLContentView::makeDualList(kind);
        show(list);
        auto slideover = KOPAHelper::pushTabViewSlideoverWithObject(object, false);
        ASSERT_TRUE(slideover) << list->className();
        auto detail = std::dynamic_pointer_cast<DLListView>(list->currentListDetailView());
        EXPECT_EQ(slideover->hostView(), detail->tabView()) << list->className();
    }
    EXPECT_EQ(failureLines(), 0u);
}

TEST_F(SlideoverTest, ADetailViewThatIsAHostItselfIsUsedAsItIs) {
    auto list = DLContentView::makeDualList("Project");
    auto tabView = std::make_shared<DLTabView>();
    list->setCurrentListDetailView(tabView);
    show(list);
    auto slideover = KOPAHelper::pushTabViewSlideoverWithObject(object, false);
    ASSERT_TRUE(slideover);
    EXPECT_EQ(slideover->hostView(), tabView);
}

TEST_F(SlideoverTest, NoHostViewLogsAndGivesNone) {
    struct Case {
        const char* name;
        std::function<std::shared_ptr<platform::View>()> content;
    };
    const Case cases[] = {
        {"unknown content view", [] { return DLContentView::makeDualList("Invoice"); }},
        {"no content view", [] { return std::shared_ptr<platform::View>(); }},
        {"plain view", [] { return std::make_shared<platform::View>(); }},
        {"detail without a tab view",
         [] {
             auto list = DLContentView::makeDualList("Note");
             list->setCurrentListDetailView(std::make_shared<platform::View>());
             return list;
         }},
        {"detail of none",
         [] {
             auto list = DLContentView::makeDualList("Note");
             list->setCurrentListDetailView(nullptr);
             return list;
         }},
    };
    size_t expected = 0;
    for (const auto& c : cases) {
        show(c.content());
        EXPECT_EQ(KOPAHelper::pushTabViewSlideoverWithObject(object, true), nullptr) << c.name;
        EXPECT_EQ(failureLines(), ++expected) << c.name;
    }
}

TEST_F(SlideoverTest, NoObjectIsRefusedByTheHostAndReportedNotThrown) {
    show(DLContentView::makeCalendar());
    EXPECT_EQ(KOPAHelper::pushTabViewSlideoverWithObject(nullptr, false), nullptr);
    EXPECT_EQ(failureLines(), 1u);
}

TEST_F(SlideoverTest, SignedOffThereIsNoMainWindowControllerToAsk) {
    ASSERT_TRUE(host->signOff());
    EXPECT_EQ(KOPAHelper::pushTabViewSlideoverWithObject(object, false), nullptr);
    EXPECT_EQ(failureLines(), 1u);
}

class HostImageTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        std::filesystem::copy(ZANDREL_HOST_BUNDLE, dir / "Host", std::filesystem::copy_options::recursive);
        resources = dir / "Host" / "Frameworks" / "DLViews.framework" / "Resources";
        auto bundle = platform::Bundle::open(dir / "Host");
        ASSERT_TRUE(bundle) << bundle.status().message();
        platform::Bundle::setMainBundle(bundle.value());
    }
    std::filesystem::path resources;
};

TEST_F(HostImageTest, FindsTheHostsImagesByNameAndType) {
    std::ofstream(resources / "garbage.png") << "not a picture at all";
    std::ofstream(dir / "Host" / "Frameworks" / "outside.png") << "x";
    struct Case {
        const char* name;
        const char* type;
        unsigned width;  // 0: no image
    };
    for (auto [name, type, width] :
         {Case{"DLAppIcon", "png", 32}, Case{"DLAppIcon.png", "", 32}, Case{"DLSlideoverClose", "png", 16},
          Case{"DLAppIcon", "tiff", 0}, Case{"Missing", "png", 0}, Case{"", "png", 0},
          Case{"garbage", "png", 0}, Case{"../outside", "png", 0}, Case{"..", "", 0}}) {
        auto image = KOPAHelper::dayliteImageNamed(name, type);
        if (width == 0) {
            EXPECT_EQ(image, nullptr) << name << "." << type;
            continue;
        }
        ASSERT_TRUE(image) << name << "." << type;
        EXPECT_EQ(image->pixelWidth(), width);
        EXPECT_EQ(image->pixelHeight(), width);
        EXPECT_EQ(image->path().parent_path(), resources);
    }
}

TEST_F(HostImageTest, NoHostViewFrameworkMeansNoImage) {
    std::filesystem::remove_all(dir / "Host" / "Frameworks");
    EXPECT_EQ(KOPAHelper::dayliteImageNamed("DLAppIcon", "png"), nullptr);
    platform::Bundle::setMainBundle(nullptr);
    EXPECT_EQ(KOPAHelper::dayliteImageNamed("DLAppIcon", "png"), nullptr);
}

}  // namespace
