#pragma once

// The desktop mode of zandrel-host: `--gui` shows the host and its plug-ins' dialogs in GTK
// windows instead of the terminal; `--script FILE` plays the terminal's commands against those
// windows; `--screenshot-dir DIR` keeps a PNG of the key window (and any alert) after each
// command.
//
// A person's acts are saved once each is done, as terminal commands are. SIGTERM, SIGHUP and
// SIGINT quit as at the terminal: waiting alerts are declined, modal windows
// close, the changes are saved and the host exits 0 (1 when the save failed); a second signal,
// or 10 seconds, ends it at once. Closing the last window quits. With ZANDREL_GUI_GEOMETRY set
// to a file, where every window, control and label is on the screen is kept there (for tools
// that drive the windows with real pointer and key events).

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
