#pragma once

// CommandInterpreter: the one command language of the front ends -- the terminal's lines and the
// desktop's --script files. It reads a line, finds what it names in the key window (a view by
// identifier or by its number from `show`, "3" or "#3"; numbers of items, rows, buttons and menu
// entries count from 1; titles match exactly, then ignoring case, then by a unique prefix, and two
// candidates are refused, never guessed), checks it against the model and says why when it
// cannot run. The front end supplies the rest through Host: its drawing, its output, its alert,
// and how its own controls carry out an act (a terminal acts on the model; the desktop clicks its
// widgets, so what follows is what follows for a person with a mouse).
//
// Commands (helpText() has the list a person reads):
//
//   help                          this list
//   show                          draws the key window (and the alert waiting) again
//   show <table> <from>-<to>      shows those rows of a table ("show templates 21-40")
//   next / prev                   the next or previous page of the table shown last
//   windows                       lists the open windows, front to back
//   menu                          prints the menu bar with numbered paths
//   menu <path>                   chooses a menu command: "Plug-ins > Zandrel > Duplicate form
//                                 definition" or by numbers, "2.1.1"; "..." stands for "…"
//   menu context                  lists the contextual menu of the selected table row (of the
//                                 first table with a selected row in the key window)
//   menu context > <title>        chooses one of its items (by title or number); "context" is
//                                 the contextual menu, never a menu bar title
//   select <view> <item>          chooses a pop-up item by title or number, or a table row by
//                                 number ("none" clears a table's selection)
//   type <view> <text...>         types into a text field; the text stays being edited until the
//                                 field gives up focus (another field, the window closing)
//   press <view|button title>     clicks a button
//   tick <view>                   clicks a check box
//   tick <table> <row> [<column>] toggles a check-box cell of a table through its data source
//                                 (the column is needed when the table has several)
//   close                         the key window's own close control
//   answer <number|button title>  answers the alert that is waiting (while one waits the
//                                 number or the title alone will do)
//   quit                          closes modal windows and asks the host to quit
//
// Words are separated by spaces. Double quotes keep spaces and allow an empty word
// (type name ""); inside them \" is a quote and \\ a backslash. Single quotes are ordinary
// characters, so titles such as Don't need no quoting.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

struct AlertRequest;
class Button;
class MenuItem;
class PopUpButton;
class TableView;
class TextField;
class View;
class Window;

class CommandInterpreter {
public:
    // What a front end's control did with an act. Not done with an empty `why`: the control
    // refused (disabled, nobody handled it) and the interpreter says so in its own words.
    struct Act {
        bool done = true;
        std::string why;
        static Act ok() { return {}; }
        static Act refused(std::string why = {}) { return {false, std::move(why)}; }
    };

    class Host {
    public:
        using Act = CommandInterpreter::Act;
        virtual ~Host() = default;
        // A message for the person, line feeds included.
        virtual void say(std::string_view text) = 0;
        // Draws the key window (and the alert waiting) again, now.
        virtual void show() = 0;
        // A command acted on the model: whatever it changed is drawn once it is done.
        virtual void changed() {}
        // The innermost alert waiting, or none.
        virtual const AlertRequest* waitingAlert() = 0;
        virtual void answerAlert(int returnValue) = 0;
        // `quit`: close modal windows and ask the host to quit.
        virtual void quit() = 0;
        // Columns for the lists the interpreter prints (a contextual menu).
        virtual size_t width() const { return 80; }

        // How the front end's controls carry out an act. By default on the model, as a terminal does.
        virtual Act chooseMenuItem(MenuItem& item);
        virtual Act click(Button& button);
        virtual Act choosePopUpItem(PopUpButton& popUp, size_t index);
        // -1: no row.
        virtual Act selectRow(TableView& table, int64_t row);
        virtual Act typeText(TextField& field, const std::string& text);
        virtual Act toggleCell(TableView& table, size_t column, size_t row);
        virtual Act close(Window& window);
    };

    explicit CommandInterpreter(Host& host) : m_host(host) {}
    CommandInterpreter(const CommandInterpreter&) = delete;
    CommandInterpreter& operator=(const CommandInterpreter&) = delete;

    // Runs one command line; false when it failed (said through the host, and kept as
    // lastError()). A blank line does nothing.
    bool execute(const std::string& line);
    const std::string& lastError() const { return m_lastError; }

    static std::string helpText();
    static const std::vector<std::string>& commandNames();
    // Splits a command line into words (see the quoting rules above); nullopt with `error` set
    // on an unterminated quote.
    static std::optional<std::vector<std::string>> splitWords(const std::string& line, std::string& error);
    // "context" or "context > ...": the contextual menu of the selected table row.
    static bool isContextPath(const std::string& path);
    // At the end of input, modal windows close innermost first, one per pass so that each modal
    // loop can return: closes the innermost not tried yet (said through `say`) and returns true,
    // or says that the one tried did not end its loop and returns false. `tried` is the front
    // end's list for this end of input.
    static bool closeModalAtEndOfInput(std::vector<std::weak_ptr<Window>>& tried,
                                       const std::function<void(const std::string&)>& say);

    // Which rows of each table `show`, `next` and `prev` asked for, for the drawing.
    const std::unordered_map<const View*, size_t>& tableFirstRows() const { return m_tableFirstRow; }
    size_t tablePageRows() const { return m_tablePageRows; }

private:
    // Says `message` (and a line feed) and remembers it as the reason of the failure: false.
    bool fail(const std::string& message);
    bool failAct(const Act& act, const std::string& otherwise);
    bool runCommand(const std::vector<std::string>& words);
    bool commandMenu(const std::vector<std::string>& words);
    bool commandContextMenu(const std::string& path);
    bool commandSelect(const std::vector<std::string>& words);
    bool commandType(const std::vector<std::string>& words);
    bool commandPress(const std::vector<std::string>& words);
    bool commandTick(const std::vector<std::string>& words);
    bool commandTickCell(TableView& table, const std::vector<std::string>& words);
    bool commandClose();
    bool commandAnswer(const std::vector<std::string>& words);
    bool commandShow(const std::vector<std::string>& words);
    bool commandPage(int direction);
    // The key window, or none after saying that there is none.
    std::shared_ptr<Window> keyWindowOrSay();
    // A view of the key window by identifier or number, or none after saying why.
    std::shared_ptr<View> viewOrSay(const Window& window, const std::string& ref);
    // words[1] of a command that needs at least `minWords` words, as a view of the key window;
    // none after saying why (the usage when words are missing).
    std::shared_ptr<View> commandView(const std::vector<std::string>& words, size_t minWords,
                                      const char* usage);

    Host& m_host;
    std::string m_lastError;
    std::unordered_map<const View*, size_t> m_tableFirstRow;
    size_t m_tablePageRows = 20;
    std::weak_ptr<View> m_lastTable;
};

}  // namespace platform
