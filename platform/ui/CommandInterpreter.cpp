#include "platform/ui/CommandInterpreter.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <exception>

#include "platform/foundation/AsciiText.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TerminalDrawing.h"
#include "platform/ui/TerminalRenderer.h"
#include "platform/ui/TextField.h"

namespace platform {

namespace {

constexpr size_t kMaxPageRows = 1000;

}  // namespace

// ---------------------------------------------------------------- acts on the model

CommandInterpreter::Act CommandInterpreter::Host::chooseMenuItem(MenuItem& item) {
    return item.performAction() ? Act::ok() : Act::refused();
}

CommandInterpreter::Act CommandInterpreter::Host::click(Button& button) {
    return button.performClick() ? Act::ok() : Act::refused();
}

CommandInterpreter::Act CommandInterpreter::Host::choosePopUpItem(PopUpButton& popUp, size_t index) {
    return popUp.chooseItemAtIndex(static_cast<int64_t>(index)) ? Act::ok() : Act::refused();
}

CommandInterpreter::Act CommandInterpreter::Host::selectRow(TableView& table, int64_t row) {
    table.selectRow(row);
    return Act::ok();
}

CommandInterpreter::Act CommandInterpreter::Host::typeText(TextField& field, const std::string& text) {
    return field.typeText(text) ? Act::ok() : Act::refused();
}

CommandInterpreter::Act CommandInterpreter::Host::toggleCell(TableView& table, size_t column, size_t row) {
    return table.toggleCheckBoxAt(column, row) ? Act::ok() : Act::refused();
}

CommandInterpreter::Act CommandInterpreter::Host::close(Window& window) {
    window.performClose();
    return Act::ok();
}

// ---------------------------------------------------------------- the language

const std::vector<std::string>& CommandInterpreter::commandNames() {
    static const std::vector<std::string> names{"answer", "close",  "help", "menu", "next", "prev",   "press",
                                                "quit",   "select", "show", "tick", "type", "windows"};
    return names;
}

bool CommandInterpreter::isContextPath(const std::string& path) {
    auto titles = splitMenuPath(path);
    return !titles.empty() && AsciiText::lower(titles.front()) == "context";
}

bool CommandInterpreter::closeModalAtEndOfInput(std::vector<std::weak_ptr<Window>>& tried,
                                                const std::function<void(const std::string&)>& say) {
    auto modal = Application::shared().modalWindow();
    if (!modal) return false;
    if (std::none_of(tried.begin(), tried.end(), [&](const auto& w) { return w.lock() == modal; })) {
        say(fmt::format("(closing the modal window {})\n", TerminalRenderer::windowName(*modal)));
        tried.push_back(modal);
        modal->close();
        return true;
    }
    say(fmt::format("(the modal window {} did not end its modal loop when closed)\n",
                    TerminalRenderer::windowName(*modal)));
    return false;
}

std::string CommandInterpreter::helpText() {
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

std::optional<std::vector<std::string>> CommandInterpreter::splitWords(const std::string& line,
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

bool CommandInterpreter::fail(const std::string& message) {
    m_lastError = message;
    m_host.say(message + "\n");
    return false;
}

bool CommandInterpreter::failAct(const Act& act, const std::string& otherwise) {
    return act.done || fail(act.why.empty() ? otherwise : act.why);
}

bool CommandInterpreter::execute(const std::string& line) {
    std::string error;
    auto words = splitWords(line, error);
    if (!words) return fail(fmt::format("Cannot read that command: {}.", error));
    if (words->empty()) return true;
    try {
        return runCommand(*words);
    } catch (const std::exception& e) {
        return fail(fmt::format("The command \"{}\" failed: {}", DisplayText::printable((*words)[0]),
                                DisplayText::printable(e.what())));
    }
}

bool CommandInterpreter::runCommand(const std::vector<std::string>& words) {
    std::string command = AsciiText::lower(words[0]);
    bool alertWaiting = m_host.waitingAlert() != nullptr;
    if (command == "help" || command == "?") {
        m_host.say(helpText());
    } else if (command == "show") {
        return commandShow(words);
    } else if (command == "windows") {
        m_host.say(TerminalRenderer::renderWindowList());
    } else if (command == "answer") {
        return commandAnswer(words);
    } else if (command == "menu" && words.size() == 1) {
        auto menu = Application::shared().mainMenu();
        if (!menu) return fail("The application has no menu bar.");
        m_host.say(TerminalRenderer::renderMenuBar(*menu));
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
        m_host.quit();
    } else if (alertWaiting) {
        // At the "answer>" prompt a bare button number or title is the answer.
        std::vector<std::string> answer{"answer"};
        answer.insert(answer.end(), words.begin(), words.end());
        return commandAnswer(answer);
    } else {
        std::string nearest = nearestTitle(commandNames(), words[0]);
        return fail(fmt::format("Unknown command \"{}\"{}: type \"help\" for the list of commands.",
                                DisplayText::printable(words[0]),
                                nearest.empty() ? "" : fmt::format(" (did you mean \"{}\"?)", nearest)));
    }
    return true;
}

std::shared_ptr<Window> CommandInterpreter::keyWindowOrSay() {
    auto found = lookUpKeyWindow();
    if (!found.window) fail(found.error);
    return found.window;
}

std::shared_ptr<View> CommandInterpreter::viewOrSay(const Window& window, const std::string& ref) {
    auto found = lookUpView(window, ref, TerminalRenderer::windowName(window));
    if (!found.view) fail(found.error);
    return found.view;
}

bool CommandInterpreter::commandMenu(const std::vector<std::string>& words) {
    if (isContextPath(AsciiText::joinWords(words, 1)))
        return commandContextMenu(AsciiText::joinWords(words, 1));
    auto menu = Application::shared().mainMenu();
    if (!menu) return fail("The application has no menu bar.");
    std::string path = AsciiText::joinWords(words, 1);
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
            if (!AsciiText::isNumber(part))
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
        return fail(fmt::format("No menu command \"{}\": {}. Type \"menu\" to see them all.",
                                DisplayText::printable(path), found.error));
    if (found.item->hasSubmenu()) {
        std::string titles;
        for (const auto& item : numberedItems(*found.item->submenu()))
            titles += (titles.empty() ? "" : ", ") + item->title();
        return fail(
            fmt::format("\"{}\" is a submenu; choose one of its commands: {}.", found.item->title(), titles));
    }
    if (!found.item->isEnabled())
        return fail(fmt::format("The menu command \"{}\" is disabled right now.", found.item->title()));
    m_host.changed();
    return failAct(m_host.chooseMenuItem(*found.item),
                   fmt::format("Nobody handled the menu command \"{}\".", found.item->title()));
    return true;
}

bool CommandInterpreter::commandContextMenu(const std::string& path) {
    auto window = keyWindowOrSay();
    if (!window) return false;
    auto found = contextualMenuOfSelectedRow(*window);
    if (!found.menu)
        return fail(
            fmt::format("No contextual menu in {}: {}.", TerminalRenderer::windowName(*window), found.error));
    std::string rowName = DisplayText::printable(found.table->valueAt(0, found.row).description());
    auto titles = splitMenuPath(path);
    titles.erase(titles.begin());
    if (titles.empty()) {
        m_host.say(TerminalRenderer::renderMenu(
            *found.menu,
            fmt::format("Contextual menu of row {} of \"{}\" ({}):", found.row + 1,
                        DisplayText::printable(found.table->identifier()), rowName),
            m_host.width()));
        return true;
    }
    // Titles first, as for the menu bar; an item number when the path is one number.
    MenuLookup item = findMenuItem(*found.menu, titles);
    if (!item.item && titles.size() == 1 && AsciiText::isNumber(titles.front())) {
        MenuLookup numbered = findMenuItem(*found.menu, std::vector<int>{std::stoi(titles.front())});
        if (numbered.item) item = numbered;
    }
    if (!item.item)
        return fail(
            fmt::format("The contextual menu of row {} has {}: \"menu context\" lists it.", found.row + 1,
                        item.error.starts_with("no ") ? item.error : "no such item (" + item.error + ")"));
    if (item.item->hasSubmenu())
        return fail(fmt::format("\"{}\" is a submenu; choose one of its items.",
                                DisplayText::printable(item.item->title())));
    if (!item.item->isEnabled())
        return fail(
            fmt::format("The contextual menu item \"{}\" is disabled: nothing carries it out for row {} "
                        "({}).",
                        DisplayText::printable(item.item->title()), found.row + 1, rowName));
    m_host.changed();
    return failAct(m_host.chooseMenuItem(*item.item),
                   fmt::format("Nobody handled the contextual menu item \"{}\".",
                               DisplayText::printable(item.item->title())));
    return true;
}

std::shared_ptr<View> CommandInterpreter::commandView(const std::vector<std::string>& words, size_t minWords,
                                                      const char* usage) {
    if (words.size() < minWords) {
        fail(fmt::format("Usage: {}", usage));
        return nullptr;
    }
    auto window = keyWindowOrSay();
    return window ? viewOrSay(*window, words[1]) : nullptr;
}

bool CommandInterpreter::commandSelect(const std::vector<std::string>& words) {
    auto view = commandView(words, 3, "select <view> <item title or number>");
    if (!view) return false;
    std::string item = AsciiText::joinWords(words, 2);
    m_host.changed();
    if (auto popUp = std::dynamic_pointer_cast<PopUpButton>(view)) {
        auto titles = popUp->itemTitles();
        // A title first: a template may well be named "2".
        TitleMatch match = matchTitle(titles, item, "item");
        std::optional<size_t> index = match.index;
        if (!index && AsciiText::isNumber(item) && std::stoul(item) >= 1 && std::stoul(item) <= titles.size())
            index = std::stoul(item) - 1;
        if (!index)
            return fail(fmt::format("The pop-up \"{}\": {}. Give a title or a number from 1 to {}.",
                                    DisplayText::printable(words[1]), match.error, titles.size()));
        return failAct(m_host.choosePopUpItem(*popUp, *index),
                       fmt::format("The pop-up \"{}\" is disabled.", DisplayText::printable(words[1])));
    }
    if (auto table = std::dynamic_pointer_cast<TableView>(view)) {
        size_t rows = table->numberOfRows();
        int64_t row;
        if (AsciiText::lower(item) == "none")
            row = -1;
        else if (AsciiText::isNumber(item) && std::stoul(item) >= 1 && std::stoul(item) <= rows)
            row = static_cast<int64_t>(std::stoul(item)) - 1;
        else
            return fail(
                fmt::format("The table \"{}\" has no row \"{}\": give a number from 1 to {}, or none.",
                            DisplayText::printable(words[1]), DisplayText::printable(item), rows));
        return failAct(m_host.selectRow(*table, row),
                       fmt::format("The table \"{}\" is disabled.", DisplayText::printable(words[1])));
    }
    return fail(fmt::format("\"{}\" is a {}: select works on pop-ups and tables.",
                            DisplayText::printable(words[1]), TerminalRenderer::describeView(*view).first));
}

bool CommandInterpreter::commandType(const std::vector<std::string>& words) {
    auto view = commandView(words, 2, "type <view> <text...>   (type <view> \"\" to empty the field)");
    if (!view) return false;
    auto field = std::dynamic_pointer_cast<TextField>(view);
    if (!field)
        return fail(fmt::format("\"{}\" is a {}, not a text field.", DisplayText::printable(words[1]),
                                TerminalRenderer::describeView(*view).first));
    std::string text = AsciiText::joinWords(words, 2);
    if (TextField::findUntypable(text))
        return fail(
            fmt::format("Not typed: \"{}\" holds control characters or bytes that are not UTF-8 "
                        "(shown escaped); type the text without them.",
                        DisplayText::printable(text)));
    m_host.changed();
    return failAct(m_host.typeText(*field, text),
                   fmt::format("\"{}\" cannot be typed into ({}).", DisplayText::printable(words[1]),
                               field->isEditable() ? "it is disabled" : "it is a label"));
}

bool CommandInterpreter::commandPress(const std::vector<std::string>& words) {
    if (words.size() < 2) return fail("Usage: press <view|button title>");
    auto window = keyWindowOrSay();
    if (!window) return false;
    std::string ref = AsciiText::joinWords(words, 1);
    // An identifier names one view for sure; then titles by the usual rules; then numbers.
    std::shared_ptr<View> view = findVisibleView(*window, ref);
    std::shared_ptr<Button> button = view ? nullptr : findVisibleButton(*window, ref);
    if (!view && !button) {
        if (!AsciiText::isNumber(!ref.empty() && ref[0] == '#' ? ref.substr(1) : ref)) {
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
            return fail(fmt::format("\"{}\" is a {}, not a button.", DisplayText::printable(ref),
                                    TerminalRenderer::describeView(*view).first));
    }
    m_host.changed();
    return failAct(m_host.click(*button),
                   fmt::format("The button \"{}\" is disabled.", DisplayText::printable(button->title())));
}

bool CommandInterpreter::commandTick(const std::vector<std::string>& words) {
    auto view = commandView(words, 2, "tick <view>, or tick <table> <row> [<column>]");
    if (!view) return false;
    if (auto table = std::dynamic_pointer_cast<TableView>(view)) return commandTickCell(*table, words);
    auto box = std::dynamic_pointer_cast<Button>(view);
    if (!box || box->kind() != Button::Kind::CheckBox)
        return fail(fmt::format("\"{}\" is a {}, not a check box{}.", DisplayText::printable(words[1]),
                                TerminalRenderer::describeView(*view).first, box ? ": use press" : ""));
    m_host.changed();
    return failAct(m_host.click(*box),
                   fmt::format("The check box \"{}\" is disabled.", DisplayText::printable(box->title())));
}

bool CommandInterpreter::commandTickCell(TableView& table, const std::vector<std::string>& words) {
    auto cell = lookUpCheckBoxCell(table, words);
    if (!cell.error.empty()) return fail(cell.error);
    std::string name = DisplayText::printable(words[1]);
    if (!table.isEnabled()) return fail(fmt::format("The table \"{}\" is disabled.", name));
    m_host.changed();
    // The box as drawn: another host's change since then shows at the next draw, not in the tick.
    return failAct(m_host.toggleCell(table, cell.column, cell.row),
                   fmt::format("Row {} of the table \"{}\" cannot be changed.", cell.row + 1, name));
}

bool CommandInterpreter::commandClose() {
    auto window = keyWindowOrSay();
    if (!window) return false;
    // An open popover closes before its window, as Escape would close it.
    if (TerminalDrawing::closeFrontmostPopover(*window)) {
        m_host.changed();
        return true;
    }
    if (!window->isClosable())
        return fail(fmt::format("The window {} has no close control: use its buttons.",
                                TerminalRenderer::windowName(*window)));
    m_host.changed();
    return failAct(m_host.close(*window),
                   fmt::format("The window {} did not close.", TerminalRenderer::windowName(*window)));
}

bool CommandInterpreter::commandAnswer(const std::vector<std::string>& words) {
    const AlertRequest* alert = m_host.waitingAlert();
    if (!alert) return fail("No alert is waiting for an answer.");
    auto buttons = alertButtons(*alert);
    std::string choice = AsciiText::joinWords(words, 1);
    std::optional<int> value = alertReturnForTitle(*alert, choice);
    if (!value && AsciiText::isNumber(choice) && std::stoul(choice) >= 1 &&
        std::stoul(choice) <= buttons.size())
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
    m_host.answerAlert(*value);
    return true;
}

bool CommandInterpreter::commandShow(const std::vector<std::string>& words) {
    if (auto key = Application::shared().keyWindow())
        NotificationCenter::defaultCenter().post(kWindowWillShowContentsNotification, key);
    if (words.size() == 1) {
        m_host.show();
        return true;
    }
    auto view = commandView(words, 2, "show [<table> [<from>-<to>]]");
    if (!view) return false;
    auto table = std::dynamic_pointer_cast<TableView>(view);
    if (!table)
        return fail(fmt::format("\"{}\" is a {}: pages are shown of tables.",
                                DisplayText::printable(words[1]),
                                TerminalRenderer::describeView(*view).first));
    size_t rows = table->numberOfRows();
    size_t first = 1, last = m_tablePageRows;
    if (words.size() >= 3) {
        std::string range = AsciiText::joinWords(words, 2);
        size_t dash = range.find('-');
        std::string from = range.substr(0, dash),
                    to = dash == std::string::npos ? "" : range.substr(dash + 1);
        if (!AsciiText::isNumber(from) || !AsciiText::isNumber(to) || std::stoul(from) < 1 ||
            std::stoul(to) < std::stoul(from))
            return fail(
                fmt::format("\"{}\" is not a range of rows such as 21-40.", DisplayText::printable(range)));
        first = std::stoul(from);
        last = std::stoul(to);
        if (last - first + 1 > kMaxPageRows)
            return fail(fmt::format("At most {} rows are shown at once.", kMaxPageRows));
        if (first > std::max<size_t>(rows, 1))
            return fail(fmt::format("The table \"{}\" has {} rows.", DisplayText::printable(words[1]), rows));
        m_tablePageRows = last - first + 1;
    } else {
        first = m_tableFirstRow.count(table.get()) ? m_tableFirstRow[table.get()] + 1 : 1;
    }
    m_tableFirstRow[table.get()] = first - 1;
    m_lastTable = table;
    m_host.show();
    return true;
}

bool CommandInterpreter::commandPage(int direction) {
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
    m_host.show();
    return true;
}

}  // namespace platform
