#pragma once

// LineEditor: line editing on a terminal with libedit -- arrows, Ctrl-A/E, history (Up, Down) kept
// in a file across runs, and Tab completion from a completer the owner supplies.
//
// The run loop stays in charge: libedit runs in its unbuffered mode, so each call of readKeys()
// (made when poll() says the terminal has input) takes the keys waiting and returns at once,
// with a finished line when Return was pressed. A blocking el_gets() or readline() would stop
// timers, uploads and signals for as long as a person thinks. (libedit's readline emulation has a
// callback interface too, but it redraws the prompt the moment a line is taken, before the
// command's output; driving el_gets() directly lets the prompt come last.)
//
// The terminal is in libedit's editing mode only between begin() and the end of a line (or
// hide()); the rest of the time it is in its normal mode, so output of commands, alerts and
// signals look as they always do. Signals stay the owner's: libedit installs no handlers (Ctrl-C
// and Ctrl-Z still raise SIGINT and SIGTSTP).
//
// Ctrl-L asks the owner to redraw (redrawRequested), Ctrl-D at an empty line is the end of
// input, and libedit's other emacs keys work as in a shell.

#include <termios.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct editline;
struct history;

namespace platform {

class LineEditor {
public:
    struct Options {
        int inputFd = 0;
        int outputFd = 1;
        std::filesystem::path historyFile;  // empty: no history kept across runs
        size_t historySize = 1000;
    };

    // What Tab offers for the text before the cursor: replace its last `replaceBytes` bytes by
    // one of the candidates. A unique candidate gets its suffix too (a space, or " > " after a
    // submenu).
    struct Candidate {
        std::string text;
        std::string suffix = " ";
    };
    struct Completion {
        size_t replaceBytes = 0;
        std::vector<Candidate> candidates;
    };
    using Completer = std::function<Completion(const std::string& beforeCursor)>;

    enum class Event {
        None,          // keys taken, the line is not finished
        Line,          // a line is finished: line()
        EndOfInput,    // Ctrl-D at an empty line
        Hangup,        // the terminal went away
        RedrawWanted,  // Ctrl-L
    };

    explicit LineEditor(Options options);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // The history file: $XDG_DATA_HOME/zandrel/history, else ~/.local/share/zandrel/history;
    // empty when neither folder is known.
    static std::filesystem::path defaultHistoryFile();

    void setCompleter(Completer completer) { m_completer = std::move(completer); }

    // Shows `prompt` with an empty line and takes keys from now on.
    void begin(const std::string& prompt);
    bool isActive() const { return m_active; }
    // Takes the keys waiting (call when the input is readable). Each event ends the line's
    // editing, except None and RedrawWanted.
    Event readKeys();
    const std::string& line() const { return m_line; }

    // The text typed so far on the active line.
    std::string currentText() const;
    // Takes the prompt and the line off the screen and puts the terminal in its normal mode, so
    // other output can be written; show() puts them back as they were.
    void hide();
    void show();
    bool isHidden() const { return m_hidden; }
    // Drops the text typed so far and shows an empty line again (Ctrl-C).
    void clearLine();
    // Draws the prompt and line again after the terminal was resized or continued.
    void refresh();
    // The terminal as it was before the editor started (for a stop with Ctrl-Z), and back to
    // holding keys afterwards.
    void restoreTerminal();
    void holdKeys();

    // Adds a line to the history and writes the file. Blank lines and lines starting with a
    // space are left out (as shells do, so something can be typed without being kept).
    void addToHistory(const std::string& line);
    std::vector<std::string> historyEntries() const;
    // Why the history file could not be read or written; empty when all went well.
    const std::string& historyProblem() const { return m_historyProblem; }

private:
    static unsigned char completeKey(editline* el, int key);
    static unsigned char redrawKey(editline* el, int key);
    static const char* promptText(editline* el);
    unsigned char complete();
    void finishLine();
    void loadHistory();
    void saveHistory();
    void writeOut(const std::string& text);

    Options m_options;
    // The terminal's mode before the editor changed it: restored at the end and for a stop.
    std::optional<termios> m_savedMode;
    editline* m_el = nullptr;
    history* m_history = nullptr;
    FILE* m_in = nullptr;
    FILE* m_out = nullptr;
    std::string m_prompt;
    std::string m_line;
    bool m_active = false;
    bool m_hidden = false;
    bool m_redrawWanted = false;
    bool m_historyWritable = true;
    std::string m_hiddenText;
    size_t m_hiddenCursorFromEnd = 0;  // characters
    std::string m_historyProblem;
    Completer m_completer;
};

}  // namespace platform
