#pragma once

// TerminalFrontEnd: shows the UI model on a terminal and takes a person's commands from standard
// input, one per line. It works in an interactive terminal (prompt "> ") and with commands piped
// in (each command read is echoed, so the output reads as a transcript).
//
// Commands are those of CommandInterpreter (the desktop's --script plays the same language);
// this class reads them and draws what they do.
//
// At a terminal (input and output both terminals) lines are edited with libedit: arrows,
// Ctrl-A/E, history with Up (kept in a file across runs), Tab completes commands, views, items,
// buttons and menu titles, Ctrl-L draws the screen again. End of input there (Ctrl-D at an empty
// prompt) is the same as `quit`: a host that cannot save yet refuses it and goes on. Piped
// input is read line by line without editing, each line echoed so the output reads as a
// transcript.
//
// Scripts. With piped input the first command that fails (an unknown command, view, item or
// button, a disabled control, a usage mistake, an unclosed quote) stops the run: "line N: ..."
// goes to the error output, no later line runs, and the front end finishes as at the end of
// input (alerts take their default button, modal windows close, the quit handler runs);
// failedLine() tells the host. At a terminal a failed command is only reported.
//
// Alerts. runAlert() draws the alert and runs the main run loop in the modal mode until an
// `answer` arrives; input is read in both run-loop modes, so modal windows and alerts can be
// answered. At the end of piped input every waiting alert takes its default button, later alerts
// do too, modal windows are closed, and the quit handler runs -- each said on the output, so a
// script that ends early never hangs.
//
// Signals arrive through the owner: terminate() (save and quit as at the end of input, without
// reading more), interrupt() (Ctrl-C: drops the line being typed, or cancels the dialog that is
// open, or -- the second time at an empty prompt -- quits), suspend()/resume() around a stop,
// terminalResized().
//
// Input is read only when poll() reports it ready, and the descriptor's flags are left alone:
// setting O_NONBLOCK on a terminal's standard input would also make the shared standard output
// non-blocking. One command runs per pass of the run loop, so the work a command queues on the
// main queue is done before the next command is read.

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/runtime/RunLoop.h"
#include "platform/ui/CommandInterpreter.h"
#include "platform/ui/FrontEnd.h"
#include "platform/ui/LineEditor.h"

namespace platform {

class Menu;
class TableView;
class View;
class Window;

class TerminalFrontEnd : public FrontEnd, public RunLoopSource, private CommandInterpreter::Host {
public:
    struct Options {
        int inputFd = 0;
        int outputFd = 1;
        int errorFd = 2;  // where a failed script line is reported
        // Interactive: prompt, no echo, failures do not stop. Default: whether the input is a
        // terminal.
        std::optional<bool> interactive;
        // libedit line editing. Default: interactive with input and output both terminals.
        std::optional<bool> lineEditing;
        std::filesystem::path historyFile;  // empty: history only for this run
        // Columns to draw in. Default: the output terminal's width, else $COLUMNS, else 80.
        std::optional<size_t> width;
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
    bool isInteractive() const { return m_interactive; }
    // The input has ended and every command read has been taken.
    bool reachedEndOfInput() const { return m_eof && m_input.empty(); }

    // Asked on `quit` and at the end of input. Answering false keeps the front end reading (the
    // host could not save, say); at the end of input it stops either way.
    void setQuitHandler(std::function<bool()> handler) { m_quitHandler = std::move(handler); }
    // Called after each command that completed while no other command was still running (a
    // command that opened a blocking dialog completes when the dialog has closed).
    void setAfterCommandHandler(std::function<void()> handler) { m_afterCommand = std::move(handler); }

    // Runs one command line as if it had been typed; false when it failed (said on the output).
    bool execute(const std::string& line);

    // The number of the piped line whose command failed and stopped the run.
    std::optional<size_t> failedLine() const { return m_failedLine; }
    // Why the last command failed.
    const std::string& lastError() const { return m_lastError; }

    // SIGTERM, SIGHUP: reads no more, answers alerts with their default button, closes modal
    // windows and runs the quit handler, which cannot refuse.
    void terminate();
    bool isTerminating() const { return m_terminating; }
    // Ctrl-C (see above).
    void interrupt();
    // Before the process stops (the terminal back in its normal mode), and after it continues.
    void suspend();
    void resume();
    // Draws again to the terminal's new width.
    void terminalResized();
    size_t width() const override { return m_width; }
    // The output terminal's width, else $COLUMNS, else 80.
    static size_t measureWidth(int outputFd);

    // What Tab offers for the text before the cursor.
    LineEditor::Completion completions(const std::string& beforeCursor) const;
    bool isLineEditing() const { return m_editor != nullptr; }

    // The key window (or a note that none is open) and the alert that is waiting, if any.
    std::string renderScreen() const;
    static std::string helpText() { return CommandInterpreter::helpText(); }
    static std::optional<std::vector<std::string>> splitWords(const std::string& line, std::string& error) {
        return CommandInterpreter::splitWords(line, error);
    }

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
    void writeError(std::string_view text);
    void readInput(std::span<const pollfd> polled);
    void readEditor(std::span<const pollfd> polled);
    void endOfInputKey();
    void showEditorAgain();
    std::string noteLine(std::string_view text) const;
    void stopScript(const std::string& line);
    // Says `message` (and a line feed) and remembers it as the reason of the failure: false.
    bool fail(const std::string& message);
    std::optional<std::string> takeLine();
    // The interpreter's failure becomes the front end's: false stays false.
    bool keepError(bool ok);
    void continueFinishing();
    void redraw();
    void prompt();
    // The innermost alert has its answer and is about to go away: not worth drawing again.
    bool alertJustAnswered() const;
    // Why an alert gets no answer from a person: said beside the answer it is given instead.
    std::string unansweredCause() const;
    void commandQuit();

    // CommandInterpreter::Host
    void say(std::string_view text) override { write(text); }
    void show() override { redraw(); }
    void changed() override { m_dirty = true; }
    const AlertRequest* waitingAlert() override;
    void answerAlert(int returnValue) override;
    void quit() override { commandQuit(); }

    Options m_options;
    std::unique_ptr<LineEditor> m_editor;
    std::deque<std::string> m_lines;  // lines the editor finished, not yet run
    bool m_showEditor = false;        // the editor was hidden for output: show it again
    bool m_resized = false;
    size_t m_width = 80;
    size_t m_lineNumber = 0;
    std::optional<size_t> m_failedLine;
    std::string m_lastError;
    bool m_terminating = false;
    bool m_skippingLongLine = false;
    int m_interrupts = 0;      // Ctrl-C at an empty prompt, in a row
    int m_endOfInputKeys = 0;  // Ctrl-D at an empty prompt, in a row
    bool m_historyProblemSaid = false;
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
    CommandInterpreter m_interpreter{*this};
};

}  // namespace platform
