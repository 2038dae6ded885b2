// The dialog controller: its four ways of running, however its window closes, the result and
// completion, edits committed on close, and its place in the session registry.

#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/MenuItem.h"
#include "tests/plugin/PluginTestSupport.h"
#include "tests/support/CaseName.h"

namespace {

using plugintest::isRegistered;
using plugintest::TestDialog;

class DialogControllerTest : public plugintest::PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        bundle = plugintest::writeDialogBundle(dir / "Dialogs.bundle");
        ASSERT_TRUE(bundle);
        dialog = plugintest::makeTestDialog(bundle);
    }

    // A completion that records each result.
    KOPADialogController::Completion recording() {
        return [this](int64_t result) { results.push_back(result); };
    }
    std::shared_ptr<platform::Window> showWindow(const std::string& title) {
        auto window = std::make_shared<platform::Window>(title);
        window->makeKeyAndOrderFront();
        return window;
    }

    std::shared_ptr<platform::Bundle> bundle;
    std::shared_ptr<TestDialog> dialog;
    std::vector<int64_t> results;
};

TEST_F(DialogControllerTest, DescriptionDialogGetsWindowDidLoadTwice) {
    // First at creation: no window, no outlets yet, but already registered.
    EXPECT_EQ(dialog->windowLoadedAtDidLoad, (std::vector<bool>{false}));
    EXPECT_EQ(dialog->outletAtDidLoad, (std::vector<bool>{false}));
    EXPECT_FALSE(dialog->isWindowLoaded());
    EXPECT_TRUE(isRegistered(dialog.get()));
    EXPECT_EQ(dialog->mode(), KOPADialogController::SheetMode);
    EXPECT_EQ(dialog->result(), 0);

    // Then when the window is first asked for: loaded, outlets connected, delegate set.
    auto window = dialog->window();
    ASSERT_TRUE(window) << dialog->loadStatus().message();
    EXPECT_EQ(dialog->windowLoadedAtDidLoad, (std::vector<bool>{false, true}));
    EXPECT_EQ(dialog->outletAtDidLoad, (std::vector<bool>{false, true}));
    EXPECT_EQ(window->delegate(), dialog);
    EXPECT_TRUE(isRegistered(dialog.get()));
    EXPECT_EQ(KOPAPluginSession::sharedPluginSession()->sessionObjects().size(), 1u);
}

TEST_F(DialogControllerTest, ReadyMadeWindowGetsWindowDidLoadOnceWithDelegate) {
    auto window = std::make_shared<platform::Window>("Ready");
    auto ready = std::make_shared<TestDialog>();
    ASSERT_TRUE(ready->initWithWindow(window));
    EXPECT_EQ(ready->windowLoadedAtDidLoad, (std::vector<bool>{true}));
    EXPECT_EQ(window->delegate(), ready);
    EXPECT_TRUE(isRegistered(ready.get()));
}

TEST_F(DialogControllerTest, SheetOnTheGivenParent) {
    auto parent = showWindow("Parent");
    auto other = showWindow("Other");
    ASSERT_EQ(app.keyWindow(), other);
    dialog->runSheetInWindowCompletion(parent, recording());
    auto sheet = dialog->window();
    EXPECT_EQ(dialog->mode(), KOPADialogController::SheetMode);
    EXPECT_EQ(sheet->sheetParent(), parent.get());
    EXPECT_EQ(parent->attachedSheet(), sheet);
    EXPECT_GE(sheet->displayCount(), 1);

    dialog->close();
    EXPECT_EQ(results, (std::vector<int64_t>{0}));
    EXPECT_FALSE(sheet->isSheet());
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(parent->attachedSheet(), nullptr);
}

TEST_F(DialogControllerTest, SheetWithoutParentAttachesToTheKeyWindow) {
    auto parent = showWindow("Main");
    dialog->runSheetInWindowCompletion(nullptr, recording());
    EXPECT_EQ(dialog->window()->sheetParent(), parent.get());
    EXPECT_EQ(app.keyWindow(), dialog->window());
    dialog->closeWithResult(3);
    EXPECT_EQ(results, (std::vector<int64_t>{3}));
    EXPECT_EQ(app.keyWindow(), parent);
}

TEST_F(DialogControllerTest, SheetWithNoKeyWindowIsShownAsAFreeWindowAndLogged) {
    ASSERT_EQ(app.keyWindow(), nullptr);
    dialog->runSheetInWindowCompletion(nullptr, recording());
    auto window = dialog->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isSheet());
    EXPECT_EQ(app.keyWindow(), window);
    ASSERT_EQ(log->lines.size(), 1u);
    EXPECT_NE(log->lines[0].find("Test Dialog"), std::string::npos) << log->lines[0];
    EXPECT_NE(log->lines[0].find("no window to attach to"), std::string::npos) << log->lines[0];

    dialog->closeWithResult(4);
    EXPECT_EQ(results, (std::vector<int64_t>{4}));
    EXPECT_FALSE(window->isVisible());
}

TEST_F(DialogControllerTest, BlockingModalReturnsOnlyAfterCloseWithTheCompletionRun) {
    std::vector<std::string> order;
    int displaysAtCompletion = -1;
    ui->later([&] {
        order.push_back("closing");
        EXPECT_EQ(app.modalDepth(), 1);
        EXPECT_EQ(app.modalWindow(), dialog->window());
        dialog->closeWithResult(5);
    });
    dialog->runModalBlockingCompletion(true, [&](int64_t result) {
        order.push_back("completion " + std::to_string(result));
        displaysAtCompletion = dialog->window()->displayCount();
    });
    order.push_back("returned");
    EXPECT_EQ(order, (std::vector<std::string>{"closing", "completion 5", "returned"}));
    EXPECT_EQ(dialog->mode(), KOPADialogController::ModalBlockingMode);
    EXPECT_EQ(app.modalDepth(), 0);
    // The window is drawn once more after the modal run ended.
    EXPECT_GT(dialog->window()->displayCount(), displaysAtCompletion);
}

TEST_F(DialogControllerTest, NonBlockingSessionIsClearedAfterClose) {
    dialog->runModalBlockingCompletion(false, recording());
    EXPECT_EQ(dialog->mode(), KOPADialogController::ModalSessionMode);
    ASSERT_TRUE(dialog->modalSession());
    EXPECT_EQ(app.modalDepth(), 1);
    EXPECT_EQ(app.modalWindow(), dialog->window());
    EXPECT_TRUE(results.empty());

    dialog->close();
    EXPECT_EQ(dialog->modalSession(), nullptr);
    EXPECT_EQ(app.modalDepth(), 0);
    EXPECT_EQ(results, (std::vector<int64_t>{0}));
}

TEST_F(DialogControllerTest, FreeWindowTouchesNoSheetOrModalState) {
    auto main = showWindow("Main");
    dialog->runWindow(recording());
    EXPECT_EQ(dialog->mode(), KOPADialogController::FreeWindowMode);
    EXPECT_EQ(app.keyWindow(), dialog->window());
    EXPECT_FALSE(dialog->window()->isSheet());
    EXPECT_EQ(main->attachedSheet(), nullptr);
    EXPECT_EQ(app.modalDepth(), 0);

    dialog->closeWithResult(8);
    EXPECT_EQ(results, (std::vector<int64_t>{8}));
    EXPECT_EQ(app.modalDepth(), 0);
    EXPECT_TRUE(main->isVisible());
}

// Each way of closing a running dialog, and the result it reports.
struct CloseCase {
    const char* name;
    std::function<void(TestDialog&, platform::ScriptedFrontEnd&)> close;
    int64_t expected;
};

class DialogCloseTest : public DialogControllerTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(DialogCloseTest, ReportsTheResult) {
    dialog->runWindow(recording());
    GetParam().close(*dialog, *ui);
    EXPECT_EQ(results, (std::vector<int64_t>{GetParam().expected}));
    EXPECT_EQ(dialog->result(), GetParam().expected);
    EXPECT_FALSE(dialog->window()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, DialogCloseTest,
    ::testing::Values(
        CloseCase{"Close", [](TestDialog& d, platform::ScriptedFrontEnd&) { d.close(); }, 0},
        CloseCase{"CloseWithResult", [](TestDialog& d, platform::ScriptedFrontEnd&) { d.closeWithResult(7); },
                  7},
        CloseCase{"NegativeResult", [](TestDialog& d, platform::ScriptedFrontEnd&) { d.closeWithResult(-1); },
                  -1},
        CloseCase{"ButtonTaggedTwo",
                  [](TestDialog&, platform::ScriptedFrontEnd& ui) { EXPECT_TRUE(ui.pressButton("Two")); }, 2},
        CloseCase{
            "ButtonWithoutTag",
            [](TestDialog&, platform::ScriptedFrontEnd& ui) { EXPECT_TRUE(ui.pressButton("Untagged")); }, 0},
        CloseCase{"MenuItemTag",
                  [](TestDialog& d, platform::ScriptedFrontEnd&) {
                      auto item =
                          std::make_shared<platform::MenuItem>("Five", "closeWithTagOfSenderAsResult:", "");
                      item->setTag(5);
                      d.closeWithTagOfSenderAsResult(item.get());
                  },
                  5},
        CloseCase{"SenderWithoutTag",
                  [](TestDialog& d, platform::ScriptedFrontEnd&) {
                      auto window = std::make_shared<platform::Window>("not a control");
                      d.closeWithTagOfSenderAsResult(window.get());
                  },
                  0},
        CloseCase{"NoSender",
                  [](TestDialog& d, platform::ScriptedFrontEnd&) { d.closeWithTagOfSenderAsResult(nullptr); },
                  0},
        CloseCase{"OwnCloseControl",
                  [](TestDialog& d, platform::ScriptedFrontEnd& ui) {
                      EXPECT_TRUE(ui.closeWindow(d.window().get()));
                  },
                  0},
        CloseCase{"Dispose", [](TestDialog& d, platform::ScriptedFrontEnd&) { d.dispose(); }, 0}),
    testsupport::CaseName());

TEST_F(DialogControllerTest, OwnCloseControlReportsTheLastStoredResult) {
    dialog->runWindow(recording());
    dialog->closeWithResult(7);
    dialog->runWindow(recording());
    ASSERT_TRUE(ui->closeWindow(dialog->window().get()));
    EXPECT_EQ(results, (std::vector<int64_t>{7, 7}));
}

TEST_F(DialogControllerTest, OwnCloseControlEndsTheModalState) {
    auto parent = showWindow("Main");
    dialog->runSheetInWindowCompletion(parent, recording());
    ASSERT_TRUE(ui->closeWindow());
    EXPECT_EQ(parent->attachedSheet(), nullptr);
    EXPECT_EQ(app.keyWindow(), parent);

    dialog->runModalBlockingCompletion(false, recording());
    ASSERT_TRUE(ui->closeWindow());
    EXPECT_EQ(dialog->modalSession(), nullptr);
    EXPECT_EQ(app.modalDepth(), 0);

    ui->later([&] { ui->closeWindow(); });
    dialog->runModalBlockingCompletion(true, recording());
    EXPECT_EQ(app.modalDepth(), 0);
    EXPECT_EQ(results, (std::vector<int64_t>{0, 0, 0}));
}

TEST_F(DialogControllerTest, EditInProgressIsCommittedBeforeTheCompletion) {
    std::string valueAtCompletion;
    bool editingAtCompletion = true;
    dialog->runWindow([&](int64_t) {
        valueAtCompletion = dialog->nameField()->stringValue();
        editingAtCompletion = dialog->nameField()->isEditing();
    });
    ASSERT_TRUE(ui->typeText("name", "typed but not ended"));
    ASSERT_TRUE(dialog->nameField()->isEditing());
    dialog->close();
    EXPECT_EQ(valueAtCompletion, "typed but not ended");
    EXPECT_FALSE(editingAtCompletion);
}

TEST_F(DialogControllerTest, EditIsLeftAloneWhenTheDialogKeepsItsFirstResponder) {
    dialog->commitEditsOnClose = false;
    std::string valueAtCompletion = "unset";
    bool editingAtCompletion = false;
    dialog->runWindow([&](int64_t) {
        valueAtCompletion = dialog->nameField()->stringValue();
        editingAtCompletion = dialog->nameField()->isEditing();
    });
    ASSERT_TRUE(ui->typeText("name", "typed"));
    dialog->close();
    EXPECT_EQ(valueAtCompletion, "");
    EXPECT_TRUE(editingAtCompletion);
}

TEST_F(DialogControllerTest, StillRegisteredAfterTheCompletionUntilTheNextTurn) {
    bool registeredInCompletion = false;
    dialog->runWindow([&](int64_t) { registeredInCompletion = isRegistered(dialog.get()); });
    dialog->close();
    EXPECT_TRUE(registeredInCompletion);
    EXPECT_TRUE(isRegistered(dialog.get()));
    loop.runPending();
    EXPECT_FALSE(isRegistered(dialog.get()));
}

TEST_F(DialogControllerTest, RegistryAloneKeepsAnOpenDialogAlive) {
    std::weak_ptr<TestDialog> weak = dialog;
    bool completed = false;
    dialog->runWindow([&](int64_t) { completed = true; });
    auto window = dialog->window();
    dialog.reset();
    ASSERT_FALSE(weak.expired());

    ASSERT_TRUE(ui->closeWindow(window.get()));
    EXPECT_TRUE(completed);
    EXPECT_FALSE(weak.expired()) << "the pending removal still holds the dialog";
    loop.runPending();
    EXPECT_TRUE(weak.expired());
}

TEST_F(DialogControllerTest, RunningAgainReplacesTheCompletion) {
    std::vector<std::string> calls;
    dialog->runWindow([&](int64_t) { calls.push_back("first"); });
    dialog->close();
    dialog->runWindow([&](int64_t) { calls.push_back("second"); });
    dialog->close();
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));
}

}  // namespace

namespace {

TEST_F(DialogControllerTest, AMissingWindowDescriptionIsSaidAndTheRunStillFinishes) {
    startHost(dir / "forms.zandrel");  // the plug-in object shows the message
    auto missing = std::make_shared<TestDialog>();
    ASSERT_TRUE(missing->initWithWindowNibName("NoSuchDialog", bundle));
    ui->answerAlert("OK");
    missing->runSheetInWindowCompletion(nullptr, recording());
    EXPECT_EQ(results, std::vector<int64_t>{0});
    ASSERT_EQ(ui->alerts().size(), 1u);
    EXPECT_EQ(ui->lastAlert().title, "Zandrel");
    EXPECT_NE(ui->lastAlert().message.find("NoSuchDialog"), std::string::npos) << ui->lastAlert().message;
    EXPECT_TRUE(isRegistered(missing.get()));  // until the next turn, as after any close
    platform::RunLoop::main().runPending();
    EXPECT_FALSE(isRegistered(missing.get()));
}

}  // namespace

namespace {

// Sign-off while a closed dialog's removal from the registry is still pending: the registry
// disposes of it again, and that second close must not finish the run a second time.
struct LateDisposalCase {
    const char* name;
    std::function<void(TestDialog&, KOPADialogController::Completion,
                       const std::shared_ptr<platform::Window>&)>
        run;
    bool hasWindow;
};

TEST_F(DialogControllerTest, SignOffDuringTheDeferredRemovalFinishesTheRunOnce) {
    const LateDisposalCase cases[] = {
        {"sheet",
         [](TestDialog& d, auto completion, const auto& parent) {
             d.runSheetInWindowCompletion(parent, completion);
         },
         true},
        {"modal session",
         [](TestDialog& d, auto completion, const auto&) { d.runModalBlockingCompletion(false, completion); },
         true},
        {"free window", [](TestDialog& d, auto completion, const auto&) { d.runWindow(completion); }, true},
        {"missing description", [](TestDialog& d, auto completion, const auto&) { d.runWindow(completion); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        results.clear();
        auto parent = showWindow("Parent");
        std::shared_ptr<TestDialog> subject =
            c.hasWindow ? plugintest::makeTestDialog(bundle) : std::make_shared<TestDialog>();
        if (!c.hasWindow) {
            ASSERT_TRUE(subject->initWithWindowNibName("NoSuchDialog", bundle));
        }
        std::vector<std::string> closes;
        plugintest::NotificationRecorder recorder(closes, {platform::kWindowWillCloseNotification});

        c.run(*subject, recording(), parent);
        if (c.hasWindow) subject->closeWithResult(5);
        const int64_t reported = c.hasWindow ? 5 : 0;
        ASSERT_EQ(results, std::vector<int64_t>{reported});
        ASSERT_TRUE(isRegistered(subject.get())) << "the removal waits for the next turn";

        platform::NotificationCenter::defaultCenter().post(KOPAUserSignedOffNotification);
        EXPECT_EQ(results, std::vector<int64_t>{reported}) << "the completion ran again";
        EXPECT_EQ(subject->result(), reported);
        EXPECT_FALSE(isRegistered(subject.get()));
        loop.runPending();
        EXPECT_EQ(results, std::vector<int64_t>{reported});
        EXPECT_EQ(closes.size(), c.hasWindow ? 1u : 0u) << "the window announced its close again";
        EXPECT_EQ(app.modalWindow(), nullptr);
        EXPECT_FALSE(parent->attachedSheet());

        // A new run of the same dialog finishes again, once.
        if (c.hasWindow) {
            subject->runWindow(recording());
            subject->closeWithResult(6);
            subject->close();
            EXPECT_EQ(results, (std::vector<int64_t>{reported, 6}));
            EXPECT_EQ(closes.size(), 2u);
        }
        parent->close();
        loop.runPending();
    }
}

// A window tells its delegate and observers of each close once; shown again, it can close again.
TEST_F(DialogControllerTest, AWindowAnnouncesEachCloseOnce) {
    std::vector<std::string> closes;
    plugintest::NotificationRecorder recorder(closes, {platform::kWindowWillCloseNotification});
    auto window = showWindow("Plain");
    window->close();
    window->close();
    window->performClose();
    EXPECT_EQ(closes.size(), 1u);
    window->makeKeyAndOrderFront();
    window->performClose();
    window->close();
    EXPECT_EQ(closes.size(), 2u);

    auto neverShown = std::make_shared<platform::Window>("Never shown");
    neverShown->close();
    neverShown->close();
    EXPECT_EQ(closes.size(), 3u);
}

}  // namespace
