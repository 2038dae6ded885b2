#include "platform/ui/gtk/GtkScriptPlayer.h"

#include <fmt/format.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/listbox.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/stringlist.h>
#include <gtkmm/window.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "platform/net/ASIHTTPRequest.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalFrontEnd.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/GtkFrontEnd.h"

namespace platform {

namespace {

bool isNumber(const std::string& s) {
    return !s.empty() && s.size() < 10 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string joinWords(const std::vector<std::string>& words, size_t from) {
    std::string out;
    for (size_t i = from; i < words.size(); ++i) {
        if (i > from) out += ' ';
        out += words[i];
    }
    return out;
}

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

Gtk::ListBox* listOf(Gtk::Widget* widget) {
    // A table is a scroller holding the header and the list of rows.
    auto* scroller = dynamic_cast<Gtk::ScrolledWindow*>(widget);
    if (!scroller || !scroller->get_child()) return nullptr;
    for (auto* w = scroller->get_child(); w; w = w->get_first_child()) {
        for (auto* child = w; child; child = child->get_next_sibling())
            if (auto* list = dynamic_cast<Gtk::ListBox*>(child)) return list;
    }
    return nullptr;
}

// A table's rows as its widgets show them, one line each: "    3. Grace Hopper | [x] Grace Hopper",
// a check-box cell as its box and title.
std::string describeRows(Gtk::ListBox& list) {
    std::string out;
    for (int r = 0; auto* row = list.get_row_at_index(r); ++r) {
        std::vector<std::string> cells;
        auto* line = row->get_child();
        if (auto* label = dynamic_cast<Gtk::Label*>(line)) {
            cells.push_back(label->get_text().raw());  // "... more rows"
        } else {
            for (auto* cell = line ? line->get_first_child() : nullptr; cell;
                 cell = cell->get_next_sibling()) {
                if (auto* check = dynamic_cast<Gtk::CheckButton*>(cell))
                    cells.push_back(
                        fmt::format("[{}] {}", check->get_active() ? "x" : " ", check->get_label().raw()));
                else if (auto* label = dynamic_cast<Gtk::Label*>(cell))
                    cells.push_back(label->get_text().raw());
            }
        }
        std::string text;
        for (size_t c = 0; c < cells.size(); ++c) text += (c ? " | " : "") + cells[c];
        out += fmt::format("    {}{}. {}\n", row->is_selected() ? "*" : "", r + 1, printable(text));
    }
    return out;
}

}  // namespace

GtkScriptPlayer::GtkScriptPlayer(GtkFrontEnd& frontEnd, std::vector<std::string> lines, Options options)
    : m_frontEnd(frontEnd), m_lines(std::move(lines)), m_options(std::move(options)) {}

GtkScriptPlayer::~GtkScriptPlayer() {
    stop();
}

std::vector<std::string> GtkScriptPlayer::readScript(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error(fmt::format("cannot read the script {}: check the path", file.string()));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

void GtkScriptPlayer::start() {
    if (m_running) return;
    m_running = true;
    if (!m_options.screenshotDir.empty()) std::filesystem::create_directories(m_options.screenshotDir);
    RunLoop::main().addSource(this, kCommonModes);
}

void GtkScriptPlayer::stop() {
    if (!m_running) return;
    m_running = false;
    RunLoop::main().removeSource(this);
}

void GtkScriptPlayer::say(const std::string& text) {
    writeAll(m_options.outputFd, text);
}

bool GtkScriptPlayer::fail(const std::string& message) {
    m_lastError = message;
    return false;
}

std::optional<std::chrono::milliseconds> GtkScriptPlayer::maxWait() {
    if (m_finished) return std::nullopt;
    // Waiting for GTK to paint: GLib's own sources wake the loop; this only bounds the wait.
    return std::chrono::milliseconds(m_waitStarted ? 5 : 0);
}

std::vector<Gtk::Window*> GtkScriptPlayer::windowsToShoot() {
    std::vector<Gtk::Window*> out;
    if (auto key = Application::shared().keyWindow()) out.push_back(m_frontEnd.gtkWindow(*key));
    if (auto* alert = m_frontEnd.currentAlert()) out.push_back(alert->window);
    return out;
}

bool GtkScriptPlayer::settled() {
    auto now = std::chrono::steady_clock::now();
    if (!m_waitStarted) {
        m_waitStarted = true;
        m_waitStart = now;
        m_waits.clear();
    }
    bool requestsActive = ASIHTTPRequest::activeRequestCount() > 0;
    if (!requestsActive) m_requestsOverdue = false;
    if (now - m_waitStart > m_options.settleLimit) {
        // A server that does not answer is waited for once, not again before every command.
        if (requestsActive) m_requestsOverdue = true;
        return true;
    }
    if (RunLoop::main().pendingBlockCount() > 0) {
        m_waits.clear();
        return false;
    }
    // A reply still on its way (a plug-in's update check at launch) may open a dialog: the next
    // command is for the windows a person would see once it is there.
    if (requestsActive && !m_requestsOverdue) {
        m_waits.clear();
        return false;
    }
    auto windows = windowsToShoot();
    if (std::find(windows.begin(), windows.end(), nullptr) != windows.end()) return false;
    if (m_options.screenshotDir.empty()) return true;  // the widgets exist: that is enough to act
    bool same = windows.size() == m_waits.size();
    for (size_t i = 0; same && i < windows.size(); ++i) same = m_waits[i].window == windows[i];
    if (!same) {
        // What is to be shot changed: each of them must paint once more from here.
        m_waits.clear();
        for (auto* w : windows) {
            auto* clock = gtk_widget_get_frame_clock(GTK_WIDGET(w->gobj()));
            m_waits.push_back({w, clock ? gdk_frame_clock_get_frame_counter(clock) : -1});
            w->queue_draw();
        }
        return false;
    }
    for (const auto& wait : m_waits) {
        if (!wait.window->get_mapped()) return false;
        auto* clock = gtk_widget_get_frame_clock(GTK_WIDGET(wait.window->gobj()));
        if (!clock || gdk_frame_clock_get_frame_counter(clock) <= wait.frame) return false;
    }
    return true;
}

void GtkScriptPlayer::shoot(size_t number) {
    auto windows = windowsToShoot();
    for (size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i]) continue;
        bool alert = i > 0 || (windows.size() == 1 && m_frontEnd.currentAlert());
        auto file = m_options.screenshotDir / fmt::format("{:03}{}.png", number, alert ? "-alert" : "");
        std::string error;
        if (GtkFrontEnd::saveScreenshot(*windows[i], file, error))
            ++m_screenshots;
        else
            writeAll(m_options.errorFd, fmt::format("screenshot {}: {}\n", file.string(), error));
    }
}

void GtkScriptPlayer::perform(std::span<const pollfd>) {
    if (!m_running || m_finished) return;
    if (m_baseDepth < 0) m_baseDepth = RunLoop::main().nestingDepth();
    if (!settled()) return;
    m_waitStarted = false;
    // A command has completed when no dialog it opened is still running. What the hook changes
    // (the host's save refreshes the main window) is shown before the screenshot is taken.
    if (m_commandsSinceHook && RunLoop::main().nestingDepth() <= m_baseDepth && m_afterCommand) {
        m_commandsSinceHook = false;
        m_afterCommand();
        m_waits.clear();
        return;
    }
    if (m_pendingShot) {
        if (!m_options.screenshotDir.empty()) shoot(*m_pendingShot);
        m_pendingShot.reset();
    }
    if (m_finishing) {
        finishStep();
        return;
    }
    while (m_next < m_lines.size()) {
        const std::string& line = m_lines[m_next++];
        std::string error;
        auto words = TerminalFrontEnd::splitWords(line, error);
        if (words && words->empty()) continue;
        ++m_commandNumber;
        say(fmt::format("> {}\n", printable(line)));
        bool ok = false;
        if (!words) {
            ok = fail(fmt::format("Cannot read that command: {}.", error));
        } else {
            try {
                ok = runCommand(*words);
            } catch (const std::exception& e) {
                ok = fail(fmt::format("The command \"{}\" failed: {}", printable((*words)[0]),
                                      printable(e.what())));
            }
        }
        m_commandsSinceHook = true;
        m_pendingShot = m_commandNumber;
        if (!ok) {
            m_failedLine = m_next;
            writeAll(m_options.errorFd,
                     fmt::format("line {}: {}: {}\n", m_next, printable(line), m_lastError));
            say(fmt::format("(stopped at line {}: the rest of the script is not run)\n", m_next));
            m_next = m_lines.size();
            m_finishing = true;
        }
        return;
    }
    m_finishing = true;
}

void GtkScriptPlayer::finishStep() {
    // Waiting alerts are declined, through the button: the script gave them no answer.
    if (auto* alert = m_frontEnd.currentAlert()) {
        AlertButton declined = decliningButton(alert->request);
        std::string cause = m_failedLine ? fmt::format("the script stopped at line {}", *m_failedLine)
                                         : std::string("no more input");
        say(fmt::format("({}: alert \"{}\" answered \"{}\")\n", cause, printable(alert->request.title),
                        printable(declined.title)));
        for (auto& [button, value] : alert->buttons)
            if (value == declined.returnValue) g_signal_emit_by_name(button->gobj(), "clicked");
        if (!alert->answer) alert->answer = declined.returnValue;
        return;
    }
    // Then modal windows close, innermost first, one per pass so each loop can return.
    if (auto modal = Application::shared().modalWindow()) {
        bool tried = std::any_of(m_closedAtFinish.begin(), m_closedAtFinish.end(),
                                 [&](const auto& w) { return w.lock() == modal; });
        if (!tried) {
            say(fmt::format("(closing the modal window \"{}\")\n", printable(modal->title())));
            m_closedAtFinish.push_back(modal);
            modal->close();
            return;
        }
    }
    if (m_quitCalled) return;
    m_quitCalled = true;
    if (m_quitHandler) m_quitHandler();
    m_finished = true;
}

std::shared_ptr<Window> GtkScriptPlayer::keyWindowOrFail() {
    auto found = lookUpKeyWindow();
    if (!found.window) fail(found.error);
    return found.window;
}

std::shared_ptr<View> GtkScriptPlayer::viewOrFail(const Window& window, const std::string& ref) {
    auto found = lookUpView(window, ref, fmt::format("\"{}\"", printable(window.title())));
    if (!found.view) fail(found.error);
    return found.view;
}

bool GtkScriptPlayer::runCommand(const std::vector<std::string>& words) {
    std::string command = lower(words[0]);
    bool alertWaiting = m_frontEnd.currentAlert() != nullptr;
    if (command == "show") {
        commandShow();
        return true;
    }
    if (command == "answer") return commandAnswer(words);
    if (alertWaiting && command != "quit" && command != "exit") {
        if (command == "menu" || command == "select" || command == "type" || command == "press" ||
            command == "tick" || command == "close")
            return fail("An alert is waiting: answer it first with \"answer <number|button title>\".");
        // A bare button number or title answers the alert, as at the terminal's "answer>" prompt.
        std::vector<std::string> answer{"answer"};
        answer.insert(answer.end(), words.begin(), words.end());
        return commandAnswer(answer);
    }
    if (command == "menu") return commandMenu(words);
    if (command == "select") return commandSelect(words);
    if (command == "type") return commandType(words);
    if (command == "press") return commandPress(words);
    if (command == "tick") return commandTick(words);
    if (command == "close") return commandClose();
    if (command == "quit" || command == "exit") {
        say("(quitting)\n");
        m_next = m_lines.size();
        m_finishing = true;
        return true;
    }
    return fail(
        fmt::format("Unknown command \"{}\": the desktop plays menu, select, type, press, tick, close, "
                    "answer, show and quit.",
                    printable(words[0])));
}

bool GtkScriptPlayer::commandMenu(const std::vector<std::string>& words) {
    if (words.size() < 2)
        return fail("Usage: menu <path>   (\"menu Plug-ins > Zandrel > Duplicate...\" or \"menu 3.1.1\")");
    auto menu = Application::shared().mainMenu();
    if (!menu) return fail("The application has no menu bar.");
    std::string path = joinWords(words, 1);
    MenuLookup found;
    std::vector<int> numbers;
    bool numeric = !path.empty();
    size_t start = 0;
    while (numeric && start <= path.size()) {
        size_t dot = path.find('.', start);
        std::string part = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!isNumber(part))
            numeric = false;
        else
            numbers.push_back(std::stoi(part));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    found = numeric ? findMenuItem(*menu, numbers) : findMenuItem(*menu, splitMenuPath(path));
    if (!found.item) return fail(found.error);
    if (found.item->hasSubmenu())
        return fail(
            fmt::format("\"{}\" is a menu: name one of its commands.", printable(found.item->title())));
    if (!m_frontEnd.activateMenuItem(found.item))
        return fail(fmt::format("The menu command \"{}\" is disabled now.", printable(found.item->title())));
    return true;
}

bool GtkScriptPlayer::commandSelect(const std::vector<std::string>& words) {
    if (words.size() < 3)
        return fail("Usage: select <view> <item|number>   (a table row by number, or none)");
    auto window = keyWindowOrFail();
    if (!window) return false;
    auto view = viewOrFail(*window, words[1]);
    if (!view) return false;
    std::string wanted = joinWords(words, 2);
    auto* widget = m_frontEnd.widgetFor(*view);
    if (!widget) return fail(fmt::format("\"{}\" is not shown on the desktop yet.", printable(words[1])));
    if (!widget->is_sensitive()) return fail(fmt::format("\"{}\" is disabled.", printable(words[1])));
    if (auto* dropDown = dynamic_cast<Gtk::DropDown*>(widget)) {
        auto list = std::dynamic_pointer_cast<Gtk::StringList>(dropDown->get_model());
        std::vector<std::string> titles;
        for (guint i = 0; list && i < list->get_n_items(); ++i) titles.push_back(list->get_string(i));
        size_t index;
        if (isNumber(wanted) && std::stoul(wanted) >= 1 && std::stoul(wanted) <= titles.size()) {
            index = std::stoul(wanted) - 1;
        } else {
            auto match = matchTitle(titles, wanted, "item");
            if (!match.index) return fail(match.error);
            index = *match.index;
        }
        if (dropDown->get_selected() == index)
            g_object_notify(G_OBJECT(dropDown->gobj()), "selected");  // choosing it again still chooses it
        else
            dropDown->set_selected(static_cast<guint>(index));
        return true;
    }
    if (auto* list = listOf(widget)) {
        auto table = std::dynamic_pointer_cast<TableView>(view);
        if (lower(wanted) == "none") {
            list->unselect_all();
            return true;
        }
        if (!isNumber(wanted)) return fail("Tables are selected by row number (from 1), or \"none\".");
        size_t row = std::stoul(wanted);
        auto* rowWidget = row >= 1 ? list->get_row_at_index(static_cast<int>(row - 1)) : nullptr;
        if (!rowWidget || !rowWidget->get_selectable())
            return fail(fmt::format("\"{}\" has no row {} ({} rows).", printable(words[1]), row,
                                    table ? table->numberOfRows() : 0));
        list->select_row(*rowWidget);
        return true;
    }
    return fail(fmt::format("\"{}\" is neither a pop-up button nor a table.", printable(words[1])));
}

bool GtkScriptPlayer::commandType(const std::vector<std::string>& words) {
    if (words.size() < 3) return fail("Usage: type <view> <text...>   (type <view> \"\" to empty the field)");
    auto window = keyWindowOrFail();
    if (!window) return false;
    auto view = viewOrFail(*window, words[1]);
    if (!view) return false;
    auto* entry = dynamic_cast<Gtk::Entry*>(m_frontEnd.widgetFor(*view));
    if (!entry)
        return fail(fmt::format("\"{}\" is not a text field one can type into.", printable(words[1])));
    std::string text = joinWords(words, 2);
    if (TextField::findUntypable(text))
        return fail(
            fmt::format("Not typed: \"{}\" holds control characters or bytes that are not UTF-8 (shown "
                        "escaped); type the text without them.",
                        printable(text)));
    if (!entry->is_sensitive() || !entry->get_editable())
        return fail(fmt::format("\"{}\" cannot be typed into (it is disabled).", printable(words[1])));
    entry->grab_focus();
    if (entry->get_text().raw() == text)
        g_signal_emit_by_name(entry->gobj(), "changed");  // typing the same text still starts an edit
    else
        entry->set_text(text);
    return true;
}

bool GtkScriptPlayer::commandPress(const std::vector<std::string>& words) {
    if (words.size() < 2) return fail("Usage: press <view|button title>");
    auto window = keyWindowOrFail();
    if (!window) return false;
    std::string ref = joinWords(words, 1);
    std::shared_ptr<View> view = findVisibleView(*window, ref);
    if (!view) view = findVisibleButton(*window, ref);
    if (!view) {
        if (!isNumber(!ref.empty() && ref[0] == '#' ? ref.substr(1) : ref)) {
            std::vector<std::string> titles;
            for (const auto& v : visibleViews(*window))
                if (auto b = std::dynamic_pointer_cast<Button>(v)) titles.push_back(b->title());
            auto match = matchTitle(titles, ref, "button");
            return fail(match.error.empty() ? fmt::format("No button \"{}\".", printable(ref)) : match.error);
        }
        view = viewOrFail(*window, ref);
        if (!view) return false;
    }
    auto* widget = m_frontEnd.widgetFor(*view);
    auto* button = dynamic_cast<Gtk::Button*>(widget);
    auto* check = dynamic_cast<Gtk::CheckButton*>(widget);
    if (!button && !check) return fail(fmt::format("\"{}\" is not a button.", printable(ref)));
    if (!widget->is_sensitive()) return fail(fmt::format("The button \"{}\" is disabled.", printable(ref)));
    if (button)
        g_signal_emit_by_name(button->gobj(), "clicked");
    else
        check->set_active(!check->get_active());
    return true;
}

bool GtkScriptPlayer::commandTick(const std::vector<std::string>& words) {
    if (words.size() < 2) return fail("Usage: tick <view>, or tick <table> <row> [<column>]");
    auto window = keyWindowOrFail();
    if (!window) return false;
    // "tick users 3" names a table and a row; a check box may have a name with spaces.
    auto table = std::dynamic_pointer_cast<TableView>(lookUpView(*window, words[1], {}).view);
    if (table) return commandTickCell(*table, words);
    auto view = viewOrFail(*window, joinWords(words, 1));
    if (!view) return false;
    auto* check = dynamic_cast<Gtk::CheckButton*>(m_frontEnd.widgetFor(*view));
    if (!check) return fail(fmt::format("\"{}\" is not a check box.", printable(words[1])));
    if (!check->is_sensitive())
        return fail(fmt::format("The check box \"{}\" is disabled.", printable(words[1])));
    check->set_active(!check->get_active());
    return true;
}

bool GtkScriptPlayer::commandTickCell(const TableView& table, const std::vector<std::string>& words) {
    auto cell = lookUpCheckBoxCell(table, words);
    if (!cell.error.empty()) return fail(cell.error);
    std::string name = printable(words[1]);
    auto* list = listOf(m_frontEnd.widgetFor(table));
    if (!list) return fail(fmt::format("The table \"{}\" is not shown on the desktop yet.", name));
    if (!list->is_sensitive()) return fail(fmt::format("The table \"{}\" is disabled.", name));
    // A row holds one widget per column, in column order.
    auto* row = list->get_row_at_index(static_cast<int>(cell.row));
    Gtk::Widget* widget = row && row->get_selectable() ? row->get_child() : nullptr;
    widget = widget ? widget->get_first_child() : nullptr;
    for (size_t c = 0; widget && c < cell.column; ++c) widget = widget->get_next_sibling();
    auto* check = dynamic_cast<Gtk::CheckButton*>(widget);
    if (!check)
        return fail(
            fmt::format("Row {} of the table \"{}\" is not shown on the desktop (only the first rows are).",
                        cell.row + 1, name));
    if (!check->is_sensitive())
        return fail(fmt::format("Row {} of the table \"{}\" cannot be changed.", cell.row + 1, name));
    check->set_active(!check->get_active());
    return true;
}

bool GtkScriptPlayer::commandClose() {
    auto window = keyWindowOrFail();
    if (!window) return false;
    auto* gw = m_frontEnd.gtkWindow(*window);
    if (!gw) return fail("The key window is not on the desktop yet.");
    if (!gw->get_deletable())
        return fail(fmt::format("The window \"{}\" cannot be closed.", printable(window->title())));
    gw->close();
    return true;
}

bool GtkScriptPlayer::commandAnswer(const std::vector<std::string>& words) {
    auto* alert = m_frontEnd.currentAlert();
    if (!alert) return fail("No alert is waiting for an answer.");
    if (words.size() < 2) return fail("Usage: answer <number|button title>");
    std::string wanted = joinWords(words, 1);
    auto buttons = alertButtons(alert->request);
    std::optional<int> value;
    if (isNumber(wanted) && std::stoul(wanted) >= 1 && std::stoul(wanted) <= buttons.size())
        value = buttons[std::stoul(wanted) - 1].returnValue;
    else
        value = alertReturnForTitle(alert->request, wanted);
    if (!value) {
        std::vector<std::string> titles;
        for (const auto& b : buttons) titles.push_back(b.title);
        return fail(matchTitle(titles, wanted, "button").error);
    }
    for (auto& [button, returnValue] : alert->buttons)
        if (returnValue == *value) {
            g_signal_emit_by_name(button->gobj(), "clicked");
            return true;
        }
    return fail("The alert has no such button.");
}

void GtkScriptPlayer::commandShow() {
    // What the widgets show, read back from GTK: a person's view of the key window.
    std::string out;
    if (auto* alert = m_frontEnd.currentAlert()) {
        out += fmt::format("alert \"{}\"", printable(alert->window->get_title().raw()));
        for (auto& [button, value] : alert->buttons)
            out += fmt::format(" [{}{}]", printable(button->get_label().raw()),
                               value == kAlertDefaultReturn ? "*" : "");
        out += '\n';
    }
    auto key = Application::shared().keyWindow();
    if (key) {
        NotificationCenter::defaultCenter().post(kWindowWillShowContentsNotification, key);
        m_frontEnd.syncAll();  // the widgets show what the window holds now
    }
    auto* gw = key ? m_frontEnd.gtkWindow(*key) : nullptr;
    if (!gw) {
        say(out + "(no window)\n");
        return;
    }
    out +=
        fmt::format("window \"{}\"{}\n", printable(gw->get_title().raw()), gw->get_modal() ? " modal" : "");
    size_t number = 0;
    for (const auto& view : visibleViews(*key)) {
        ++number;
        auto* widget = m_frontEnd.widgetFor(*view);
        if (!widget) continue;
        std::string state = widget->is_sensitive() ? "" : " disabled";
        std::string line;
        std::string rowLines;
        if (auto* check = dynamic_cast<Gtk::CheckButton*>(widget)) {
            line = fmt::format("check box \"{}\" {}", printable(check->get_label().raw()),
                               check->get_active() ? "on" : "off");
        } else if (auto* button = dynamic_cast<Gtk::Button*>(widget)) {
            line = fmt::format("button \"{}\"{}", printable(button->get_label().raw()),
                               button->has_css_class("suggested-action") ? " default" : "");
        } else if (auto* entry = dynamic_cast<Gtk::Entry*>(widget)) {
            line = fmt::format("text field \"{}\"", printable(entry->get_text().raw()));
        } else if (auto* label = dynamic_cast<Gtk::Label*>(widget)) {
            line = fmt::format("label \"{}\"", printable(label->get_text().raw()));
        } else if (auto* dropDown = dynamic_cast<Gtk::DropDown*>(widget)) {
            auto list = std::dynamic_pointer_cast<Gtk::StringList>(dropDown->get_model());
            guint selected = dropDown->get_selected();
            line = fmt::format("pop-up \"{}\" ({} items)",
                               list && selected != GTK_INVALID_LIST_POSITION
                                   ? printable(list->get_string(selected).raw())
                                   : "",
                               list ? list->get_n_items() : 0);
        } else if (auto* list = listOf(widget)) {
            auto* row = list->get_selected_row();
            int rows = 0;
            while (list->get_row_at_index(rows)) ++rows;
            line = fmt::format("table ({} rows) selected {}", rows,
                               row ? std::to_string(row->get_index() + 1) : "none");
            rowLines = describeRows(*list);
        } else {
            line = "image";
        }
        // Where the control is in the window, as laid out on the screen (and so in a screenshot).
        graphene_rect_t bounds;
        std::string at;
        if (gtk_widget_compute_bounds(widget->gobj(), GTK_WIDGET(gw->gobj()), &bounds))
            at = fmt::format(" at {},{} {}x{}", std::lround(bounds.origin.x), std::lround(bounds.origin.y),
                             std::lround(bounds.size.width), std::lround(bounds.size.height));
        out += fmt::format("  {} {}: {}{}{}\n", number, view->identifier().empty() ? "-" : view->identifier(),
                           line, state, at);
        out += rowLines;
    }
    say(out);
}

}  // namespace platform
