#include "app/host/GuiMode.h"

#include <fmt/format.h>
#include <signal.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <vector>

#include "host/app/HostApplication.h"
#include "platform/foundation/DisplayText.h"
#include "platform/runtime/RunLoop.h"
#include "platform/runtime/SignalSource.h"
#include "platform/ui/Application.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/gtk/GtkFrontEnd.h"
#include "platform/ui/gtk/GtkScriptPlayer.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitScriptFailed = 4;
// Longer than the 5 seconds a save waits for a locked database, so the normal path gets to
// report that itself.
constexpr std::chrono::seconds kSignalQuitDeadline{10};
// Set to a file name, the windows' geometry is written there for tools that drive them with
// real pointer and key events (see GtkFrontEnd::geometry).
constexpr const char* kGeometryVariable = "ZANDREL_GUI_GEOMETRY";

int fail(int status, const std::string& message) {
    std::cerr << "zandrel-host: " << message << "\n";
    return status;
}

bool anyWindowVisible() {
    for (const auto& window : platform::Application::shared().windows())
        if (window->isVisible()) return true;
    return false;
}

// Quitting on a signal, as the terminal does: waiting alerts are declined (nobody accepted
// their offer), then modal windows close, innermost first, one a pass so each loop can return.
// True once nothing is left open that a save should wait for.
bool closeDialogsForQuit(platform::GtkFrontEnd& desktop,
                         std::vector<std::weak_ptr<platform::Window>>& closed) {
    if (auto* alert = desktop.currentAlert()) {
        auto declined = platform::decliningButton(alert->request);
        std::cerr << fmt::format("zandrel-host: terminated by a signal: alert \"{}\" answered \"{}\"\n",
                                 platform::DisplayText::printable(alert->request.title),
                                 platform::DisplayText::printable(declined.title));
        alert->answer = declined.returnValue;
        return false;
    }
    if (auto modal = platform::Application::shared().modalWindow()) {
        bool tried =
            std::any_of(closed.begin(), closed.end(), [&](const auto& w) { return w.lock() == modal; });
        if (!tried) {
            closed.push_back(modal);
            modal->close();
            return false;
        }
    }
    return true;
}

}  // namespace

void addGuiOptions(CLI::App& cli, GuiOptions& options) {
    auto* gui =
        cli.add_flag("--gui", options.gui,
                     "Show the host in desktop (GTK 4) windows instead of the terminal; needs a display");
    cli.add_option("--script", options.script,
                   "With --gui: play the terminal's commands from FILE against the windows, then quit")
        ->check(CLI::ExistingFile)
        ->needs(gui);
    cli.add_option("--screenshot-dir", options.screenshotDir,
                   "With --gui: write NNN.png of the key window (and NNN-alert.png of an alert) after each "
                   "command")
        ->needs(gui);
}

int runGui(const HostSettings& settings, const GuiOptions& options) {
    std::vector<std::string> script;
    if (!options.script.empty()) script = platform::GtkScriptPlayer::readScript(options.script);
    std::unique_ptr<platform::GtkFrontEnd> desktop;
    try {
        desktop = std::make_unique<platform::GtkFrontEnd>();
    } catch (const std::exception& e) {
        return fail(kExitFailure, e.what());
    }
    desktop->start();
    if (const char* file = std::getenv(kGeometryVariable); file && *file) desktop->setGeometryFile(file);

    auto app = host::HostApplication::create({settings.database, settings.plugins, settings.hostBundle});
    if (auto status = app->openDatabase(); !status) return fail(kExitFailure, status.message());
    if (auto status = app->loadPlugins(); !status) return fail(kExitFailure, status.message());
    std::string user = settings.user;
    if (user.empty()) {
        auto names = app->signInNames();
        if (names.empty())
            return fail(kExitBadInput,
                        fmt::format("{} has no active user to sign in; create one or use --init-demo",
                                    settings.database.string()));
        user = names.front();
    }
    app->showLoginWindow();
    if (auto status = app->signIn(user); !status)
        return fail(kExitBadInput, fmt::format("cannot sign in \"{}\": {} (see `zandrel-host users`)", user,
                                               status.message()));

    std::unique_ptr<platform::GtkScriptPlayer> player;
    if (!options.script.empty()) {
        platform::GtkScriptPlayer::Options playerOptions;
        playerOptions.screenshotDir = options.screenshotDir;
        player = std::make_unique<platform::GtkScriptPlayer>(*desktop, std::move(script), playerOptions);
        // Stored after every completed command, as at the terminal.
        player->setAfterCommandHandler([&] { (void)app->saveChangesAfterCommand(); });
        player->setQuitHandler([&] {
            app->terminate();
            return app->quitRequested();
        });
        player->start();
    } else {
        // Stored once each act of a person is done, as after each terminal command.
        desktop->setAfterActHandler([&] { (void)app->saveChangesAfterCommand(); });
    }

    // SIGTERM, SIGHUP (the session ended) and SIGINT save and quit the normal way, handled on
    // the run loop; a second one, or the deadline, ends the process at once.
    platform::SignalSource signals;
    bool terminating = false;
    bool dialogsClosed = false;
    std::vector<std::weak_ptr<platform::Window>> closedForQuit;
    std::function<void()> closeNext = [&] {
        dialogsClosed = closeDialogsForQuit(*desktop, closedForQuit);
        if (!dialogsClosed) platform::RunLoop::main().dispatchAsync(closeNext);
    };
    auto terminate = [&] {
        if (terminating) return;
        terminating = true;
        signals.armEmergencyExit({SIGTERM, SIGHUP, SIGINT},
                                 "zandrel-host: stopped at once by a second signal; changes made since the "
                                 "last save were not stored\n",
                                 kExitFailure, kSignalQuitDeadline);
        std::cerr << "zandrel-host: terminated by a signal: saving and quitting\n";
        if (player) player->stop();
        closeNext();
    };
    for (int signo : {SIGTERM, SIGHUP, SIGINT}) signals.handle(signo, terminate);
    signals.start();

    auto& loop = platform::RunLoop::main();
    loop.runUntil(platform::RunLoopMode::Default, [&] {
        if (app->quitRequested()) return true;
        if (terminating) {
            if (!dialogsClosed) return false;
            // Nobody is asked any more: an alert the save shows is declined (the front end stops).
            desktop->stop();
            app->terminate();
            return true;
        }
        if (player) return player->isFinished();
        // A person closed the last window: that is quitting, with the save quitting does.
        if (!anyWindowVisible()) app->terminate();
        return app->quitRequested();
    });
    if (player) player->stop();
    desktop->stop();
    signals.stop();
    signals.disarmEmergencyExit();
    if (!app->quitRequested()) return fail(kExitFailure, "quit with unsaved changes: the last save failed");
    if (terminating) {
        std::cerr << "zandrel-host: saved and quit on a signal\n";
        return 0;
    }
    if (player && player->failedLine()) return kExitScriptFailed;
    return 0;
}
