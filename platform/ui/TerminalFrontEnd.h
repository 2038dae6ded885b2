#pragma once

// TerminalFrontEnd: shows the UI model on a terminal and takes a person's commands from standard
// input, one per line. It works in an interactive terminal (prompt "> ") and with commands piped
// in (each command read is echoed, so the output reads as a transcript).
//
// Commands (a view is named by its identifier or by its number from `show`, "3" or "#3";
// numbers of items, rows, buttons and menu entries count from 1):
//
//   help                          this list
//   show                          draws the key window (and the alert waiting) again
//   windows                       lists the open windows, front to back
//   menu                          prints the menu bar with numbered paths
//   menu <path>                   chooses a menu command: "Plug-ins > Zandrel > Duplicate form
//                                 definition" or by numbers, "2.1.1"
//   select <view> <item>          chooses a pop-up item by title or number, or a table row by
//                                 number ("none" clears a table's selection)
//   type <view> <text...>         types into a text field; the text stays being edited until the
//                                 field gives up focus (another field, the window closing)
//   press <view|button title>     clicks a button
//   tick <view>                   clicks a check box
//   close                         the key window's own close control
//   answer <number|button title>  answers the alert that is waiting (at the "answer>" prompt
//                                 the number or the title alone will do)
//   quit                          closes modal windows and asks the host to quit
//
// Words are separated by spaces. Double quotes keep spaces and allow an empty word
// (type name ""); inside them \" is a quote and \\ a backslash. Single quotes are ordinary
// characters, so titles such as Don't need no quoting.
//
// Alerts. runAlert() draws the alert and runs the main run loop in the modal mode until an
// `answer` arrives; input is read in both run-loop modes, so modal windows and alerts can be
// answered. At the end of input every waiting alert takes its default button, later alerts do
// too, modal windows are closed, and the quit handler runs -- each said on the output, so a
// script that ends early never hangs.
//
// Input is read only when poll() reports it ready, one read() per pass, and the descriptor's
// flags are left alone: setting O_NONBLOCK on a terminal's standard input would also make the
// shared standard output non-blocking. One command runs per pass of the run loop, so the work a
// command queues on the main queue is done before the next command is read.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/RunLoop.h"
#include "platform/ui/FrontEnd.h"

namespace platform {

class Menu;
class View;
class Window;

class TerminalFrontEnd : public FrontEnd, public RunLoopSource {
public:
    struct Options {
        int inputFd = 0;
        int outputFd = 1;
        // Interactive: prompt, no echo. Default: whether the input is a terminal.
        std::optional<bool> interactive;
    };

    TerminalFrontEnd();
    explicit TerminalFrontEnd(Options options);
    ~TerminalFrontEnd() override;
    TerminalFrontEnd(const TerminalFrontEnd&) = delete;
    TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

    // Becomes the application's front end, reads input in every run-loop mode and draws.
    void start();
    // Stops reading and uninstalls itself (when still installed).
    void stop();
    bool isRunning() const { return m_running; }
    // The input has ended and every command read has been taken.
    bool reachedEndOfInput() const { return m_eof && m_input.empty(); }

    // Asked on `quit` and at the end of input. Answering false keeps the front end reading (the
    // host could not save, say); at the end of input it stops either way.
    void setQuitHandler(std::function<bool()> handler) { m_quitHandler = std::move(handler); }
    // Called after each command that completed while no other command was still running (a
    // command that opened a blocking dialog completes when the dialog has closed).
    void setAfterCommandHandler(std::function<void()> handler) { m_afterCommand = std::move(handler); }

    // Runs one command line as if it had been typed.
    void execute(const std::string& line);

    // The key window (or a note that none is open) and the alert that is waiting, if any.
    std::string renderScreen() const;
    static std::string helpText();
    // Splits a command line into words (see the quoting rules above); nullopt with `error` set
    // on an unterminated quote.
    static std::optional<std::vector<std::string>> splitWords(const std::string& line, std::string& error);

    // FrontEnd
    int runAlert(const AlertRequest& alert) override;
    void windowChanged(Window& window) override { m_dirty = true; }
    bool openURL(const std::string& url) override;

    // RunLoopSource
    void collectPollFds(std::vector<pollfd>& fds) override;
    std::optional<std::chrono::milliseconds> maxWait() override;
    void perform(std::span<const pollfd> polled) override;

private:
    struct PendingAlert {
        AlertRequest request;
        std::optional<int> answer;
    };

    void write(std::string_view text);
    void readInput(std::span<const pollfd> polled);
    std::optional<std::string> takeLine();
    void runCommand(const std::vector<std::string>& words);
    void continueFinishing();
    void redraw();
    void prompt();
    // The innermost alert has its answer and is about to go away: not worth drawing again.
    bool alertJustAnswered() const;

    void commandMenu(const std::vector<std::string>& words);
    void commandSelect(const std::vector<std::string>& words);
    void commandType(const std::vector<std::string>& words);
    void commandPress(const std::vector<std::string>& words);
    void commandTick(const std::vector<std::string>& words);
    void commandClose();
    void commandAnswer(const std::vector<std::string>& words);
    // The key window, or none after saying that there is none.
    std::shared_ptr<Window> keyWindowOrSay();
    // A view of the key window by identifier or number, or none after saying why.
    std::shared_ptr<View> viewOrSay(const Window& window, const std::string& ref);
    // words[1] of a command that needs at least `minWords` words, as a view of the key window;
    // none after saying why (the usage when words are missing).
    std::shared_ptr<View> commandView(const std::vector<std::string>& words, size_t minWords,
                                      const char* usage);

    Options m_options;
    bool m_interactive = false;
    bool m_running = false;
    bool m_eof = false;
    bool m_finishing = false;
    bool m_quitCalled = false;
    bool m_dirty = true;
    int m_commandDepth = 0;
    std::string m_input;
    std::vector<PendingAlert*> m_alerts;  // innermost last
    std::vector<std::weak_ptr<Window>> m_closedAtFinish;
    std::function<bool()> m_quitHandler;
    bool m_inAfterCommand = false;
    std::function<void()> m_afterCommand;
};

}  // namespace platform
