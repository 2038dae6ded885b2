#include "platform/ui/terminal/TerminalFrontEnd.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>

#include "platform/foundation/AsciiText.h"
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
#include "platform/ui/terminal/TerminalCompletion.h"

namespace platform {

namespace {

// Lines longer than this (a paste gone wrong, a file that is not a script) are refused whole,
// never kept growing in memory.
constexpr size_t kMaxLineBytes = 64 * 1024;
constexpr std::string_view kTooLongMarker = "\x01";

}  // namespace

// ---------------------------------------------------------------- set-up

size_t TerminalFrontEnd::measureWidth(int outputFd) {
    winsize size{};
    if (::ioctl(outputFd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        std::string text(columns);
        if (AsciiText::isNumber(text) && std::stoul(text) > 0)
            return std::min<size_t>(std::stoul(text), 1000);
    }
    return 80;
}

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
        options.tablePageRows = m_interpreter.tablePageRows();
        for (const auto& [view, first] : m_interpreter.tableFirstRows()) options.tableFirstRow[view] = first;
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
        write(fmt::format("({}: answering \"{}\")\n", unansweredCause(),
                          DisplayText::printable(declined.title)));
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

LineEditor::Completion TerminalFrontEnd::completions(const std::string& beforeCursor) const {
    bool waiting = !m_alerts.empty() && !m_alerts.back()->answer;
    return completeCommandLine(beforeCursor, waiting ? &m_alerts.back()->request : nullptr);
}

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
                if (!m_interactive) write(fmt::format("> {}\n", DisplayText::printable(*line)));
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
    writeError(fmt::format("line {}: {}: {}\n", m_lineNumber, DisplayText::printable(line), why));
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
        write(noteLine(fmt::format("(Ctrl-C: answering \"{}\")", DisplayText::printable(chosen.title))));
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
            write(
                noteLine(fmt::format("(Ctrl-C: pressing \"{}\")", DisplayText::printable(cancel->title()))));
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
                          DisplayText::printable(alert->request.title),
                          DisplayText::printable(declined.title)));
        alert->answer = declined.returnValue;
        answered = true;
    }
    if (answered || !m_alerts.empty()) return;
    // Then modal windows close, innermost first, one per pass so each loop can return.
    if (CommandInterpreter::closeModalAtEndOfInput(m_closedAtFinish,
                                                   [this](const std::string& text) { write(text); }))
        return;
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

bool TerminalFrontEnd::fail(const std::string& message) {
    m_lastError = message;
    write(message + "\n");
    return false;
}

bool TerminalFrontEnd::execute(const std::string& line) {
    std::string error;
    auto words = CommandInterpreter::splitWords(line, error);
    if (words && words->empty()) {
        // Enter at the "answer>" prompt of a terminal takes the default button.
        if (m_interactive && !m_alerts.empty() && !m_alerts.back()->answer)
            m_alerts.back()->answer = kAlertDefaultReturn;
        return true;
    }
    if (!words) return keepError(m_interpreter.execute(line));  // says why it cannot be read: nothing ran
    ++m_commandDepth;
    bool ok = keepError(m_interpreter.execute(line));
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

bool TerminalFrontEnd::keepError(bool ok) {
    if (!ok) m_lastError = m_interpreter.lastError();
    return ok;
}

const AlertRequest* TerminalFrontEnd::waitingAlert() {
    return m_alerts.empty() ? nullptr : &m_alerts.back()->request;
}

void TerminalFrontEnd::answerAlert(int returnValue) {
    if (!m_alerts.empty()) m_alerts.back()->answer = returnValue;
}

void TerminalFrontEnd::commandQuit() {
    if (m_quitCalled || m_finishing) return;
    write("(quitting)\n");
    m_finishing = true;
    continueFinishing();
}

}  // namespace platform
