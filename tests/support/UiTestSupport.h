#pragma once

// Helpers for tests of the UI model: a fixture that gives each case a clean run loop on a
// virtual clock and a clean application, one that adds a terminal front end reading a pipe and
// writing to files, and an action target that records what it was sent.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/ActionTarget.h"
#include "platform/ui/Application.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/terminal/TerminalFrontEnd.h"

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

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Every drawn line within `width` columns and nothing but newlines below the space character.
inline void expectFits(const std::string& drawn, size_t width) {
    for (const auto& line : linesOf(drawn)) {
        EXPECT_LE(platform::TerminalRenderer::displayWidth(line), width) << "\"" << line << "\" in:\n"
                                                                         << drawn;
        for (unsigned char c : line)
            EXPECT_FALSE(c < 0x20 || c == 0x7f) << static_cast<int>(c) << " in " << line;
    }
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A terminal front end as a person's piped script meets it: commands are fed into a pipe, what it
// prints and its error messages go to temporary files the test reads back. Each case makes its
// `terminal` (makeTerminal counts the quits in `quits`).
class TerminalTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_EQ(::pipe(input), 0);
        outputFile = std::tmpfile();
        ASSERT_NE(outputFile, nullptr);
        errorFile = std::tmpfile();
        ASSERT_NE(errorFile, nullptr);
    }
    void TearDown() override {
        terminal.reset();
        if (input[1] >= 0) ::close(input[1]);
        if (input[0] >= 0) ::close(input[0]);
        if (outputFile) std::fclose(outputFile);
        if (errorFile) std::fclose(errorFile);
        UiTest::TearDown();
    }
    platform::TerminalFrontEnd::Options terminalOptions(bool interactive, size_t width) {
        platform::TerminalFrontEnd::Options o;
        o.inputFd = input[0];
        o.outputFd = fileno(outputFile);
        o.errorFd = fileno(errorFile);
        o.interactive = interactive;
        o.lineEditing = false;
        o.width = width;
        return o;
    }
    void makeTerminal(const platform::TerminalFrontEnd::Options& options) {
        terminal = std::make_unique<platform::TerminalFrontEnd>(options);
        terminal->setQuitHandler([this] {
            ++quits;
            return true;
        });
    }
    static std::string readAll(FILE* file) {
        std::fflush(file);
        std::string text;
        char buffer[4096];
        ::lseek(fileno(file), 0, SEEK_SET);
        for (ssize_t n; (n = ::read(fileno(file), buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    std::string output() { return readAll(outputFile); }
    std::string errors() { return readAll(errorFile); }
    void feed(const std::string& text) {
        ASSERT_EQ(::write(input[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void endInput() {
        ::close(input[1]);
        input[1] = -1;
    }

public:
    int input[2] = {-1, -1};
    FILE* outputFile = nullptr;
    FILE* errorFile = nullptr;
    std::unique_ptr<platform::TerminalFrontEnd> terminal;
    int quits = 0;
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
