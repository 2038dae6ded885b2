// Return and Escape in the desktop front end's sheets, windows and alerts, with real key events
// from the X server (xdotool; GTK 4 has no public way to make input events in the process).

#include <gtest/gtest.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "platform/ui/Button.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/GtkFrontEnd.h"
#include "tests/support/Subprocess.h"
#include "tests/support/UiTestSupport.h"

namespace {

using namespace platform;

class GuiInputKeysTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        // Key events come from another process in real time.
        loop.setClock(std::make_shared<RealClock>());
        frontEnd = std::make_unique<GtkFrontEnd>();
        frontEnd->start();
        target = std::make_shared<testsupport::RecordingTarget>(std::set<std::string>{"go:", "cancel:"});
    }
    void TearDown() override {
        frontEnd->stop();
        frontEnd.reset();
        UiTest::TearDown();
    }

    // A window with a default button and a second one titled `cancelTitle` (with Escape as its
    // key equivalent when `escapeKey`).
    std::shared_ptr<Window> makeWindow(const std::string& title, const std::string& cancelTitle,
                                       bool escapeKey) {
        auto window = std::make_shared<Window>(title, Rect{0, 0, 300, 120});
        auto content = std::make_shared<View>(Rect{0, 0, 300, 120});
        window->setContentView(content);
        auto go = std::make_shared<Button>("Go");
        go->setFrame({200, 70, 80, 30});
        go->setKeyEquivalent("\r");
        go->setAction("go:");
        go->setTarget(target);
        auto cancel = std::make_shared<Button>(cancelTitle);
        cancel->setFrame({100, 70, 80, 30});
        if (escapeKey) cancel->setKeyEquivalent("\x1b");
        cancel->setAction("cancel:");
        cancel->setTarget(target);
        // The default button first, so it has the focus and Return is its own.
        content->addSubview(go);
        content->addSubview(cancel);
        return window;
    }
    bool runUntil(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto tick = loop.scheduleTimer(
            std::chrono::milliseconds(20), true, [] {}, kCommonModes);
        loop.runUntil(RunLoopMode::Default,
                      [&] { return done() || std::chrono::steady_clock::now() > deadline; });
        loop.invalidateTimer(tick);
        return done();
    }
    bool active(const Window& w) {
        auto* gw = frontEnd->gtkWindow(w);
        return gw && gw->is_active();
    }
    static void key(const std::string& name) {
        auto r = testsupport::runProgram({"/usr/bin/xdotool", "key", name});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    std::unique_ptr<GtkFrontEnd> frontEnd;
    std::shared_ptr<testsupport::RecordingTarget> target;
};

TEST_F(GuiInputKeysTest, EscapeCancelsSheetsAndModalWindowsOnly) {
    struct Case {
        const char* cancelTitle;
        bool escapeKey;
        bool sheet;
        bool cancels;
    };
    for (const Case& c : {Case{"Cancel", false, true, true}, Case{"Stop", true, true, true},
                          Case{"Stop", false, true, false}, Case{"Cancel", false, false, false}}) {
        SCOPED_TRACE(testing::Message() << c.cancelTitle << (c.escapeKey ? " (Escape)" : "")
                                        << (c.sheet ? " in a sheet" : " in a window"));
        target->calls.clear();
        auto parent = makeWindow("Parent", "Cancel", false);
        parent->makeKeyAndOrderFront();
        auto window = makeWindow("Keys", c.cancelTitle, c.escapeKey);
        if (c.sheet)
            app.beginSheet(window, parent);
        else
            window->makeKeyAndOrderFront();
        ASSERT_TRUE(runUntil([&] { return active(*window); }));
        // Escape, then Return: once the default button's action has come, Escape has been
        // handled too (the X server keeps their order).
        key("Escape");
        key("Return");
        ASSERT_TRUE(runUntil([&] {
            return std::find(target->calls.begin(), target->calls.end(), "go:") != target->calls.end();
        }));
        auto expected =
            c.cancels ? std::vector<std::string>{"cancel:", "go:"} : std::vector<std::string>{"go:"};
        EXPECT_EQ(target->calls, expected);
        if (c.sheet) app.endSheet(window.get());
        window->close();
        parent->close();
        loop.runPending();
    }
}

TEST_F(GuiInputKeysTest, ReturnAndEscapeAnswerAlerts) {
    struct Case {
        const char* key;
        const char* alternate;
        int expected;
    };
    for (const Case& c :
         {Case{"Return", "Cancel", kAlertDefaultReturn}, Case{"Escape", "Cancel", kAlertAlternateReturn},
          Case{"Escape", "", kAlertDefaultReturn}}) {
        SCOPED_TRACE(testing::Message() << c.key << " with alternate \"" << c.alternate << "\"");
        bool sent = false;
        // Pressed once the alert has the keyboard, from inside its modal loop.
        auto watch = loop.scheduleTimer(
            std::chrono::milliseconds(20), true,
            [&] {
                auto* alert = frontEnd->currentAlert();
                if (sent || !alert || !alert->window->is_active()) return;
                sent = true;
                key(c.key);
            },
            kCommonModes);
        auto deadline = loop.scheduleTimer(
            std::chrono::seconds(20), false,
            [&] {
                if (auto* alert = frontEnd->currentAlert()) alert->answer = -99;
            },
            kCommonModes);
        EXPECT_EQ(app.runAlertPanel({"Title", "Message", "OK", c.alternate, "", false}), c.expected);
        loop.invalidateTimer(watch);
        loop.invalidateTimer(deadline);
        EXPECT_TRUE(sent);
    }
}

}  // namespace
