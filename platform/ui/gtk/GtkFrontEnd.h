#pragma once

// GtkFrontEnd: shows the UI model in GTK 4 windows and hands what a person does with them back
// to the model, so the plug-ins' dialogs run unchanged on a desktop.
//
// Model to widgets. Views do not report each change, so at the start of every run-loop pass the
// front end compares each visible window's views with their widgets and updates only what
// differs (title, enabled state, text, items, selection, rows). Windows the model no longer
// shows are hidden and dropped.
//
// Placement. Widgets sit in a Gtk::Fixed at the frames the model gives its views (solved by the
// layout engine or written in the window description). GTK's constraint layout is not used: the
// frames are already solved once for every front end, so feeding GTK the same constraints would
// solve them a second time with another solver that may round or break ties differently, and the
// terminal, the tests and the desktop would no longer agree on where a control is. A view without
// a frame (a window built in code) is stacked below the previous one at the window's width.
//
// Widgets to model. A click, a choice, a tick or a menu command is queued on the main queue and
// run on the next pass, outside GTK's signal emission -- the same place a terminal command runs
// -- so a modal loop it starts is an ordinary nested run loop. Typing goes straight into the
// field's editing buffer; text a person could not have typed is refused and the entry reverted.
//
// Windows. Sheets are modal windows transient for their parent; windows of a modal loop are
// modal. Normal windows carry the menu bar (a Gtk::PopoverMenuBar over a Gio::Menu whose
// actions choose the model's menu items). The window's own close control asks the model
// (performClose); GTK never destroys a window the model still shows.
//
// Alerts are modal windows with one button per alert button, the default one marked and taking
// Return; runAlert() runs a nested modal loop until one is pressed. Closing one (or Escape)
// answers with the alternate button when there is one, else the default.
//
// Keyboard. Return presses a window's default button; Escape in a sheet or a modal window
// presses its cancel button (the one whose key equivalent is Escape, else the one titled
// Cancel), as it does at the terminal. A table takes focus as one control (Tab reaches it) and
// its rows never take focus themselves: GTK selects the row that gets focus, so focusable rows
// would be selected for nobody whenever the window gets focus back. In a focused table Up, Down,
// Home, End, Page Up and Page Down move the selection and Space ticks or unticks the selected
// row's first check-box cell.
//
// Acts. After a person's act has been handled, once no other act is still running (an act that
// opened an alert completes when the alert is answered), the after-act handler runs: the host
// saves there, as it does after each terminal command.
//
// Geometry file. When set, the front end writes where every mapped control, label and window is
// on the screen (see writeGeometry) whenever that changes, so tools outside the process can
// drive the windows with real pointer and key events.

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/FrontEnd.h"
#include "platform/ui/gtk/GlibRunLoopSource.h"

namespace Gtk {
class Button;
class PopoverMenuBar;
class Widget;
class Window;
}  // namespace Gtk

namespace platform {

class Menu;
class MenuItem;
class View;
class Window;

class GtkFrontEnd : public FrontEnd {
public:
    // Connects to the display (GTK's own DISPLAY/WAYLAND_DISPLAY rules); throws with what to do
    // when there is none.
    GtkFrontEnd();
    ~GtkFrontEnd() override;
    GtkFrontEnd(const GtkFrontEnd&) = delete;
    GtkFrontEnd& operator=(const GtkFrontEnd&) = delete;

    // True when GTK can open a display here.
    static bool displayAvailable();

    // Becomes the application's front end and serves GTK from the main run loop in every mode.
    void start();
    // Hides every window, declines waiting alerts (decliningButton) and uninstalls.
    void stop();
    bool isRunning() const { return m_running; }

    // Brings every widget up to date with the model now (it happens on every pass anyway).
    void syncAll();

    // FrontEnd
    int runAlert(const AlertRequest& alert) override;
    void windowChanged(Window& window) override {}
    bool openURL(const std::string& url) override;

    // What a script, a test or a screenshot needs to reach.
    Gtk::Window* gtkWindow(const Window& window) const;
    Gtk::Widget* widgetFor(const View& view) const;
    Gtk::PopoverMenuBar* menuBar(const Window& window) const;
    struct AlertState {
        AlertRequest request;
        std::optional<int> answer;
        Gtk::Window* window = nullptr;
        std::vector<std::pair<Gtk::Button*, int>> buttons;  // in the order shown, with return values
    };
    // The innermost alert waiting for an answer, or none.
    AlertState* currentAlert();
    // Chooses a menu item the way the menu bar does: through its action. False when disabled.
    bool activateMenuItem(const std::shared_ptr<MenuItem>& item);
    GlibRunLoopSource& glibSource() { return *m_glib; }

    void setAfterActHandler(std::function<void()> handler) { m_afterAct = std::move(handler); }
    // Empty: none is written.
    void setGeometryFile(std::filesystem::path file) { m_geometryFile = std::move(file); }
    // What the geometry file holds now: one line per window, mapped view (by identifier) and
    // mapped label, tab-separated -- kind (window, view, label), text (the title, the view's
    // identifier, the label's text), the X window to click in (0 off X11), x, y, width, height
    // in that window's coordinates, the surface (toplevel or popup), the title of the window it
    // belongs to, and a state: for a window "active" or "inactive" and "modal" when it is; for
    // a view what it shows (an entry's text, a pop-up's choice, a table's "rows N selected I",
    // a check box's "on"/"off", a button's title) with "disabled" and "focus" when so; for a
    // label "focus" when what it names has the keyboard; views and labels end in "hover" while
    // the pointer is over them.
    std::string geometry() const;

    // Renders `widget` as it looks now into a PNG file; false with `error` set when it has no
    // size yet or the file cannot be written.
    static bool saveScreenshot(Gtk::Widget& widget, const std::filesystem::path& file, std::string& error);

private:
    struct ViewEntry;
    struct WindowEntry;

    WindowEntry& entryFor(const std::shared_ptr<Window>& window);
    void syncWindow(WindowEntry& entry, const std::shared_ptr<Window>& window, bool isKey);
    void syncView(WindowEntry& entry, const std::shared_ptr<View>& view, double x, double y, bool hidden);
    Gtk::Widget* createWidget(WindowEntry& entry, const std::shared_ptr<View>& view);
    void updateWidget(ViewEntry& ve, View& view);
    void syncMenuBar(WindowEntry& entry);
    void dropWindow(const Window* window);
    // Runs `action` on the next pass, unless the change came from the model itself.
    void deferToModel(std::function<void()> action);
    void actFinished();
    void writeGeometry();
    // Escape in a sheet or a modal window: true when a cancel button was pressed.
    bool cancelWithKeyboard(const std::shared_ptr<Window>& window);
    // A key pressed in a focused table: true when the table used it.
    bool tableKey(const std::shared_ptr<View>& view, unsigned keyval);

    std::unique_ptr<GlibRunLoopSource> m_glib;
    std::map<const Window*, std::unique_ptr<WindowEntry>> m_windows;
    std::vector<AlertState*> m_alerts;
    std::weak_ptr<Window> m_lastKey;
    bool m_running = false;
    int m_syncing = 0;  // widget signals caused by the model's own updates are not passed back
    int m_actsRunning = 0;
    bool m_afterActQueued = false;
    std::function<void()> m_afterAct;
    std::filesystem::path m_geometryFile;
    std::string m_lastGeometry;
};

}  // namespace platform
