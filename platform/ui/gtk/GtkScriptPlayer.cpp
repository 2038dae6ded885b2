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
#include "platform/ui/MenuItem.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/GtkFrontEnd.h"

namespace platform {

namespace {

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
                else if (auto* text = dynamic_cast<Gtk::Label*>(cell))
                    cells.push_back(text->get_text().raw());
            }
        }
        std::string text;
        for (size_t c = 0; c < cells.size(); ++c) text += (c ? " | " : "") + cells[c];
        out +=
            fmt::format("    {}{}. {}\n", row->is_selected() ? "*" : "", r + 1, DisplayText::printable(text));
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

void GtkScriptPlayer::say(std::string_view text) {
    writeAll(m_options.outputFd, std::string(text));
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
        auto words = CommandInterpreter::splitWords(line, error);
        if (words && words->empty()) continue;
        ++m_commandNumber;
        say(fmt::format("> {}\n", DisplayText::printable(line)));
        bool ok = m_interpreter.execute(line);
        m_commandsSinceHook = true;
        m_pendingShot = m_commandNumber;
        if (!ok) {
            m_failedLine = m_next;
            writeAll(m_options.errorFd, fmt::format("line {}: {}: {}\n", m_next, DisplayText::printable(line),
                                                    m_interpreter.lastError()));
            say(fmt::format("(stopped at line {}: the rest of the script is not run)\n", m_next));
            m_next = m_lines.size();
            m_finishing = true;
        }
        return;
    }
    if (!m_finishing) say("(end of input)\n");
    m_finishing = true;
}

void GtkScriptPlayer::finishStep() {
    // Waiting alerts are declined, through the button: the script gave them no answer.
    if (auto* alert = m_frontEnd.currentAlert()) {
        AlertButton declined = decliningButton(alert->request);
        std::string cause = m_failedLine ? fmt::format("the script stopped at line {}", *m_failedLine)
                                         : std::string("no more input");
        say(fmt::format("({}: alert \"{}\" answered \"{}\")\n", cause,
                        DisplayText::printable(alert->request.title),
                        DisplayText::printable(declined.title)));
        for (auto& [button, value] : alert->buttons)
            if (value == declined.returnValue) g_signal_emit_by_name(button->gobj(), "clicked");
        if (!alert->answer) alert->answer = declined.returnValue;
        return;
    }
    // Then modal windows close, innermost first, one per pass so each loop can return.
    if (CommandInterpreter::closeModalAtEndOfInput(m_closedAtFinish,
                                                   [this](const std::string& text) { say(text); }))
        return;
    if (m_quitCalled) return;
    m_quitCalled = true;
    if (m_quitHandler) m_quitHandler();
    m_finished = true;
}

// ---------------------------------------------------------------- acts, through the widgets

namespace {

std::string shownName(const View& view) {
    return view.identifier().empty() ? std::string("the control")
                                     : fmt::format("\"{}\"", DisplayText::printable(view.identifier()));
}

}  // namespace

const AlertRequest* GtkScriptPlayer::waitingAlert() {
    auto* alert = m_frontEnd.currentAlert();
    return alert ? &alert->request : nullptr;
}

void GtkScriptPlayer::answerAlert(int returnValue) {
    auto* alert = m_frontEnd.currentAlert();
    if (!alert) return;
    for (auto& [button, value] : alert->buttons)
        if (value == returnValue) {
            g_signal_emit_by_name(button->gobj(), "clicked");
            return;
        }
    alert->answer = returnValue;  // a button the alert does not show: answered all the same
}

void GtkScriptPlayer::quit() {
    say("(quitting)\n");
    m_next = m_lines.size();
    m_finishing = true;
}

CommandInterpreter::Act GtkScriptPlayer::chooseMenuItem(MenuItem& item) {
    // Through the menu bar's action, as a click on the menu would; false when it is disabled.
    return m_frontEnd.activateMenuItem(item.sharedAs<MenuItem>()) ? Act::ok() : Act::refused();
}

CommandInterpreter::Act GtkScriptPlayer::click(Button& button) {
    auto* widget = m_frontEnd.widgetFor(button);
    auto* gtkButton = dynamic_cast<Gtk::Button*>(widget);
    auto* check = dynamic_cast<Gtk::CheckButton*>(widget);
    if (!gtkButton && !check)
        return Act::refused(fmt::format("{} is not shown on the desktop yet.", shownName(button)));
    if (!widget->is_sensitive()) return Act::refused();
    if (gtkButton)
        g_signal_emit_by_name(gtkButton->gobj(), "clicked");
    else
        check->set_active(!check->get_active());
    return Act::ok();
}

CommandInterpreter::Act GtkScriptPlayer::choosePopUpItem(PopUpButton& popUp, size_t index) {
    auto* dropDown = dynamic_cast<Gtk::DropDown*>(m_frontEnd.widgetFor(popUp));
    if (!dropDown) return Act::refused(fmt::format("{} is not shown on the desktop yet.", shownName(popUp)));
    if (!dropDown->is_sensitive()) return Act::refused();
    if (dropDown->get_selected() == index)
        g_object_notify(G_OBJECT(dropDown->gobj()), "selected");  // choosing it again still chooses it
    else
        dropDown->set_selected(static_cast<guint>(index));
    return Act::ok();
}

CommandInterpreter::Act GtkScriptPlayer::selectRow(TableView& table, int64_t row) {
    auto* list = listOf(m_frontEnd.widgetFor(table));
    if (!list)
        return Act::refused(fmt::format("The table {} is not shown on the desktop yet.", shownName(table)));
    if (!list->is_sensitive()) return Act::refused();
    if (row < 0) {
        list->unselect_all();
        return Act::ok();
    }
    auto* rowWidget = list->get_row_at_index(static_cast<int>(row));
    if (!rowWidget || !rowWidget->get_selectable())
        return Act::refused(
            fmt::format("Row {} of the table {} is not shown on the desktop (only the first rows are).",
                        row + 1, shownName(table)));
    list->select_row(*rowWidget);
    return Act::ok();
}

CommandInterpreter::Act GtkScriptPlayer::typeText(TextField& field, const std::string& text) {
    auto* entry = dynamic_cast<Gtk::Entry*>(m_frontEnd.widgetFor(field));
    // A label is no entry on the desktop: refused as the model refuses typing into one.
    if (!entry || !entry->is_sensitive() || !entry->get_editable()) return Act::refused();
    entry->grab_focus();
    if (entry->get_text().raw() == text)
        g_signal_emit_by_name(entry->gobj(), "changed");  // typing the same text still starts an edit
    else
        entry->set_text(text);
    return Act::ok();
}

CommandInterpreter::Act GtkScriptPlayer::toggleCell(TableView& table, size_t column, size_t row) {
    auto* list = listOf(m_frontEnd.widgetFor(table));
    if (!list)
        return Act::refused(fmt::format("The table {} is not shown on the desktop yet.", shownName(table)));
    if (!list->is_sensitive()) return Act::refused();
    // A row holds one widget per column, in column order.
    auto* rowWidget = list->get_row_at_index(static_cast<int>(row));
    Gtk::Widget* widget = rowWidget && rowWidget->get_selectable() ? rowWidget->get_child() : nullptr;
    widget = widget ? widget->get_first_child() : nullptr;
    for (size_t c = 0; widget && c < column; ++c) widget = widget->get_next_sibling();
    auto* check = dynamic_cast<Gtk::CheckButton*>(widget);
    if (!check)
        return Act::refused(
            fmt::format("Row {} of the table {} is not shown on the desktop (only the first rows are).",
                        row + 1, shownName(table)));
    if (!check->is_sensitive()) return Act::refused();
    check->set_active(!check->get_active());
    return Act::ok();
}

CommandInterpreter::Act GtkScriptPlayer::close(Window& window) {
    auto* gw = m_frontEnd.gtkWindow(window);
    if (!gw) return Act::refused("The key window is not on the desktop yet.");
    if (!gw->get_deletable()) return Act::refused();
    gw->close();
    return Act::ok();
}

void GtkScriptPlayer::show() {
    // What the widgets show, read back from GTK: a person's view of the key window.
    std::string out;
    if (auto* alert = m_frontEnd.currentAlert()) {
        out += fmt::format("alert \"{}\"", DisplayText::printable(alert->window->get_title().raw()));
        for (auto& [button, value] : alert->buttons)
            out += fmt::format(" [{}{}]", DisplayText::printable(button->get_label().raw()),
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
    out += fmt::format("window \"{}\"{}\n", DisplayText::printable(gw->get_title().raw()),
                       gw->get_modal() ? " modal" : "");
    size_t number = 0;
    for (const auto& view : visibleViews(*key)) {
        ++number;
        auto* widget = m_frontEnd.widgetFor(*view);
        if (!widget) continue;
        std::string state = widget->is_sensitive() ? "" : " disabled";
        std::string line;
        std::string rowLines;
        if (auto* check = dynamic_cast<Gtk::CheckButton*>(widget)) {
            line = fmt::format("check box \"{}\" {}", DisplayText::printable(check->get_label().raw()),
                               check->get_active() ? "on" : "off");
        } else if (auto* button = dynamic_cast<Gtk::Button*>(widget)) {
            line = fmt::format("button \"{}\"{}", DisplayText::printable(button->get_label().raw()),
                               button->has_css_class("suggested-action") ? " default" : "");
        } else if (auto* entry = dynamic_cast<Gtk::Entry*>(widget)) {
            line = fmt::format("text field \"{}\"", DisplayText::printable(entry->get_text().raw()));
        } else if (auto* label = dynamic_cast<Gtk::Label*>(widget)) {
            line = fmt::format("label \"{}\"", DisplayText::printable(label->get_text().raw()));
        } else if (auto* dropDown = dynamic_cast<Gtk::DropDown*>(widget)) {
            auto list = std::dynamic_pointer_cast<Gtk::StringList>(dropDown->get_model());
            guint selected = dropDown->get_selected();
            line = fmt::format("pop-up \"{}\" ({} items)",
                               list && selected != GTK_INVALID_LIST_POSITION
                                   ? DisplayText::printable(list->get_string(selected).raw())
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
