#pragma once

// Helpers for tests of the UI model: a fixture that gives each case a clean run loop on a
// virtual clock and a clean application, and an action target that records what it was sent.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/ActionTarget.h"
#include "platform/ui/Application.h"
#include "platform/ui/MenuItem.h"

namespace testsupport {

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::RunLoop::main().resetForTesting();
        clock = std::make_shared<platform::VirtualClock>();
        platform::RunLoop::main().setClock(clock);
        platform::Application::shared().resetForTesting();
    }
    void TearDown() override {
        platform::Application::shared().resetForTesting();
        platform::RunLoop::main().resetForTesting();
        platform::RunLoop::main().setClock(std::make_shared<platform::RealClock>());
    }

public:
    platform::Application& app = platform::Application::shared();
    platform::RunLoop& loop = platform::RunLoop::main();
    std::shared_ptr<platform::VirtualClock> clock;
};

// Answers the actions it was given; records each one with the sender's address.
class RecordingTarget : public platform::Object, public platform::ActionTarget {
public:
    explicit RecordingTarget(std::set<std::string> actions) : m_actions(std::move(actions)) {}
    bool respondsToAction(const std::string& action) const override { return m_actions.count(action) != 0; }
    bool performAction(const std::string& action, platform::Object* sender) override {
        calls.push_back(action);
        senders.push_back(sender);
        if (auto it = handlers.find(action); it != handlers.end()) it->second();
        return true;
    }
    bool validateMenuItem(const platform::MenuItem& item) override {
        return disabled.count(item.action()) == 0;
    }

    std::vector<std::string> calls;
    std::vector<platform::Object*> senders;
    std::set<std::string> disabled;
    std::map<std::string, std::function<void()>> handlers;

private:
    std::set<std::string> m_actions;
};

}  // namespace testsupport
