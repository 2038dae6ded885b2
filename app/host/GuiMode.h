#pragma once

// The desktop mode of zandrel-host: `--gui` shows the host and its plug-ins' dialogs in GTK
// windows instead of the terminal; `--script FILE` plays the terminal's commands against those
// windows; `--screenshot-dir DIR` keeps a PNG of the key window (and any alert) after each
// command.

#include <filesystem>

#include "app/host/HostCommands.h"

namespace CLI {
class App;
}

struct GuiOptions {
    bool gui = false;
    std::filesystem::path script;         // empty: a person drives the windows
    std::filesystem::path screenshotDir;  // empty: no screenshots
};

// Adds --gui, --script and --screenshot-dir to the host's command line.
void addGuiOptions(CLI::App& cli, GuiOptions& options);

// Runs the host in desktop windows until it quits. Exit status as for the terminal: 0 done, 1 no
// display or a failed save, 4 a script line failed (said on standard error).
int runGui(const HostSettings& settings, const GuiOptions& options);
