#include "app/host/CheckUpdatesCommand.h"

#include <fmt/format.h>

#include <chrono>
#include <iostream>
#include <optional>

#include "app/host/CommandLineMistake.h"
#include "host/app/HostApplication.h"
#include "platform/foundation/DisplayText.h"
#include "platform/net/ASIHTTPRequest.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "platform/ui/Workspace.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;

// Two documents of 30 seconds each and the reminder's icon, plus room for the dialogs.
constexpr std::chrono::seconds kWaitBound{30 + 30 + 10 + 5};

// Prints `text` a line at a time, each escaped: the texts come from the network, and a line
// break or an escape sequence in them must not print a line of its own ("open: ...").
void printLines(std::string_view text) {
    for (size_t start = 0;;) {
        size_t end = text.find('\n', start);
        std::cout << platform::DisplayText::printable(
                         text.substr(start, end == text.npos ? text.npos : end - start))
                  << "\n";
        if (end == text.npos) break;
        start = end + 1;
    }
}

int fail(int status, const std::string& message) {
    std::cerr << "zandrel-host: " << message << "\n";
    return status;
}

// Answers alerts as told and prints each one; the reminder is a window, found by its controls.
class CheckUpdatesFrontEnd : public platform::ScriptedFrontEnd {
public:
    explicit CheckUpdatesFrontEnd(bool accept) : m_accept(accept) {}

    int runAlert(const platform::AlertRequest& alert) override {
        bool accept = m_accept || alert.alternateButton.empty();
        std::cout << "alert: " << platform::DisplayText::printable(alert.title) << "\n";
        printLines(alert.message);
        std::cout << "answer: "
                  << platform::DisplayText::printable(accept ? alert.defaultButton : alert.alternateButton)
                  << "\n"
                  << std::flush;
        return accept ? platform::kAlertDefaultReturn : platform::kAlertAlternateReturn;
    }

private:
    bool m_accept;
};

std::string textOf(const std::shared_ptr<platform::View>& view) {
    auto field = std::dynamic_pointer_cast<platform::TextField>(view);
    return field ? field->stringValue() : std::string();
}

// The open upgrade reminder that can be answered now, or none. Each loaded plug-in shows its
// own, and a second sheet stacks on the first: the one on top (with no sheet of its own) is the
// one a person would answer.
std::shared_ptr<platform::Window> reminderWindow() {
    for (const auto& window : platform::Application::shared().windows()) {
        auto content = window->isVisible() && !window->attachedSheet() ? window->contentView() : nullptr;
        if (content && content->viewWithIdentifier("confirm") && content->viewWithIdentifier("download") &&
            content->viewWithIdentifier("skip"))
            return window;
    }
    return nullptr;
}

}  // namespace

int runCheckUpdates(const HostSettings& settings, const std::vector<std::string>& answers) {
    std::optional<std::string> alertAnswer, reminderAnswer;
    for (const auto& answer : answers) {
        auto& slot = (answer == "accept" || answer == "cancel") ? alertAnswer : reminderAnswer;
        if (slot)
            return fail(CommandLineMistake::kExitStatus,
                        fmt::format("--answer {} and --answer {} answer the same question; give "
                                    "one of accept/cancel and one of download/skip/later",
                                    *slot, answer));
        slot = answer;
    }

    CheckUpdatesFrontEnd driver(alertAnswer == "accept");
    auto previousOpener = platform::Workspace::shared().setOpenerForTesting([](const std::string& url) {
        std::cout << "open: " << platform::DisplayText::printable(url) << "\n" << std::flush;
        return true;
    });
    struct RestoreOpener {
        platform::Workspace::Opener previous;
        ~RestoreOpener() { platform::Workspace::shared().setOpenerForTesting(std::move(previous)); }
    } restoreOpener{std::move(previousOpener)};

    // Signing in is the end of the host's start-up: it starts the check.
    auto app = host::HostApplication::create({settings.database, settings.plugins, settings.hostBundle});
    if (auto status = app->openDatabase(); !status) return fail(kExitFailure, status.message());
    if (auto status = app->loadPlugins(); !status) return fail(kExitFailure, status.message());
    auto names = app->signInNames();
    std::string user = settings.user.empty() && !names.empty() ? names.front() : settings.user;
    if (user.empty())
        return fail(kExitBadInput,
                    fmt::format("{} has no active user to sign in; create one or use --init-demo",
                                settings.database.string()));
    app->showLoginWindow();
    if (auto status = app->signIn(user); !status)
        return fail(kExitBadInput, fmt::format("cannot sign in \"{}\": {} (see `zandrel-host users`)", user,
                                               status.message()));

    auto& loop = platform::RunLoop::main();
    auto deadline = std::chrono::steady_clock::now() + kWaitBound;
    while (std::chrono::steady_clock::now() < deadline) {
        loop.runOnce(platform::RunLoopMode::Default, std::chrono::milliseconds(100));
        if (auto window = reminderWindow()) {
            auto content = window->contentView();
            std::cout << "reminder: "
                      << platform::DisplayText::printable(textOf(content->viewWithIdentifier("title")))
                      << "\n";
            printLines(textOf(content->viewWithIdentifier("message")));
            std::cout << "confirmation: "
                      << platform::DisplayText::printable(textOf(content->viewWithIdentifier("confirmLabel")))
                      << "\n";
            std::string answer = reminderAnswer.value_or("later");
            std::cout << "answer: " << answer << "\n" << std::flush;
            if (answer == "download") driver.tickCheckBox("confirm", window.get());
            // Each loaded plug-in may show a reminder of its own: the answer goes to this one,
            // and the next one shown is answered on the next pass.
            if (!driver.pressButton(answer, window.get()) || window->isVisible())
                return fail(kExitFailure, "the upgrade reminder did not close on \"" + answer + "\"");
            continue;
        }
        if (platform::ASIHTTPRequest::activeRequestCount() == 0 && loop.pendingBlockCount() == 0) return 0;
    }
    return fail(kExitFailure,
                fmt::format("the update check did not end within {} seconds; check the addresses "
                            "and the server",
                            kWaitBound.count()));
}
