#include <gtest/gtest.h>

#include "platform/foundation/Log.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/WindowController.h"
#include "platform/ui/WindowDescription.h"
#include "tests/support/CaseName.h"
#include "tests/support/TempDir.h"
#include "tests/support/UiTestSupport.h"

using namespace platform;

namespace {

class DialogController : public WindowController {
public:
    DialogController() {
        bindOutlet("templatesPopUp", templates);
        bindOutlet("nameField", name);
        bindOutlet("okButton", ok);
        bindAction("runAction:", [this](Object* sender) { actions.push_back(sender); });
    }
    void windowDidLoad() override { ++didLoad; }
    void awakeFromNib() override { awokeWithOutlets = templates.lock() && name.lock(); }

    std::weak_ptr<PopUpButton> templates;
    std::weak_ptr<TextField> name;
    std::weak_ptr<Button> ok;
    std::vector<Object*> actions;
    int didLoad = 0;
    bool awokeWithOutlets = false;
};

constexpr const char* kDialog = R"({
  "window": { "title": "Duplicate", "width": 420, "height": 160, "closable": false },
  "views": [
    { "class": "Label", "frame": [20, 20, 120, 22], "text": "Form template:" },
    { "class": "PopUpButton", "id": "templates", "items": ["Contacts", "Projects"] },
    { "class": "TextField", "id": "name", "placeholder": "New name" },
    { "class": "CheckBox", "id": "all", "title": "All users", "state": -1 },
    { "class": "View", "id": "box", "views": [
        { "class": "Button", "id": "ok", "title": "Duplicate", "action": "runAction:", "keyEquivalent": "\r", "tag": 1 },
        { "class": "ImageView", "id": "icon", "image": "DLAppIcon", "hidden": true }
    ] },
    { "class": "TableView", "id": "users", "enabled": false, "columns": [ { "id": "name", "title": "Name" } ] }
  ],
  "outlets": { "templatesPopUp": "templates", "nameField": "name", "okButton": "ok" }
})";

class WindowDescriptionTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        previousSink = Log::setSink([this](std::string_view line) { logLines.emplace_back(line); });
        dir.write("Dialog.bundle/Info.json", R"({"CFBundleIdentifier": "com.example.dialogs"})");
        auto opened = Bundle::open(dir / "Dialog.bundle");
        ASSERT_TRUE(opened) << opened.status().message();
        bundle = opened.value();
    }
    void TearDown() override {
        Log::setSink(previousSink);
        UiTest::TearDown();
    }
    void writeDescription(const std::string& name, const std::string& json) {
        dir.write("Dialog.bundle/Resources/" + name + ".window.json", json);
    }
    std::shared_ptr<DialogController> load(const std::string& name) {
        auto controller = std::make_shared<DialogController>();
        controller->initWithWindowNibName(name, bundle);
        controller->window();
        return controller;
    }

    testsupport::TempDir dir;
    std::shared_ptr<Bundle> bundle;
    Log::Sink previousSink;
    std::vector<std::string> logLines;
};

TEST_F(WindowDescriptionTest, LoadsOnFirstRequestAndConnectsOutletsAndActions) {
    writeDescription("Dialog", kDialog);
    auto controller = std::make_shared<DialogController>();
    controller->initWithWindowNibName("Dialog", bundle);
    EXPECT_FALSE(controller->isWindowLoaded());
    EXPECT_EQ(controller->didLoad, 1);  // from initWithWindow, before any loading

    auto window = controller->window();
    ASSERT_NE(window, nullptr) << controller->loadStatus().message();
    EXPECT_TRUE(controller->loadStatus().isOk());
    EXPECT_EQ(controller->didLoad, 2);
    EXPECT_TRUE(controller->awokeWithOutlets);
    EXPECT_EQ(window->title(), "Duplicate");
    EXPECT_EQ(window->frame(), (Rect{0, 0, 420, 160}));
    EXPECT_FALSE(window->isClosable());
    EXPECT_EQ(window->windowController(), controller);
    EXPECT_EQ(controller->window(), window);  // loaded once

    auto templates = controller->templates.lock();
    ASSERT_NE(templates, nullptr);
    EXPECT_EQ(templates->itemTitles(), (std::vector<std::string>{"Contacts", "Projects"}));
    EXPECT_EQ(templates->indexOfSelectedItem(), 0);
    EXPECT_EQ(controller->name.lock()->placeholder(), "New name");
    auto ok = controller->ok.lock();
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->superview()->identifier(), "box");
    EXPECT_EQ(ok->tag(), 1);
    EXPECT_EQ(ok->keyEquivalent(), "\r");
    EXPECT_TRUE(ok->performClick());
    ASSERT_EQ(controller->actions.size(), 1u);
    EXPECT_EQ(controller->actions[0], ok.get());

    auto& content = *window->contentView();
    auto label = std::dynamic_pointer_cast<TextField>(content.subviews().at(0));
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->isEditable());
    EXPECT_EQ(label->frame(), (Rect{20, 20, 120, 22}));
    EXPECT_EQ(std::dynamic_pointer_cast<Button>(content.viewWithIdentifier("all"))->state(), Button::Mixed);
    EXPECT_TRUE(content.viewWithIdentifier("icon")->isHidden());
    auto users = std::dynamic_pointer_cast<TableView>(content.viewWithIdentifier("users"));
    ASSERT_NE(users, nullptr);
    EXPECT_FALSE(users->isEnabled());
    EXPECT_EQ(users->tableColumns().at(0).title, "Name");
}

struct ErrorCase {
    const char* name;
    std::string json;
    std::string expected;
};

class WindowDescriptionErrorTest : public WindowDescriptionTest,
                                   public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(WindowDescriptionErrorTest, FailsWithAMessageNamingTheFile) {
    writeDescription("Broken", GetParam().json);
    auto controller = load("Broken");
    EXPECT_EQ(controller->window(), nullptr);
    EXPECT_EQ(controller->didLoad, 1);  // only the call from creation
    const std::string& message = controller->loadStatus().message();
    EXPECT_FALSE(controller->loadStatus().isOk());
    EXPECT_NE(message.find("Broken.window.json"), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
    ASSERT_EQ(logLines.size(), 1u);
    EXPECT_EQ(logLines[0], message);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, WindowDescriptionErrorTest,
    ::testing::Values(
        ErrorCase{"UnknownClass", R"({"window": {}, "views": [{"class": "Slider", "id": "s"}]})",
                  "unknown view class \"Slider\""},
        ErrorCase{"UnknownOutlet",
                  R"({"window": {}, "views": [{"class": "TextField", "id": "n"}], "outlets": {"nope": "n"}})",
                  "no outlet \"nope\""},
        ErrorCase{
            "OutletOfTheWrongClass",
            R"({"window": {}, "views": [{"class": "Button", "id": "n"}], "outlets": {"nameField": "n"}})",
            "outlet \"nameField\""},
        ErrorCase{"OutletNamingNoView", R"({"window": {}, "outlets": {"nameField": "missing"}})",
                  "names unknown view \"missing\""},
        ErrorCase{"UnknownAction", R"({"window": {}, "views": [{"class": "Button", "action": "launch:"}]})",
                  "no action \"launch:\""},
        ErrorCase{
            "DuplicateId",
            R"({"window": {}, "views": [{"class": "Button", "id": "x"}, {"class": "View", "views": [{"class": "Label", "id": "x"}]}]})",
            "view id \"x\" is used twice"},
        ErrorCase{"BadJson", R"({"window": {)", "is not valid JSON"},
        ErrorCase{"NoWindowEntry", R"({"views": []})", "expected an object with a \"window\" entry"},
        ErrorCase{"ViewsNotAnArray", R"({"window": {}, "views": {"class": "Button"}})",
                  "\"views\" must be an array"},
        ErrorCase{"FrameOfTheWrongType",
                  R"({"window": {}, "views": [{"class": "Button", "frame": ["a", 0, 1, 1]}]})", "frame"},
        ErrorCase{"FrameBeyondAnyScreen",
                  R"({"window": {}, "views": [{"class": "Button", "frame": [0, 0, 1e99, 1]}]})", "frame"},
        // Read as an integer, 1e99 once had no defined result at all.
        ErrorCase{"HeightBeyondAnyScreen", R"({"window": {"height": 1e99}})",
                  "\"height\" must be a number from 0"},
        ErrorCase{"WidthOfTheWrongType", R"({"window": {"width": "wide"}})",
                  "\"width\" must be a number from 0"},
        ErrorCase{"NegativeWidth", R"({"window": {"width": -5}})", "(found -5)"}),
    testsupport::CaseName());

TEST_F(WindowDescriptionTest, MissingDescriptionSaysWhereItWasExpected) {
    auto controller = load("Absent");
    EXPECT_EQ(controller->window(), nullptr);
    EXPECT_NE(controller->loadStatus().message().find("Resources/Absent.window.json"), std::string::npos)
        << controller->loadStatus().message();
    controller->window();
    EXPECT_EQ(logLines.size(), 1u);  // a failed load is not retried on every request
}

}  // namespace
