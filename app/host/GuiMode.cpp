#include "app/host/GuiMode.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "host/app/HostApplication.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/gtk/GtkFrontEnd.h"
#include "platform/ui/gtk/GtkScriptPlayer.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitScriptFailed = 4;

int fail(int status, const std::string& message) {
    std::cerr << "zandrel-host: " << message << "\n";
    return status;
}

bool anyWindowVisible() {
    for (const auto& window : platform::Application::shared().windows())
        if (window->isVisible()) return true;
    return false;
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
    }
    auto& loop = platform::RunLoop::main();
    loop.runUntil(platform::RunLoopMode::Default, [&] {
        if (app->quitRequested()) return true;
        if (player) return player->isFinished();
        // A person closed the last window: that is quitting, with the save quitting does.
        if (!anyWindowVisible()) app->terminate();
        return app->quitRequested();
    });
    if (player) player->stop();
    desktop->stop();
    if (!app->quitRequested()) return fail(kExitFailure, "quit with unsaved changes: the last save failed");
    if (player && player->failedLine()) return kExitScriptFailed;
    return 0;
}
