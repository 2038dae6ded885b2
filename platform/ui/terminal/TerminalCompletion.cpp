#include "platform/ui/terminal/TerminalCompletion.h"

#include <algorithm>
#include <cctype>

#include "platform/foundation/AsciiText.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/CommandInterpreter.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace platform {

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

LineEditor::Completion completeCommandLine(const std::string& before, const AlertRequest* waitingAlert) {
    LineEditor::Completion out;
    PartialLine line = splitPartial(before);
    auto key = Application::shared().keyWindow();
    bool alertWaiting = waitingAlert != nullptr;
    std::vector<std::string> buttonTitles;
    if (alertWaiting)
        for (const auto& b : alertButtons(*waitingAlert)) buttonTitles.push_back(b.title);

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
        std::vector<std::string> first = CommandInterpreter::commandNames();
        first.insert(first.end(), buttonTitles.begin(), buttonTitles.end());
        offerWords(first);
        return out;
    }
    std::string command = AsciiText::lower(line.words[0]);
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
        if (!head.empty() && CommandInterpreter::isContextPath(head)) {
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
