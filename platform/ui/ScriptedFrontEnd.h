#pragma once

// ScriptedFrontEnd: the front end a program drives -- the test driver, and the host program's
// non-interactive commands. It does what a person at the screen would do, by name:
//
//   ScriptedFrontEnd ui;                       // installs itself as the application's front end
//   ui.chooseMenu({"Plug-ins", "Zandrel", "Duplicate form definition"});
//   ui.selectPopUpItem("templates", "Projects");
//   ui.typeText("name", "Projects 2");         // being edited until the field resigns
//   ui.answerAlert("OK");                      // the next alert will be answered with "OK"
//   ui.pressButton("Duplicate");               // by identifier or by title
//   EXPECT_EQ(ui.alerts().back().title, "Zandrel");
//
// Alerts. Each alert takes the next scripted answer (a button title or a return value) and is
// recorded with what was on screen at the time: the key window and whether a sheet was open.
// An alert with no answer left, or whose answer names a button it does not have, throws
// ScriptedFrontEndError naming the alert: a script that forgot an alert fails at once instead of
// waiting for an answer nobody will give.
//
// Finding things. Views are looked up among the visible views of the key window (or the window
// given); a missing view, a view of the wrong class or an empty menu path throws
// ScriptedFrontEndError saying what was looked for and where. Acting on a control that is there
// but disabled does nothing and returns false, as it would for a person.
//
// Blocking modal loops. A blocking modal run does not return until its window is closed, so the
// actions that close it must be queued first: later() runs an action on the main queue, which
// the modal loop serves.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ui/FrontEnd.h"

namespace platform {

class Button;
class Menu;
class PopUpButton;
class TextField;
class View;
class Window;

class ScriptedFrontEndError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RecordedAlert {
    std::string title;
    std::string message;
    std::vector<std::string> buttons;  // default first, then alternate and other when present
    bool informational = false;
    std::string keyWindowTitle;  // empty when no window was key
    bool hadKeyWindow = false;
    bool sheetOpen = false;  // some visible window had a sheet attached
    int modalDepth = 0;      // modal loops and sessions running at the time
    int answer = 0;          // the kAlert...Return value given
    std::string answerTitle;
};

class ScriptedFrontEnd : public FrontEnd {
public:
    // Installs itself as the application's front end (when `install`), and uninstalls on
    // destruction if it is still the installed one.
    explicit ScriptedFrontEnd(bool install = true);
    ~ScriptedFrontEnd() override;
    ScriptedFrontEnd(const ScriptedFrontEnd&) = delete;
    ScriptedFrontEnd& operator=(const ScriptedFrontEnd&) = delete;

    // --- alerts
    void answerAlert(std::string buttonTitle);
    void answerAlertWithReturn(int returnValue);
    size_t pendingAnswers() const { return m_answers.size(); }
    const std::vector<RecordedAlert>& alerts() const { return m_alerts; }
    // The last alert shown; throws when none was.
    const RecordedAlert& lastAlert() const;
    void clearAlerts() { m_alerts.clear(); }

    // --- other things the application shows
    const std::vector<std::string>& openedURLs() const { return m_openedURLs; }
    void setOpenURLSucceeds(bool succeeds) { m_openURLSucceeds = succeeds; }
    int windowChangeCount() const { return m_windowChanges; }

    // --- acting like a person
    // The key window; throws when there is none.
    std::shared_ptr<Window> keyWindow() const;
    std::shared_ptr<View> findView(const std::string& identifier, const Window* window = nullptr) const;
    template <typename T>
    std::shared_ptr<T> find(const std::string& identifier, const Window* window = nullptr) const {
        auto view = findView(identifier, window);
        auto typed = std::dynamic_pointer_cast<T>(view);
        if (!typed) throw wrongClass(identifier, *view);
        return typed;
    }
    // By identifier, or else by title.
    std::shared_ptr<Button> findButton(const std::string& identifierOrTitle,
                                       const Window* window = nullptr) const;

    // Chooses a command of the application's menu bar; false when the item is disabled.
    bool chooseMenu(const std::vector<std::string>& path);
    bool chooseMenu(const std::string& path);  // "Plug-ins > Zandrel > Duplicate form definition"
    // Chooses a pop-up entry (sending the action); false when disabled.
    bool selectPopUpItem(const std::string& identifier, int64_t index, const Window* window = nullptr);
    bool selectPopUpItem(const std::string& identifier, const std::string& title,
                         const Window* window = nullptr);
    // Types into a field: the text stays in its editing buffer until the field resigns. False
    // when the field cannot be edited.
    bool typeText(const std::string& identifier, const std::string& text, const Window* window = nullptr);
    // Clicks a button found by identifier or title; false when it is disabled.
    bool pressButton(const std::string& identifierOrTitle, const Window* window = nullptr);
    // Clicks a check box (on -> off, off or mixed -> on); false when it is disabled.
    bool tickCheckBox(const std::string& identifier, const Window* window = nullptr);
    // Toggles a table's check-box cell (row from 0) from the value the table last showed (read,
    // reloaded or entered; the data source's when none) through the table's data source; the column
    // by identifier, or empty for the table's only check-box column. Throws when the table, row
    // or column is not there; false when the table is disabled.
    bool tickTableCell(const std::string& tableIdentifier, size_t row,
                       const std::string& columnIdentifier = "", const Window* window = nullptr);
    // The contextual menu of the selected table row of the window (see
    // contextualMenuOfSelectedRow); throws saying why when there is none.
    std::shared_ptr<Menu> contextualMenu(const Window* window = nullptr) const;
    // Chooses an item of that menu by title (the usual matching); false when it is disabled or
    // nobody handled it, throws when there is no such item.
    bool chooseContextualMenuItem(const std::string& title, const Window* window = nullptr);

    // The window's own close control; false when the window has none.
    bool closeWindow(const Window* window = nullptr);

    // Runs `action` on the main queue after the current work, e.g. inside a modal loop that is
    // about to start.
    void later(std::function<void()> action);

    // FrontEnd
    int runAlert(const AlertRequest& alert) override;
    void windowChanged(Window& window) override { ++m_windowChanges; }
    bool openURL(const std::string& url) override;

private:
    struct Answer {
        std::optional<std::string> title;
        int returnValue = 0;
    };
    const Window& windowOrKey(const Window* window, std::shared_ptr<Window>& keep) const;
    static ScriptedFrontEndError wrongClass(const std::string& identifier, const View& view);

    std::deque<Answer> m_answers;  // the next answer first
    std::vector<RecordedAlert> m_alerts;
    std::vector<std::string> m_openedURLs;
    bool m_openURLSucceeds = true;
    int m_windowChanges = 0;
    bool m_installed = false;
};

}  // namespace platform
