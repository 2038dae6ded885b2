#include "platform/ui/TerminalFrontEnd.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalDrawing.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/TextField.h"

namespace platform {

namespace {

std::string joinWords(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
    return text;
}

bool isNumber(const std::string& s) {
    return !s.empty() && s.size() < 10 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const std::vector<std::string>& commandNames() {
    static const std::vector<std::string> names{"answer", "close",  "help", "menu", "next", "prev",   "press",
                                                "quit",   "select", "show", "tick", "type", "windows"};
    return names;
}

// Lines longer than this (a paste gone wrong, a file that is not a script) are refused whole,
// never kept growing in memory.
constexpr size_t kMaxLineBytes = 64 * 1024;
constexpr size_t kMaxPageRows = 1000;
constexpr std::string_view kTooLongMarker = "\x01";

}  // namespace

// ---------------------------------------------------------------- set-up

size_t TerminalFrontEnd::measureWidth(int outputFd) {
    winsize size{};
    if (::ioctl(outputFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        std::string text(columns);
        if (isNumber(text) && std::stoul(text) > 0) return std::min<size_t>(std::stoul(text), 1000);
    }
    return 80;
}

namespace {}  // namespace

TerminalFrontEnd::TerminalFrontEnd() : TerminalFrontEnd(Options{}) {}

TerminalFrontEnd::TerminalFrontEnd(Options options) : m_options(std::move(options)) {
    m_interactive = m_options.interactive.value_or(::isatty(m_options.inputFd) == 1);
    m_width = std::max<size_t>(m_options.width.value_or(measureWidth(m_options.outputFd)), 20);
    bool editing = m_options.lineEditing.value_or(m_interactive && ::isatty(m_options.inputFd) == 1 &&
                                                  ::isatty(m_options.outputFd) == 1);
    if (editing) {
        LineEditor::Options editorOptions;
        editorOptions.inputFd = m_options.inputFd;
        editorOptions.outputFd = m_options.outputFd;
        editorOptions.historyFile = m_options.historyFile;
        try {
            m_editor = std::make_unique<LineEditor>(editorOptions);
            m_editor->setCompleter([this](const std::string& before) { return completions(before); });
        } catch (const std::exception& e) {
            // Plain lines still work: better than no host at all.
            write(fmt::format("(line editing is not available: {}; reading plain lines)\n", e.what()));
            m_editor.reset();
        }
    }
}

TerminalFrontEnd::~TerminalFrontEnd() {
    stop();
}

void TerminalFrontEnd::start() {
    if (m_running) return;
    m_running = true;
    Application::shared().setFrontEnd(this);
    RunLoop::main().addSource(this, kCommonModes);
    m_dirty = true;
    redraw();
    prompt();
}

void TerminalFrontEnd::stop() {
    m_running = false;
    if (m_editor && m_editor->isActive()) m_editor->hide();
    RunLoop::main().removeSource(this);
    if (Application::shared().frontEnd() == this) Application::shared().setFrontEnd(nullptr);
}

// ---------------------------------------------------------------- output

void TerminalFrontEnd::write(std::string_view text) {
    if (text.empty()) return;
    if (m_editor && m_editor->isActive() && !m_editor->isHidden()) {
        // Output while a line is being typed: the line steps aside and comes back below it.
        m_editor->hide();
        m_showEditor = true;
    }
    while (!text.empty()) {
        ssize_t n = ::write(m_options.outputFd, text.data(), text.size());
        if (n > 0) {
            text.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{m_options.outputFd, POLLOUT, 0};
            ::poll(&out, 1, 1000);
        } else {
            return;  // the reader went away: nothing sensible is left to do with the text
        }
    }
}

void TerminalFrontEnd::writeError(std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(m_options.errorFd, text.data(), text.size());
        if (n > 0)
            text.remove_prefix(static_cast<size_t>(n));
        else if (!(n < 0 && errno == EINTR))
            return;
    }
}

void TerminalFrontEnd::prompt() {
    if (!m_interactive || !m_running || reachedEndOfInput() || m_terminating) return;
    if (alertJustAnswered()) return;  // the prompt follows the redraw once it has gone
    const char* text = m_alerts.empty() ? "> " : "answer> ";
    if (!m_editor) {
        write(text);
        return;
    }
    if (!m_historyProblemSaid && !m_editor->historyProblem().empty()) {
        m_historyProblemSaid = true;
        write(fmt::format("({})\n", m_editor->historyProblem()));
    }
    m_showEditor = false;
    m_editor->begin(text);
}

bool TerminalFrontEnd::alertJustAnswered() const {
    return !m_alerts.empty() && m_alerts.back()->answer;
}

void TerminalFrontEnd::redraw() {
    m_dirty = false;
    write(renderScreen());
}

std::string TerminalFrontEnd::renderScreen() const {
    std::string out;
    if (auto key = Application::shared().keyWindow()) {
        RenderOptions options;
        options.width = m_width;
        options.tablePageRows = m_tablePageRows;
        for (const auto& [view, first] : m_tableFirstRow) options.tableFirstRow[view] = first;
        // Views placed by constraints are drawn where the solver puts them.
        key->layoutIfNeeded();
        out = TerminalRenderer::renderWindow(*key, options);
    } else {
        out = "(no window is open; \"menu\" lists the commands)\n";
    }
    if (!m_alerts.empty() && !m_alerts.back()->answer)
        out += TerminalRenderer::renderAlert(m_alerts.back()->request, m_width);
    return out;
}

std::string TerminalFrontEnd::helpText() {
    return "Commands (a <view> is its identifier or its number from \"show\"; numbers count from 1):\n"
           "  help                          this list\n"
           "  show                          draw the key window (and a waiting alert) again\n"
           "  show <table> <from>-<to>      show those rows of a table: show templates 21-40\n"
           "  next, prev                    the next or previous page of the table shown last\n"
           "  windows                       list the open windows, front to back\n"
           "  menu                          print the menu bar with numbered paths\n"
           "  menu <path>                   choose a command by titles, menu File > Sign Off, or by the\n"
           "                                numbers `menu` prints, menu 2.2\n"
           "  menu context                  the contextual menu of the selected table row\n"
           "  menu context > <title>        choose one of its items by title or number\n"
           "  select <view> <item>          choose a pop-up item by title or number, or a table row by "
           "number\n"
           "                                (\"none\" clears a table's selection)\n"
           "  type <view> <text...>         type into a text field (type <view> \"\" empties it); the text "
           "is\n"
           "                                being edited until the field gives up focus\n"
           "  press <view|button title>     click a button\n"
           "  tick <view>                   click a check box\n"
           "  tick <table> <row> [<column>] tick or untick a table's check-box cell (the column by\n"
           "                                identifier, title or number, when the table has several)\n"
           "  close                         close the key window (its open popover first)\n"
           "  answer <number|button title>  answer the alert that is waiting (Enter: its default button)\n"
           "  quit                          close modal windows and quit\n"
           "Double quotes keep spaces (\"New name\") and allow an empty text (\"\"); inside them \\\" is a "
           "quote.\n"
           "Titles match exactly, ignoring case, or by a unique beginning; \"...\" stands for \"\u2026\".\n"
           "At a terminal: Tab completes, Up recalls earlier lines, Ctrl-L draws again, Ctrl-C drops the\n"
           "line or cancels the dialog (twice at an empty prompt: quit), Ctrl-D is quit.\n";
}

bool TerminalFrontEnd::openURL(const std::string& url) {
    // A terminal cannot show a web page; the person opens the address themselves.
    write(fmt::format("Open this address in a web browser: {}\n", url));
    return true;
}

// ---------------------------------------------------------------- alerts

int TerminalFrontEnd::runAlert(const AlertRequest& alert) {
    // Drawn once: the window as it is now, then the alert, then the prompt.
    if (m_dirty && m_running && !reachedEndOfInput() && !m_terminating) redraw();
    write(TerminalRenderer::renderAlert(alert, m_width));
    if (reachedEndOfInput() || !m_running || m_terminating) {
        // Nobody is there to answer: an offer is declined, never accepted on their behalf.
        AlertButton declined = decliningButton(alert);
        write(fmt::format("({}: answering \"{}\")\n", unansweredCause(), printable(declined.title)));
        return declined.returnValue;
    }
    PendingAlert pending{alert, std::nullopt};
    m_alerts.push_back(&pending);
    prompt();
    try {
        RunLoop::main().runUntil(RunLoopMode::Modal, [&] { return pending.answer.has_value(); });
    } catch (...) {
        std::erase(m_alerts, &pending);
        throw;
    }
    std::erase(m_alerts, &pending);
    // An "answer>" line still open (the alert was answered by Ctrl-C) is not the next prompt.
    if (m_editor && m_editor->isActive()) {
        m_editor->hide();
        m_showEditor = false;
    }
    m_dirty = true;
    return *pending.answer;
}

// ---------------------------------------------------------------- input

void TerminalFrontEnd::collectPollFds(std::vector<pollfd>& fds) {
    if (m_eof || m_terminating) return;
    // With the editor, keys are taken only while a prompt is up: typed ahead, they wait.
    if (m_editor && !(m_editor->isActive() && !m_editor->isHidden() && m_lines.empty())) return;
    fds.push_back({m_options.inputFd, POLLIN, 0});
}

std::optional<std::chrono::milliseconds> TerminalFrontEnd::maxWait() {
    // A command waiting, the end of input still being handled, or something to draw: no sleep.
    if (m_finishing || m_showEditor || m_resized || !m_lines.empty() ||
        m_input.find('\n') != std::string::npos || (m_eof && !m_input.empty()))
        return std::chrono::milliseconds::zero();
    if (m_editor && !m_editor->isActive() && m_commandDepth == 0 && m_running && !m_eof)
        return std::chrono::milliseconds::zero();  // the prompt is due
    return std::nullopt;
}

void TerminalFrontEnd::readInput(std::span<const pollfd> polled) {
    if (m_eof || polled.empty() || !(polled[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return;
    char buffer[4096];
    ssize_t n = ::read(m_options.inputFd, buffer, sizeof buffer);
    if (n > 0) {
        m_input.append(buffer, static_cast<size_t>(n));
        m_endOfInputKeys = 0;
    } else if (n == 0 && m_interactive && ::isatty(m_options.inputFd) == 1 &&
               !(polled[0].revents & POLLHUP)) {
        endOfInputKey();  // Ctrl-D at a terminal in its normal mode: the terminal is still there
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
        m_eof = true;
    }
    // A line that never ends is refused, not kept: its bytes are dropped up to its line feed and
    // a marker takes its place, so it still counts (and fails) as a line.
    if (m_skippingLongLine) {
        size_t end = m_input.find('\n');
        if (end == std::string::npos && !m_eof) {
            m_input.clear();
            return;
        }
        m_input.erase(0, end == std::string::npos ? m_input.size() : end);
        m_input.insert(0, kTooLongMarker);
        m_skippingLongLine = false;
    }
    size_t lastEnd = m_input.rfind('\n');
    size_t partial = lastEnd == std::string::npos ? m_input.size() : m_input.size() - lastEnd - 1;
    if (partial > kMaxLineBytes) {
        m_input.resize(m_input.size() - partial);
        m_skippingLongLine = true;
    }
}

void TerminalFrontEnd::readEditor(std::span<const pollfd> polled) {
    if (polled.empty() || !m_editor->isActive() || m_editor->isHidden()) return;
    if (!(polled[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return;
    switch (m_editor->readKeys()) {
        case LineEditor::Event::Line:
            m_endOfInputKeys = 0;
            m_interrupts = 0;
            m_lines.push_back(m_editor->line());
            // Commands are worth recalling; answers to one alert are not.
            if (m_alerts.empty()) m_editor->addToHistory(m_editor->line());
            break;
        case LineEditor::Event::EndOfInput:
            write("\n");
            endOfInputKey();
            break;
        case LineEditor::Event::Hangup:
            m_eof = true;
            break;
        case LineEditor::Event::RedrawWanted:
            m_editor->hide();
            write("\x1b[H\x1b[2J");  // clear the screen, then everything drawn anew
            write(renderScreen());
            m_dirty = false;
            m_editor->show();
            m_showEditor = false;
            break;
        case LineEditor::Event::None:
            break;
    }
}

void TerminalFrontEnd::endOfInputKey() {
    // A terminal that keeps answering "end of input" without anyone typing has gone away; a
    // person pressing Ctrl-D while a save fails does not press it a thousand times.
    if (++m_endOfInputKeys > 1000) {
        m_eof = true;
        return;
    }
    if (!m_alerts.empty()) {
        write("An alert is waiting: answer it first (Enter takes its default button).\n");
        if (!m_editor) prompt();
        return;
    }
    write("(end of input: quitting)\n");
    commandQuit();
    if (!m_editor && !m_quitCalled && !m_finishing) prompt();  // the editor's comes after the redraw
}

std::optional<std::string> TerminalFrontEnd::takeLine() {
    if (!m_lines.empty()) {
        std::string line = std::move(m_lines.front());
        m_lines.pop_front();
        return line;
    }
    size_t end = m_input.find('\n');
    if (end == std::string::npos) {
        if (!m_eof || m_input.empty()) return std::nullopt;
        end = m_input.size();  // the last line had no line feed
    }
    std::string line = m_input.substr(0, end);
    m_input.erase(0, std::min(end + 1, m_input.size()));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++m_lineNumber;
    return line;
}

void TerminalFrontEnd::perform(std::span<const pollfd> polled) {
    if (m_resized) {
        m_resized = false;
        m_width = std::max<size_t>(m_options.width.value_or(measureWidth(m_options.outputFd)), 20);
        if (m_running && !m_quitCalled) redraw();
        if (m_editor) m_editor->refresh();
    }
    if (m_editor)
        readEditor(polled);
    else
        readInput(polled);
    if (!m_terminating && !m_failedLine) {
        if (auto line = takeLine()) {
            bool ok;
            if (*line == kTooLongMarker) {
                ok = fail(fmt::format("A line longer than {} KiB was not run.", kMaxLineBytes / 1024));
            } else {
                if (!m_interactive) write(fmt::format("> {}\n", printable(*line)));
                ok = execute(*line);
            }
            if (!ok && !m_interactive) stopScript(*line);
            if (m_dirty && !alertJustAnswered() && !m_failedLine) redraw();
            if (m_input.find('\n') == std::string::npos && m_lines.empty()) prompt();
            showEditorAgain();
            return;
        }
    }
    if (m_eof && !m_finishing && !m_quitCalled && !m_terminating && !m_failedLine) {
        write("(end of input)\n");
        m_finishing = true;
    }
    continueFinishing();
    if (m_dirty && m_running && !alertJustAnswered() && !m_failedLine && !m_terminating) redraw();
    // The prompt after something other than a command (a dialog Ctrl-C cancelled, an alert from
    // a timer) went away.
    if (m_editor && !m_editor->isActive() && m_commandDepth == 0 && m_lines.empty()) prompt();
    showEditorAgain();
}

void TerminalFrontEnd::showEditorAgain() {
    // Last, after everything drawn in this pass: the prompt comes after the output.
    if (!m_showEditor || !m_editor) return;
    m_showEditor = false;
    if (m_running && !m_terminating) m_editor->show();
}

std::string TerminalFrontEnd::noteLine(std::string_view text) const {
    // Without the editor the cursor sits after the prompt (or ^C the terminal echoed): the note
    // starts on a line of its own. The editor clears the prompt line itself.
    return fmt::format("{}{}\n", m_editor ? "" : "\n", text);
}

void TerminalFrontEnd::stopScript(const std::string& line) {
    if (m_failedLine) return;
    m_failedLine = m_lineNumber;
    std::string why = m_lastError.empty() ? std::string("the command failed") : m_lastError;
    writeError(fmt::format("line {}: {}: {}\n", m_lineNumber, printable(line), why));
    write(fmt::format("(stopped at line {}: the rest of the script is not run)\n", m_lineNumber));
    m_eof = true;
    m_input.clear();
    m_lines.clear();
    if (!m_quitCalled) m_finishing = true;
}

std::string TerminalFrontEnd::unansweredCause() const {
    if (m_terminating) return "terminated by a signal";
    if (m_failedLine) return fmt::format("the script stopped at line {}", *m_failedLine);
    if (m_quitCalled) return "quitting";
    return "no more input";
}

void TerminalFrontEnd::terminate() {
    if (m_terminating) return;
    m_terminating = true;
    write("(terminated by signal: saving and quitting)\n");
    m_eof = true;
    m_input.clear();
    m_lines.clear();
    if (m_editor && m_editor->isActive()) m_editor->hide();
    m_showEditor = false;
    if (!m_quitCalled) m_finishing = true;
}

void TerminalFrontEnd::interrupt() {
    if (m_terminating || m_quitCalled || !m_running) return;
    if (m_editor && m_editor->isActive() && !m_editor->currentText().empty()) {
        m_editor->clearLine();  // as a shell does: the line is dropped, a fresh prompt
        m_interrupts = 0;
        return;
    }
    if (!m_alerts.empty() && !m_alerts.back()->answer) {
        // The button that cancels: one titled so, else the alternate; an alert with one button
        // can only be acknowledged.
        PendingAlert& alert = *m_alerts.back();
        AlertButton chosen = decliningButton(alert.request);
        write(noteLine(fmt::format("(Ctrl-C: answering \"{}\")", printable(chosen.title))));
        alert.answer = chosen.returnValue;
        m_interrupts = 0;
        return;
    }
    auto key = Application::shared().keyWindow();
    if (key && (key->isSheet() || key == Application::shared().modalWindow())) {
        std::shared_ptr<Button> cancel;
        for (const auto& view : visibleViews(*key)) {
            auto button = std::dynamic_pointer_cast<Button>(view);
            if (button && button->isEnabled() && button->keyEquivalent() == "\x1b") cancel = button;
        }
        if (!cancel) cancel = findVisibleButton(*key, "Cancel");
        if (cancel && cancel->isEnabled()) {
            write(noteLine(fmt::format("(Ctrl-C: pressing \"{}\")", printable(cancel->title()))));
            m_dirty = true;
            m_interrupts = 0;
            cancel->performClick();
            return;
        }
    }
    if (m_interrupts == 0) {
        m_interrupts = 1;
        write(noteLine("(Ctrl-C again at an empty prompt quits, as \"quit\" does)"));
        if (!m_editor) prompt();
        return;
    }
    m_interrupts = 0;
    write(noteLine("(Ctrl-C: quitting)"));
    commandQuit();
}

void TerminalFrontEnd::suspend() {
    if (m_editor && m_editor->isActive()) m_editor->hide();
    if (m_editor) m_editor->restoreTerminal();  // the shell gets the terminal as it gave it
    m_showEditor = false;
}

void TerminalFrontEnd::resume() {
    if (m_editor && m_editor->isActive()) {
        if (m_editor->isHidden())
            m_editor->show();
        else
            m_editor->refresh();  // whatever happened to the screen meanwhile, the line is drawn again
        return;
    }
    if (m_editor) m_editor->holdKeys();
    if (!m_editor && m_interactive && m_commandDepth == 0) prompt();
}

void TerminalFrontEnd::terminalResized() {
    m_resized = true;
}

void TerminalFrontEnd::continueFinishing() {
    if (!m_finishing) return;
    // Waiting alerts are declined; their loops return on the next pass.
    bool answered = false;
    for (auto* alert : m_alerts) {
        if (alert->answer) continue;
        AlertButton declined = decliningButton(alert->request);
        write(fmt::format("({}: alert \"{}\" answered \"{}\")\n", unansweredCause(),
                          printable(alert->request.title), printable(declined.title)));
        alert->answer = declined.returnValue;
        answered = true;
    }
    if (answered || !m_alerts.empty()) return;
    // Then modal windows close, innermost first, one per pass so each loop can return.
    if (auto modal = Application::shared().modalWindow()) {
        bool tried = std::any_of(m_closedAtFinish.begin(), m_closedAtFinish.end(),
                                 [&](const auto& w) { return w.lock() == modal; });
        if (!tried) {
            write(fmt::format("(closing the modal window {})\n", TerminalRenderer::windowName(*modal)));
            m_closedAtFinish.push_back(modal);
            modal->close();
            return;
        }
        write(fmt::format("(the modal window {} did not end its modal loop when closed)\n",
                          TerminalRenderer::windowName(*modal)));
    }
    if (m_quitCalled) return;
    m_finishing = false;
    m_closedAtFinish.clear();
    // Still reading while the handler runs, so an alert it shows (a failed save) can be answered.
    bool quitting = !m_quitHandler || m_quitHandler() || m_eof || m_terminating;
    if (!quitting) {
        write("(not quitting: the host refused; see above)\n");
        return;
    }
    m_quitCalled = true;
    if (m_editor && m_editor->isActive()) m_editor->hide();
    m_showEditor = false;
    // Stays the front end, so alerts shown while the host shuts down still appear (and take
    // their default button).
    m_running = false;
    RunLoop::main().removeSource(this);
}

// ---------------------------------------------------------------- commands

std::optional<std::vector<std::string>> TerminalFrontEnd::splitWords(const std::string& line,
                                                                     std::string& error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
                word += line[++i];
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) {
        error = "a double quote is not closed: end the text with \"";
        return std::nullopt;
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

bool TerminalFrontEnd::fail(const std::string& message) {
    m_lastError = message;
    write(message + "\n");
    return false;
}

bool TerminalFrontEnd::execute(const std::string& line) {
    std::string error;
    auto words = splitWords(line, error);
    if (!words) return fail(fmt::format("Cannot read that command: {}.", error));
    if (words->empty()) {
        // Enter at the "answer>" prompt of a terminal takes the default button.
        if (m_interactive && !m_alerts.empty() && !m_alerts.back()->answer) {
            m_alerts.back()->answer = kAlertDefaultReturn;
            return true;
        }
        return true;
    }
    ++m_commandDepth;
    bool ok = false;
    try {
        ok = runCommand(*words);
    } catch (const std::exception& e) {
        ok = fail(fmt::format("The command \"{}\" failed: {}", printable((*words)[0]), printable(e.what())));
    }
    --m_commandDepth;
    // Commands run from inside a dialog another command opened complete with that command.
    // Not again from a command typed while the hook itself waits (an alert it showed).
    if (m_commandDepth == 0 && m_afterCommand && !m_inAfterCommand) {
        m_inAfterCommand = true;
        m_afterCommand();
        m_inAfterCommand = false;
    }
    return ok;
}

bool TerminalFrontEnd::runCommand(const std::vector<std::string>& words) {
    std::string command = lower(words[0]);
    bool alertWaiting = !m_alerts.empty();
    if (command == "help" || command == "?") {
        write(helpText());
    } else if (command == "show") {
        return commandShow(words);
    } else if (command == "windows") {
        write(TerminalRenderer::renderWindowList());
    } else if (command == "answer") {
        return commandAnswer(words);
    } else if (command == "menu" && words.size() == 1) {
        auto menu = Application::shared().mainMenu();
        if (!menu) return fail("The application has no menu bar.");
        write(TerminalRenderer::renderMenuBar(*menu));
    } else if (alertWaiting &&
               (command == "menu" || command == "select" || command == "type" || command == "press" ||
                command == "tick" || command == "close" || command == "quit" || command == "exit" ||
                command == "next" || command == "prev")) {
        return fail(
            "An alert is waiting: answer it first with \"answer <number|button title>\" (\"show\" draws it "
            "again).");
    } else if (command == "menu") {
        return commandMenu(words);
    } else if (command == "select") {
        return commandSelect(words);
    } else if (command == "type") {
        return commandType(words);
    } else if (command == "press") {
        return commandPress(words);
    } else if (command == "tick") {
        return commandTick(words);
    } else if (command == "close") {
        return commandClose();
    } else if (command == "next" || command == "prev") {
        return commandPage(command == "next" ? 1 : -1);
    } else if (command == "quit" || command == "exit") {
        commandQuit();
    } else if (alertWaiting) {
        // At the "answer>" prompt a bare button number or title is the answer.
        std::vector<std::string> answer{"answer"};
        answer.insert(answer.end(), words.begin(), words.end());
        return commandAnswer(answer);
    } else {
        std::string nearest = nearestTitle(commandNames(), words[0]);
        return fail(fmt::format("Unknown command \"{}\"{}: type \"help\" for the list of commands.",
                                printable(words[0]),
                                nearest.empty() ? "" : fmt::format(" (did you mean \"{}\"?)", nearest)));
    }
    return true;
}

void TerminalFrontEnd::commandQuit() {
    if (m_quitCalled || m_finishing) return;
    write("(quitting)\n");
    m_finishing = true;
    continueFinishing();
}

std::shared_ptr<Window> TerminalFrontEnd::keyWindowOrSay() {
    auto found = lookUpKeyWindow();
    if (!found.window) fail(found.error);
    return found.window;
}

std::shared_ptr<View> TerminalFrontEnd::viewOrSay(const Window& window, const std::string& ref) {
    auto found = lookUpView(window, ref, TerminalRenderer::windowName(window));
    if (!found.view) fail(found.error);
    return found.view;
}

bool TerminalFrontEnd::commandMenu(const std::vector<std::string>& words) {
    if (isContextPath(joinWords(words, 1))) return commandContextMenu(joinWords(words, 1));
    auto menu = Application::shared().mainMenu();
    if (!menu) return fail("The application has no menu bar.");
    std::string path = joinWords(words, 1);
    MenuLookup found;
    bool numeric = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
    });
    if (numeric) {
        std::vector<int> numbers;
        size_t start = 0;
        while (start <= path.size()) {
            size_t dot = path.find('.', start);
            std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            if (!isNumber(part))
                return fail(fmt::format("\"{}\" is not a menu number such as 2.1.1: see \"menu\".", path));
            numbers.push_back(std::stoi(part));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        found = findMenuItem(*menu, numbers);
    } else {
        found = findMenuItem(*menu, splitMenuPath(path));
    }
    if (!found.item)
        return fail(fmt::format("No menu command \"{}\": {}. Type \"menu\" to see them all.", printable(path),
                                found.error));
    if (found.item->hasSubmenu()) {
        std::string titles;
        for (const auto& item : numberedItems(*found.item->submenu()))
            titles += (titles.empty() ? "" : ", ") + item->title();
        return fail(
            fmt::format("\"{}\" is a submenu; choose one of its commands: {}.", found.item->title(), titles));
    }
    if (!found.item->isEnabled())
        return fail(fmt::format("The menu command \"{}\" is disabled right now.", found.item->title()));
    m_dirty = true;
    if (!found.item->performAction())
        return fail(fmt::format("Nobody handled the menu command \"{}\".", found.item->title()));
    return true;
}

bool TerminalFrontEnd::isContextPath(const std::string& path) {
    auto titles = splitMenuPath(path);
    return !titles.empty() && lower(titles.front()) == "context";
}

bool TerminalFrontEnd::commandContextMenu(const std::string& path) {
    auto window = keyWindowOrSay();
    if (!window) return false;
    auto found = contextualMenuOfSelectedRow(*window);
    if (!found.menu)
        return fail(
            fmt::format("No contextual menu in {}: {}.", TerminalRenderer::windowName(*window), found.error));
    std::string rowName = printable(found.table->valueAt(0, found.row).description());
    auto titles = splitMenuPath(path);
    titles.erase(titles.begin());
    if (titles.empty()) {
        write(TerminalRenderer::renderMenu(
            *found.menu,
            fmt::format("Contextual menu of row {} of \"{}\" ({}):", found.row + 1,
                        printable(found.table->identifier()), rowName),
            m_width));
        return true;
    }
    // Titles first, as for the menu bar; an item number when the path is one number.
    MenuLookup item = findMenuItem(*found.menu, titles);
    if (!item.item && titles.size() == 1 && isNumber(titles.front())) {
        MenuLookup numbered = findMenuItem(*found.menu, std::vector<int>{std::stoi(titles.front())});
        if (numbered.item) item = numbered;
    }
    if (!item.item)
        return fail(
            fmt::format("The contextual menu of row {} has {}: \"menu context\" lists it.", found.row + 1,
                        item.error.starts_with("no ") ? item.error : "no such item (" + item.error + ")"));
    if (item.item->hasSubmenu())
        return fail(
            fmt::format("\"{}\" is a submenu; choose one of its items.", printable(item.item->title())));
    if (!item.item->isEnabled())
        return fail(
            fmt::format("The contextual menu item \"{}\" is disabled: nothing carries it out for row {} "
                        "({}).",
                        printable(item.item->title()), found.row + 1, rowName));
    m_dirty = true;
    if (!item.item->performAction())
        return fail(
            fmt::format("Nobody handled the contextual menu item \"{}\".", printable(item.item->title())));
    return true;
}

std::shared_ptr<View> TerminalFrontEnd::commandView(const std::vector<std::string>& words, size_t minWords,
                                                    const char* usage) {
    if (words.size() < minWords) {
        fail(fmt::format("Usage: {}", usage));
        return nullptr;
    }
    auto window = keyWindowOrSay();
    return window ? viewOrSay(*window, words[1]) : nullptr;
}

bool TerminalFrontEnd::commandSelect(const std::vector<std::string>& words) {
    auto view = commandView(words, 3, "select <view> <item title or number>");
    if (!view) return false;
    std::string item = joinWords(words, 2);
    m_dirty = true;
    if (auto popUp = std::dynamic_pointer_cast<PopUpButton>(view)) {
        auto titles = popUp->itemTitles();
        // A title first: a template may well be named "2".
        TitleMatch match = matchTitle(titles, item, "item");
        std::optional<size_t> index = match.index;
        if (!index && isNumber(item) && std::stoul(item) >= 1 && std::stoul(item) <= titles.size())
            index = std::stoul(item) - 1;
        if (!index)
            return fail(fmt::format("The pop-up \"{}\": {}. Give a title or a number from 1 to {}.",
                                    printable(words[1]), match.error, titles.size()));
        if (!popUp->chooseItemAtIndex(static_cast<int64_t>(*index)))
            return fail(fmt::format("The pop-up \"{}\" is disabled.", printable(words[1])));
        return true;
    }
    if (auto table = std::dynamic_pointer_cast<TableView>(view)) {
        size_t rows = table->numberOfRows();
        if (lower(item) == "none")
            table->selectRow(-1);
        else if (isNumber(item) && std::stoul(item) >= 1 && std::stoul(item) <= rows)
            table->selectRow(static_cast<int64_t>(std::stoul(item)) - 1);
        else
            return fail(
                fmt::format("The table \"{}\" has no row \"{}\": give a number from 1 to {}, or none.",
                            printable(words[1]), printable(item), rows));
        return true;
    }
    return fail(fmt::format("\"{}\" is a {}: select works on pop-ups and tables.", printable(words[1]),
                            TerminalRenderer::describeView(*view).first));
}

bool TerminalFrontEnd::commandType(const std::vector<std::string>& words) {
    auto view = commandView(words, 2, "type <view> <text...>   (type <view> \"\" to empty the field)");
    if (!view) return false;
    auto field = std::dynamic_pointer_cast<TextField>(view);
    if (!field)
        return fail(fmt::format("\"{}\" is a {}, not a text field.", printable(words[1]),
                                TerminalRenderer::describeView(*view).first));
    std::string text = joinWords(words, 2);
    if (TextField::findUntypable(text))
        return fail(
            fmt::format("Not typed: \"{}\" holds control characters or bytes that are not UTF-8 "
                        "(shown escaped); type the text without them.",
                        printable(text)));
    m_dirty = true;
    if (!field->typeText(text))
        return fail(fmt::format("\"{}\" cannot be typed into ({}).", printable(words[1]),
                                field->isEditable() ? "it is disabled" : "it is a label"));
    return true;
}

bool TerminalFrontEnd::commandPress(const std::vector<std::string>& words) {
    if (words.size() < 2) return fail("Usage: press <view|button title>");
    auto window = keyWindowOrSay();
    if (!window) return false;
    std::string ref = joinWords(words, 1);
    // An identifier names one view for sure; then titles by the usual rules; then numbers.
    std::shared_ptr<View> view = findVisibleView(*window, ref);
    std::shared_ptr<Button> button = view ? nullptr : findVisibleButton(*window, ref);
    if (!view && !button) {
        if (!isNumber(!ref.empty() && ref[0] == '#' ? ref.substr(1) : ref)) {
            std::vector<std::string> titles;
            for (const auto& v : visibleViews(*window))
                if (auto b = std::dynamic_pointer_cast<Button>(v)) titles.push_back(b->title());
            return fail(fmt::format("Window {}: {}.", TerminalRenderer::windowName(*window),
                                    matchTitle(titles, ref, "button").error));
        }
        view = viewOrSay(*window, ref);
        if (!view) return false;
    }
    if (!button) {
        button = std::dynamic_pointer_cast<Button>(view);
        if (!button)
            return fail(fmt::format("\"{}\" is a {}, not a button.", printable(ref),
                                    TerminalRenderer::describeView(*view).first));
    }
    m_dirty = true;
    if (!button->performClick())
        return fail(fmt::format("The button \"{}\" is disabled.", printable(button->title())));
    return true;
}

bool TerminalFrontEnd::commandTick(const std::vector<std::string>& words) {
    auto view = commandView(words, 2, "tick <view>, or tick <table> <row> [<column>]");
    if (!view) return false;
    if (auto table = std::dynamic_pointer_cast<TableView>(view)) return commandTickCell(*table, words);
    auto box = std::dynamic_pointer_cast<Button>(view);
    if (!box || box->kind() != Button::Kind::CheckBox)
        return fail(fmt::format("\"{}\" is a {}, not a check box{}.", printable(words[1]),
                                TerminalRenderer::describeView(*view).first, box ? ": use press" : ""));
    m_dirty = true;
    if (!box->performClick())
        return fail(fmt::format("The check box \"{}\" is disabled.", printable(box->title())));
    return true;
}

bool TerminalFrontEnd::commandTickCell(TableView& table, const std::vector<std::string>& words) {
    auto cell = lookUpCheckBoxCell(table, words);
    if (!cell.error.empty()) return fail(cell.error);
    std::string name = printable(words[1]);
    if (!table.isEnabled()) return fail(fmt::format("The table \"{}\" is disabled.", name));
    m_dirty = true;
    // The box as drawn: another host's change since then shows at the next draw, not in the tick.
    if (!table.toggleCheckBoxAt(cell.column, cell.row))
        return fail(fmt::format("Row {} of the table \"{}\" cannot be changed.", cell.row + 1, name));
    return true;
}

bool TerminalFrontEnd::commandClose() {
    auto window = keyWindowOrSay();
    if (!window) return false;
    // An open popover closes before its window, as Escape would close it.
    if (TerminalDrawing::closeFrontmostPopover(*window)) {
        m_dirty = true;
        return true;
    }
    if (!window->isClosable())
        return fail(fmt::format("The window {} has no close control: use its buttons.",
                                TerminalRenderer::windowName(*window)));
    m_dirty = true;
    window->performClose();
    return true;
}

bool TerminalFrontEnd::commandAnswer(const std::vector<std::string>& words) {
    if (m_alerts.empty()) return fail("No alert is waiting for an answer.");
    PendingAlert& alert = *m_alerts.back();
    auto buttons = alertButtons(alert.request);
    std::string choice = joinWords(words, 1);
    std::optional<int> value = alertReturnForTitle(alert.request, choice);
    if (!value && isNumber(choice) && std::stoul(choice) >= 1 && std::stoul(choice) <= buttons.size())
        value = buttons[std::stoul(choice) - 1].returnValue;
    if (!value) {
        std::vector<std::string> titles, numbered;
        for (size_t i = 0; i < buttons.size(); ++i) {
            titles.push_back(buttons[i].title);
            numbered.push_back(fmt::format("{}) {}", i + 1, buttons[i].title));
        }
        std::string why = matchTitle(titles, choice, "button").error;
        if (why.starts_with("no ")) why = "has " + why;  // "The alert has no button ..."
        return fail(fmt::format("{}: answer with a button number or title: {}.",
                                choice.empty() ? std::string("Which button?") : "The alert " + why,
                                fmt::join(numbered, "  ")));
    }
    alert.answer = value;
    return true;
}

bool TerminalFrontEnd::commandShow(const std::vector<std::string>& words) {
    if (auto key = Application::shared().keyWindow())
        NotificationCenter::defaultCenter().post(kWindowWillShowContentsNotification, key);
    if (words.size() == 1) {
        redraw();
        return true;
    }
    auto view = commandView(words, 2, "show [<table> [<from>-<to>]]");
    if (!view) return false;
    auto table = std::dynamic_pointer_cast<TableView>(view);
    if (!table)
        return fail(fmt::format("\"{}\" is a {}: pages are shown of tables.", printable(words[1]),
                                TerminalRenderer::describeView(*view).first));
    size_t rows = table->numberOfRows();
    size_t first = 1, last = m_tablePageRows;
    if (words.size() >= 3) {
        std::string range = joinWords(words, 2);
        size_t dash = range.find('-');
        std::string from = range.substr(0, dash),
                    to = dash == std::string::npos ? "" : range.substr(dash + 1);
        if (!isNumber(from) || !isNumber(to) || std::stoul(from) < 1 || std::stoul(to) < std::stoul(from))
            return fail(fmt::format("\"{}\" is not a range of rows such as 21-40.", printable(range)));
        first = std::stoul(from);
        last = std::stoul(to);
        if (last - first + 1 > kMaxPageRows)
            return fail(fmt::format("At most {} rows are shown at once.", kMaxPageRows));
        if (first > std::max<size_t>(rows, 1))
            return fail(fmt::format("The table \"{}\" has {} rows.", printable(words[1]), rows));
        m_tablePageRows = last - first + 1;
    } else {
        first = m_tableFirstRow.count(table.get()) ? m_tableFirstRow[table.get()] + 1 : 1;
    }
    m_tableFirstRow[table.get()] = first - 1;
    m_lastTable = table;
    redraw();
    return true;
}

bool TerminalFrontEnd::commandPage(int direction) {
    auto view = m_lastTable.lock();
    auto key = Application::shared().keyWindow();
    bool visible = false;
    if (view && key)
        for (const auto& v : visibleViews(*key)) visible |= v == view;
    if (!visible) {
        view = nullptr;
        if (key)
            for (const auto& v : visibleViews(*key))
                if (std::dynamic_pointer_cast<TableView>(v)) {
                    view = v;
                    break;
                }
    }
    auto table = std::dynamic_pointer_cast<TableView>(view);
    if (!table) return fail("No table is shown: \"show <table> 1-20\" shows one.");
    m_lastTable = table;
    size_t rows = table->numberOfRows();
    size_t& first = m_tableFirstRow[table.get()];
    if (direction > 0) {
        if (first + m_tablePageRows >= rows) return fail("That is the last page of the table.");
        first += m_tablePageRows;
    } else {
        if (first == 0) return fail("That is the first page of the table.");
        first = first > m_tablePageRows ? first - m_tablePageRows : 0;
    }
    redraw();
    return true;
}

// ---------------------------------------------------------------- completion

namespace {

// The words of `text` so far and the word the cursor is in, as typed (quote included).
struct PartialLine {
    std::vector<std::string> words;
    std::vector<size_t> wordStarts;
    std::string last;  // raw text of the word being typed
};

PartialLine splitPartial(const std::string& text) {
    PartialLine out;
    std::string word;
    bool inWord = false, quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            if (c == '\\' && i + 1 < text.size())
                word += text[++i];
            else if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == '"') {
            if (!inWord) start = i;
            quoted = inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                out.words.push_back(word);
                out.wordStarts.push_back(start);
            }
            word.clear();
            inWord = false;
        } else {
            if (!inWord) start = i;
            word += c;
            inWord = true;
        }
    }
    if (inWord) out.last = text.substr(start);
    return out;
}

std::string quoteIfNeeded(const std::string& text) {
    if (!text.empty() && text.find_first_of(" \t\"\\") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string unquotePrefix(const std::string& raw) {
    if (raw.empty() || raw[0] != '"') return raw;
    std::string out;
    for (size_t i = 1; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size())
            out += raw[++i];
        else if (raw[i] != '"')
            out += raw[i];
    }
    return out;
}

bool startsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

LineEditor::Completion TerminalFrontEnd::completions(const std::string& before) const {
    LineEditor::Completion out;
    PartialLine line = splitPartial(before);
    auto key = Application::shared().keyWindow();
    bool alertWaiting = !m_alerts.empty() && !m_alerts.back()->answer;
    std::vector<std::string> buttonTitles;
    if (alertWaiting)
        for (const auto& b : alertButtons(m_alerts.back()->request)) buttonTitles.push_back(b.title);

    // Titles that may hold spaces: everything after the command's fixed words is one title.
    auto offerTitles = [&](const std::vector<std::string>& titles, size_t fromWord) {
        size_t start =
            fromWord < line.wordStarts.size() ? line.wordStarts[fromWord] : before.size() - line.last.size();
        std::string raw = before.substr(start);
        std::string typed = unquotePrefix(raw);
        out.replaceBytes = raw.size();
        for (const auto& title : titles)
            if (startsWithIgnoringCase(title, typed)) out.candidates.push_back({quoteIfNeeded(title), " "});
    };
    auto offerWords = [&](const std::vector<std::string>& words) {
        out.replaceBytes = line.last.size();
        std::string typed = unquotePrefix(line.last);
        for (const auto& word : words)
            if (startsWithIgnoringCase(word, typed)) out.candidates.push_back({quoteIfNeeded(word), " "});
    };
    auto identifiers = [&](auto&& wanted) {
        std::vector<std::string> ids;
        if (key)
            for (const auto& view : visibleViews(*key))
                if (!view->identifier().empty() && wanted(*view)) ids.push_back(view->identifier());
        return ids;
    };

    if (line.words.empty()) {
        std::vector<std::string> first = commandNames();
        first.insert(first.end(), buttonTitles.begin(), buttonTitles.end());
        offerWords(first);
        return out;
    }
    std::string command = lower(line.words[0]);
    if (command == "menu") {
        // Titles separated by ">": the part after the last one is completed.
        size_t pathStart = line.wordStarts.size() > 1 ? line.wordStarts[1] : before.size() - line.last.size();
        std::string path = before.substr(std::min(pathStart, before.size()));
        size_t gt = path.rfind('>');
        std::string head = gt == std::string::npos ? "" : path.substr(0, gt);
        std::string tail = gt == std::string::npos ? path : path.substr(gt + 1);
        size_t lead = tail.find_first_not_of(' ');
        tail = lead == std::string::npos ? "" : tail.substr(lead);
        std::shared_ptr<const Menu> current = Application::shared().mainMenu();
        auto headTitles = splitMenuPath(head);
        if (!head.empty() && isContextPath(head)) {
            // The contextual menu of the selected row stands in for the menu bar.
            auto context = key ? contextualMenuOfSelectedRow(*key) : ContextualMenuLookup{};
            current = context.menu;
            headTitles.erase(headTitles.begin());
        }
        if (!current) return out;
        if (!headTitles.empty()) {
            auto found = findMenuItem(*current, headTitles);
            if (!found.item || !found.item->hasSubmenu()) return out;
            current = found.item->submenu();
        }
        out.replaceBytes = tail.size();
        for (const auto& item : numberedItems(*current)) {
            std::string title = item->title();
            bool matches = startsWithIgnoringCase(title, tail);
            if (!matches && tail.size() >= 3 && tail.ends_with("...")) {
                std::string ellipsis = tail.substr(0, tail.size() - 3) + "\u2026";
                matches = startsWithIgnoringCase(title, ellipsis);
            }
            if (matches) out.candidates.push_back({title, item->hasSubmenu() ? " > " : ""});
        }
        if (head.empty() && startsWithIgnoringCase("context", tail) && key &&
            contextualMenuOfSelectedRow(*key).menu)
            out.candidates.push_back({"context", " > "});
        return out;
    }
    size_t complete = line.words.size();  // words finished before the one being typed
    auto isA = [](auto* pointer) { return pointer != nullptr; };
    if (command == "select" && complete == 1) {
        offerWords(identifiers([&](View& v) {
            return isA(dynamic_cast<PopUpButton*>(&v)) || isA(dynamic_cast<TableView*>(&v));
        }));
    } else if (command == "select" && complete >= 2 && key) {
        if (auto popUp = std::dynamic_pointer_cast<PopUpButton>(findVisibleView(*key, line.words[1])))
            offerTitles(popUp->itemTitles(), 2);
    } else if (command == "type" && complete == 1) {
        offerWords(identifiers([&](View& v) {
            auto* field = dynamic_cast<TextField*>(&v);
            return field && field->isEditable();
        }));
    } else if (command == "tick" && complete == 1) {
        offerWords(identifiers([&](View& v) {
            auto* button = dynamic_cast<Button*>(&v);
            auto* table = dynamic_cast<TableView*>(&v);
            return (button && button->kind() == Button::Kind::CheckBox) ||
                   (table && !checkBoxColumns(*table).empty());
        }));
    } else if (command == "tick" && complete == 3 && key) {
        // The row is a number a person reads off the screen; the column is offered.
        if (auto table = std::dynamic_pointer_cast<TableView>(findVisibleView(*key, line.words[1]))) {
            std::vector<std::string> names;
            for (size_t c : checkBoxColumns(*table)) names.push_back(table->tableColumns()[c].identifier);
            if (names.size() > 1) offerWords(names);
        }
    } else if (command == "show" && complete == 1) {
        offerWords(identifiers([&](View& v) { return isA(dynamic_cast<TableView*>(&v)); }));
    } else if (command == "press" && complete >= 1) {
        std::vector<std::string> names;
        if (key)
            for (const auto& view : visibleViews(*key))
                if (auto button = std::dynamic_pointer_cast<Button>(view)) {
                    if (!button->title().empty()) names.push_back(button->title());
                    if (complete == 1 && !view->identifier().empty()) names.push_back(view->identifier());
                }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        offerTitles(names, 1);
    } else if (command == "answer" && complete >= 1) {
        offerTitles(buttonTitles, 1);
    } else if (alertWaiting) {
        offerTitles(buttonTitles, 0);
    }
    return out;
}

}  // namespace platform
