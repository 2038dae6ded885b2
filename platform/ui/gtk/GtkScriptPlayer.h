#pragma once

// GtkScriptPlayer: plays the command language of CommandInterpreter -- the terminal's own, with
// its commands, matching and messages -- against the GTK widgets, as a person with a mouse would:
// a press clicks the Gtk::Button, a select changes the drop-down or the list's selected row, a
// type fills the entry, a tick toggles the check box. What the model then does is what it does
// for a person; the player never calls the model's actions itself (a contextual menu item, which
// has no widget, is chosen as the menu bar chooses its items).
//
// Show. `show` reads back what the widgets show: each control's kind, text and state, and its
// place in the window ("at X,Y WxH", the coordinates of a screenshot); under a table its rows,
// check-box cells as "[x] title" and the selected row marked "*".
//
// Pace. One command runs per run-loop pass, and only once the previous one has settled: the
// work it queued on the main queue has run, no network request is still under way (a reply may
// open a dialog; a silent server is waited for once, up to the settle limit), and the key window
// (and the alert, if one waits) is on the screen and has painted a frame since. Then the
// after-command hook runs when no dialog of an earlier command is still open (and the player
// settles again), then the screenshots of the previous command are written (NNN.png of the key
// window, NNN-alert.png of a waiting alert, NNN counting the commands from 001).
//
// End. As in the terminal, the first failed command stops the script ("line N: <command>:
// <why>" on the error output); at its end, or at `quit`, waiting alerts take their default
// button, modal windows close, and the quit handler runs.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/RunLoop.h"
#include "platform/ui/CommandInterpreter.h"

namespace Gtk {
class Window;
}

namespace platform {

class GtkFrontEnd;

class GtkScriptPlayer : public RunLoopSource, private CommandInterpreter::Host {
public:
    struct Options {
        std::filesystem::path screenshotDir;  // empty: no screenshots
        int outputFd = 1;
        int errorFd = 2;
        // The longest a command may take to settle before the next one runs anyway.
        std::chrono::milliseconds settleLimit{5000};
    };

    GtkScriptPlayer(GtkFrontEnd& frontEnd, std::vector<std::string> lines, Options options);
    ~GtkScriptPlayer() override;
    GtkScriptPlayer(const GtkScriptPlayer&) = delete;
    GtkScriptPlayer& operator=(const GtkScriptPlayer&) = delete;

    // Reads the script file into lines; throws with the path when it cannot be read.
    static std::vector<std::string> readScript(const std::filesystem::path& file);

    void start();
    void stop();
    bool isFinished() const { return m_finished; }
    std::optional<size_t> failedLine() const { return m_failedLine; }
    size_t commandsRun() const { return m_commandNumber; }
    size_t screenshotsWritten() const { return m_screenshots; }

    void setQuitHandler(std::function<bool()> handler) { m_quitHandler = std::move(handler); }
    void setAfterCommandHandler(std::function<void()> handler) { m_afterCommand = std::move(handler); }

    // RunLoopSource
    void collectPollFds(std::vector<pollfd>& fds) override {}
    std::optional<std::chrono::milliseconds> maxWait() override;
    void perform(std::span<const pollfd> polled) override;
    bool holdsVirtualTime() override { return !m_finished; }

private:
    struct FrameWait {
        Gtk::Window* window;
        int64_t frame;
    };

    bool settled();
    std::vector<Gtk::Window*> windowsToShoot();
    void shoot(size_t number);
    void finishStep();
    // CommandInterpreter::Host: `show` reads back what the widgets show.
    void say(std::string_view text) override;
    void show() override;
    const AlertRequest* waitingAlert() override;
    void answerAlert(int returnValue) override;
    void quit() override;
    Act chooseMenuItem(MenuItem& item) override;
    Act click(Button& button) override;
    Act choosePopUpItem(PopUpButton& popUp, size_t index) override;
    Act selectRow(TableView& table, int64_t row) override;
    Act typeText(TextField& field, const std::string& text) override;
    Act toggleCell(TableView& table, size_t column, size_t row) override;
    Act close(Window& window) override;

    GtkFrontEnd& m_frontEnd;
    std::vector<std::string> m_lines;
    Options m_options;
    size_t m_next = 0;  // index of the next line
    size_t m_commandNumber = 0;
    std::optional<size_t> m_pendingShot;
    bool m_commandsSinceHook = false;
    size_t m_screenshots = 0;
    std::vector<FrameWait> m_waits;
    std::chrono::steady_clock::time_point m_waitStart{};
    bool m_waitStarted = false;
    bool m_requestsOverdue = false;
    int m_baseDepth = -1;
    bool m_running = false;
    bool m_finishing = false;
    bool m_finished = false;
    bool m_quitCalled = false;
    std::vector<std::weak_ptr<Window>> m_closedAtFinish;
    std::optional<size_t> m_failedLine;
    std::function<bool()> m_quitHandler;
    std::function<void()> m_afterCommand;
    CommandInterpreter m_interpreter{*this};
};

}  // namespace platform
