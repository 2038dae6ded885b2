#include "platform/ui/TerminalFrontEnd.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
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

}  // namespace

TerminalFrontEnd::TerminalFrontEnd() : TerminalFrontEnd(Options{}) {}

TerminalFrontEnd::TerminalFrontEnd(Options options) : m_options(options) {
    m_interactive = m_options.interactive.value_or(::isatty(m_options.inputFd) == 1);
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
    RunLoop::main().removeSource(this);
    if (Application::shared().frontEnd() == this) Application::shared().setFrontEnd(nullptr);
}

// ---------------------------------------------------------------- output

void TerminalFrontEnd::write(std::string_view text) {
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

void TerminalFrontEnd::prompt() {
    if (!m_interactive || !m_running || reachedEndOfInput()) return;
    if (alertJustAnswered()) return;  // the prompt follows the redraw once it has gone
    write(m_alerts.empty() ? "> " : "answer> ");
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
    if (auto key = Application::shared().keyWindow())
        out = TerminalRenderer::renderWindow(*key);
    else
        out = "(no window is open; \"menu\" lists the commands)\n";
    if (!m_alerts.empty() && !m_alerts.back()->answer)
        out += TerminalRenderer::renderAlert(m_alerts.back()->request);
    return out;
}

std::string TerminalFrontEnd::helpText() {
    return "Commands (a <view> is its identifier or its number from \"show\"; numbers count from 1):\n"
           "  help                          this list\n"
           "  show                          draw the key window (and a waiting alert) again\n"
           "  windows                       list the open windows, front to back\n"
           "  menu                          print the menu bar with numbered paths\n"
           "  menu <path>                   choose a command by titles, menu File > Sign Off, or by the\n"
           "                                numbers `menu` prints, menu 2.2\n"
           "  select <view> <item>          choose a pop-up item by title or number, or a table row by "
           "number\n"
           "                                (\"none\" clears a table's selection)\n"
           "  type <view> <text...>         type into a text field (type <view> \"\" empties it); the text "
           "is\n"
           "                                being edited until the field gives up focus\n"
           "  press <view|button title>     click a button\n"
           "  tick <view>                   click a check box\n"
           "  close                         close the key window with its own close control\n"
           "  answer <number|button title>  answer the alert that is waiting\n"
           "  quit                          close modal windows and quit\n"
           "Double quotes keep spaces (\"New name\") and allow an empty text (\"\"); inside them \\\" is a "
           "quote.\n";
}

bool TerminalFrontEnd::openURL(const std::string& url) {
    // A terminal cannot show a web page; the person opens the address themselves.
    write(fmt::format("Open this address in a web browser: {}\n", url));
    return true;
}

// ---------------------------------------------------------------- alerts

int TerminalFrontEnd::runAlert(const AlertRequest& alert) {
    write(TerminalRenderer::renderAlert(alert));
    if (reachedEndOfInput() || !m_running) {
        write(fmt::format("(no more input: taking the default button \"{}\")\n",
                          alertButtons(alert).front().title));
        return kAlertDefaultReturn;
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
    m_dirty = true;
    return *pending.answer;
}

// ---------------------------------------------------------------- input

void TerminalFrontEnd::collectPollFds(std::vector<pollfd>& fds) {
    if (!m_eof) fds.push_back({m_options.inputFd, POLLIN, 0});
}

std::optional<std::chrono::milliseconds> TerminalFrontEnd::maxWait() {
    // A command waiting in the buffer, or the end of input still being handled: do not sleep.
    if (m_finishing || m_input.find('\n') != std::string::npos || (m_eof && !m_input.empty()))
        return std::chrono::milliseconds::zero();
    return std::nullopt;
}

void TerminalFrontEnd::readInput(std::span<const pollfd> polled) {
    if (m_eof || polled.empty() || !(polled[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return;
    char buffer[4096];
    ssize_t n = ::read(m_options.inputFd, buffer, sizeof buffer);
    if (n > 0) {
        m_input.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
        m_eof = true;
    }
}

std::optional<std::string> TerminalFrontEnd::takeLine() {
    size_t end = m_input.find('\n');
    if (end == std::string::npos) {
        if (!m_eof || m_input.empty()) return std::nullopt;
        end = m_input.size();  // the last line had no line feed
    }
    std::string line = m_input.substr(0, end);
    m_input.erase(0, std::min(end + 1, m_input.size()));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void TerminalFrontEnd::perform(std::span<const pollfd> polled) {
    readInput(polled);
    if (auto line = takeLine()) {
        if (!m_interactive) write(fmt::format("> {}\n", *line));
        execute(*line);
        if (m_dirty && !alertJustAnswered()) redraw();
        if (m_input.find('\n') == std::string::npos) prompt();
        return;
    }
    if (m_eof && !m_finishing && !m_quitCalled) {
        write("(end of input)\n");
        m_finishing = true;
    }
    continueFinishing();
    if (m_dirty && m_running && !alertJustAnswered()) redraw();
}

void TerminalFrontEnd::continueFinishing() {
    if (!m_finishing) return;
    // Waiting alerts take their default button; their loops return on the next pass.
    bool answered = false;
    for (auto* alert : m_alerts) {
        if (alert->answer) continue;
        write(fmt::format("(no more input: alert \"{}\" takes its default button \"{}\")\n",
                          alert->request.title, alertButtons(alert->request).front().title));
        alert->answer = kAlertDefaultReturn;
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
    // Still reading while the handler runs, so an alert it shows (a failed save) can be answered.
    bool quitting = !m_quitHandler || m_quitHandler() || m_eof;
    if (!quitting) {
        write("(not quitting: the host refused; see above)\n");
        return;
    }
    m_quitCalled = true;
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

void TerminalFrontEnd::execute(const std::string& line) {
    std::string error;
    auto words = splitWords(line, error);
    if (!words) {
        write(fmt::format("Cannot read that command: {}.\n", error));
        return;
    }
    if (words->empty()) return;
    ++m_commandDepth;
    try {
        runCommand(*words);
    } catch (const std::exception& e) {
        write(fmt::format("The command \"{}\" failed: {}\n", (*words)[0], e.what()));
    }
    --m_commandDepth;
    // Commands run from inside a dialog another command opened complete with that command.
    // Not again from a command typed while the hook itself waits (an alert it showed).
    if (m_commandDepth == 0 && m_afterCommand && !m_inAfterCommand) {
        m_inAfterCommand = true;
        m_afterCommand();
        m_inAfterCommand = false;
    }
}

void TerminalFrontEnd::runCommand(const std::vector<std::string>& words) {
    std::string command = lower(words[0]);
    bool alertWaiting = !m_alerts.empty();
    if (command == "help" || command == "?") {
        write(helpText());
    } else if (command == "show") {
        redraw();
    } else if (command == "windows") {
        write(TerminalRenderer::renderWindowList());
    } else if (command == "answer") {
        commandAnswer(words);
    } else if (command == "menu" && words.size() == 1) {
        auto menu = Application::shared().mainMenu();
        write(menu ? TerminalRenderer::renderMenuBar(*menu)
                   : std::string("The application has no menu bar.\n"));
    } else if (alertWaiting &&
               (command == "menu" || command == "select" || command == "type" || command == "press" ||
                command == "tick" || command == "close" || command == "quit")) {
        write(
            fmt::format("An alert is waiting: answer it first with \"answer <number|button title>\" "
                        "(\"show\" draws it again).\n"));
    } else if (command == "menu") {
        commandMenu(words);
    } else if (command == "select") {
        commandSelect(words);
    } else if (command == "type") {
        commandType(words);
    } else if (command == "press") {
        commandPress(words);
    } else if (command == "tick") {
        commandTick(words);
    } else if (command == "close") {
        commandClose();
    } else if (command == "quit" || command == "exit") {
        if (!m_quitCalled) {
            write("(quitting)\n");
            m_finishing = true;
            continueFinishing();
        }
    } else if (alertWaiting) {
        // At the "answer>" prompt a bare button number or title is the answer.
        std::vector<std::string> answer{"answer"};
        answer.insert(answer.end(), words.begin(), words.end());
        commandAnswer(answer);
    } else {
        write(fmt::format("Unknown command \"{}\": type \"help\" for the list of commands.\n", words[0]));
    }
}

std::shared_ptr<Window> TerminalFrontEnd::keyWindowOrSay() {
    auto key = Application::shared().keyWindow();
    if (!key) write("No window is open: choose a command with \"menu\" first.\n");
    return key;
}

std::shared_ptr<View> TerminalFrontEnd::viewOrSay(const Window& window, const std::string& ref) {
    if (auto view = findVisibleView(window, ref)) return view;
    std::string number = !ref.empty() && ref[0] == '#' ? ref.substr(1) : ref;
    auto views = visibleViews(window);
    if (isNumber(number)) {
        size_t n = std::stoul(number);
        if (n >= 1 && n <= views.size()) return views[n - 1];
    }
    write(
        fmt::format("Window {} has no view \"{}\": use an identifier or a number (1 to {}) from \"show\".\n",
                    TerminalRenderer::windowName(window), ref, views.size()));
    return nullptr;
}

void TerminalFrontEnd::commandMenu(const std::vector<std::string>& words) {
    auto menu = Application::shared().mainMenu();
    if (!menu) {
        write("The application has no menu bar.\n");
        return;
    }
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
            if (!isNumber(part)) {
                write(fmt::format("\"{}\" is not a menu number such as 2.1.1: see \"menu\".\n", path));
                return;
            }
            numbers.push_back(std::stoi(part));
            if (dot == std::string::npos) break;
            start = dot + 1;
        }
        found = findMenuItem(*menu, numbers);
    } else {
        found = findMenuItem(*menu, splitMenuPath(path));
    }
    if (!found.item) {
        write(fmt::format("No menu command \"{}\": {}. Type \"menu\" to see them all.\n", path, found.error));
        return;
    }
    if (found.item->hasSubmenu()) {
        std::string titles;
        for (const auto& item : numberedItems(*found.item->submenu()))
            titles += (titles.empty() ? "" : ", ") + item->title();
        write(fmt::format("\"{}\" is a submenu; choose one of its commands: {}.\n", found.item->title(),
                          titles));
        return;
    }
    if (!found.item->isEnabled()) {
        write(fmt::format("The menu command \"{}\" is disabled right now.\n", found.item->title()));
        return;
    }
    m_dirty = true;
    if (!found.item->performAction())
        write(fmt::format("Nobody handled the menu command \"{}\".\n", found.item->title()));
}

std::shared_ptr<View> TerminalFrontEnd::commandView(const std::vector<std::string>& words, size_t minWords,
                                                    const char* usage) {
    if (words.size() < minWords) {
        write(fmt::format("Usage: {}\n", usage));
        return nullptr;
    }
    auto window = keyWindowOrSay();
    return window ? viewOrSay(*window, words[1]) : nullptr;
}

void TerminalFrontEnd::commandSelect(const std::vector<std::string>& words) {
    auto view = commandView(words, 3, "select <view> <item title or number>");
    if (!view) return;
    std::string item = joinWords(words, 2);
    m_dirty = true;
    if (auto popUp = std::dynamic_pointer_cast<PopUpButton>(view)) {
        auto titles = popUp->itemTitles();
        auto it = std::find(titles.begin(), titles.end(), item);
        int64_t index = -1;
        if (it != titles.end())
            index = it - titles.begin();
        else if (isNumber(item) && std::stoul(item) >= 1 && std::stoul(item) <= titles.size())
            index = static_cast<int64_t>(std::stoul(item)) - 1;
        if (index < 0) {
            write(
                fmt::format("The pop-up \"{}\" has no item \"{}\": give a title or a number from 1 to {}.\n",
                            words[1], item, titles.size()));
            return;
        }
        if (!popUp->chooseItemAtIndex(index))
            write(fmt::format("The pop-up \"{}\" is disabled.\n", words[1]));
        return;
    }
    if (auto table = std::dynamic_pointer_cast<TableView>(view)) {
        size_t rows = table->numberOfRows();
        if (lower(item) == "none")
            table->selectRow(-1);
        else if (isNumber(item) && std::stoul(item) >= 1 && std::stoul(item) <= rows)
            table->selectRow(static_cast<int64_t>(std::stoul(item)) - 1);
        else
            write(fmt::format("The table \"{}\" has no row \"{}\": give a number from 1 to {}, or none.\n",
                              words[1], item, rows));
        return;
    }
    write(fmt::format("\"{}\" is a {}: select works on pop-ups and tables.\n", words[1],
                      TerminalRenderer::describeView(*view).first));
}

void TerminalFrontEnd::commandType(const std::vector<std::string>& words) {
    auto view = commandView(words, 2, "type <view> <text...>   (type <view> \"\" to empty the field)");
    if (!view) return;
    auto field = std::dynamic_pointer_cast<TextField>(view);
    if (!field) {
        write(fmt::format("\"{}\" is a {}, not a text field.\n", words[1],
                          TerminalRenderer::describeView(*view).first));
        return;
    }
    m_dirty = true;
    if (!field->typeText(joinWords(words, 2)))
        write(fmt::format("\"{}\" cannot be typed into ({}).\n", words[1],
                          field->isEditable() ? "it is disabled" : "it is a label"));
}

void TerminalFrontEnd::commandPress(const std::vector<std::string>& words) {
    if (words.size() < 2) {
        write("Usage: press <view|button title>\n");
        return;
    }
    auto window = keyWindowOrSay();
    if (!window) return;
    std::string ref = joinWords(words, 1);
    std::shared_ptr<Button> button = findVisibleButton(*window, ref);
    if (!button) {
        auto view = viewOrSay(*window, ref);
        if (!view) return;
        button = std::dynamic_pointer_cast<Button>(view);
        if (!button) {
            write(fmt::format("\"{}\" is a {}, not a button.\n", ref,
                              TerminalRenderer::describeView(*view).first));
            return;
        }
    }
    m_dirty = true;
    if (!button->performClick()) write(fmt::format("The button \"{}\" is disabled.\n", button->title()));
}

void TerminalFrontEnd::commandTick(const std::vector<std::string>& words) {
    auto view = commandView(words, 2, "tick <view>");
    if (!view) return;
    auto box = std::dynamic_pointer_cast<Button>(view);
    if (!box || box->kind() != Button::Kind::CheckBox) {
        write(fmt::format("\"{}\" is a {}, not a check box{}.\n", words[1],
                          TerminalRenderer::describeView(*view).first, box ? ": use press" : ""));
        return;
    }
    m_dirty = true;
    if (!box->performClick()) write(fmt::format("The check box \"{}\" is disabled.\n", box->title()));
}

void TerminalFrontEnd::commandClose() {
    auto window = keyWindowOrSay();
    if (!window) return;
    if (!window->isClosable()) {
        write(fmt::format("The window {} has no close control: use its buttons.\n",
                          TerminalRenderer::windowName(*window)));
        return;
    }
    m_dirty = true;
    window->performClose();
}

void TerminalFrontEnd::commandAnswer(const std::vector<std::string>& words) {
    if (m_alerts.empty()) {
        write("No alert is waiting for an answer.\n");
        return;
    }
    PendingAlert& alert = *m_alerts.back();
    auto buttons = alertButtons(alert.request);
    std::string choice = joinWords(words, 1);
    std::optional<int> value = alertReturnForTitle(alert.request, choice);
    if (!value && isNumber(choice) && std::stoul(choice) >= 1 && std::stoul(choice) <= buttons.size())
        value = buttons[std::stoul(choice) - 1].returnValue;
    if (!value) {
        std::vector<std::string> titles;
        for (size_t i = 0; i < buttons.size(); ++i)
            titles.push_back(fmt::format("{}) {}", i + 1, buttons[i].title));
        write(fmt::format("{}: answer with a button number or title: {}.\n",
                          choice.empty() ? std::string("Which button?")
                                         : fmt::format("The alert has no button \"{}\"", choice),
                          fmt::join(titles, "  ")));
        return;
    }
    alert.answer = value;
}

}  // namespace platform
