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
// Return; runAlert() runs a nested modal loop until one is pressed. Closing one answers with the
// alternate button when there is one (the way Escape cancels), else the default.

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
    // Hides every window, answers waiting alerts with their default button and uninstalls.
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

    std::unique_ptr<GlibRunLoopSource> m_glib;
    std::map<const Window*, std::unique_ptr<WindowEntry>> m_windows;
    std::vector<AlertState*> m_alerts;
    std::weak_ptr<Window> m_lastKey;
    bool m_running = false;
    int m_syncing = 0;  // widget signals caused by the model's own updates are not passed back
};

}  // namespace platform
