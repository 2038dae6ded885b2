#pragma once

// GuiSession: a `zandrel-host --gui` a test drives as a person would, with real X pointer and
// key events (xdotool) on the virtual display. Where things are comes from the host's own
// geometry file (ZANDREL_GUI_GEOMETRY, see GtkFrontEnd::geometry), so clicks land on the
// widget as GTK laid it out, whatever the theme, the fonts or the window manager made of it.
//
// Waiting. The host is another process: every wait polls the geometry file (or the process)
// until what it waits for is there, with a deadline, and fails the test with what was last
// seen when it is not.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// The duplicate sheet's title.
inline const std::string kSheet = "Duplicate Form Template";

class GuiSession {
public:
    // One line of the geometry file.
    struct Item {
        std::string kind;  // window, view, label
        std::string text;
        unsigned long xid = 0;
        int x = 0, y = 0, width = 0, height = 0;
        std::string surface;  // toplevel, popup
        std::string window;   // title of the window it belongs to
        std::string state;    // without "hover"
        bool hover = false;   // GTK has seen the pointer over it
    };
    using Match = std::function<bool(const Item&)>;

    // Starts the host on `db`, its output and geometry files in `dir`, with `extra` arguments.
    GuiSession(const std::filesystem::path& db, const std::filesystem::path& dir,
               const std::vector<std::string>& extra = {});
    ~GuiSession();  // kills the host if it still runs
    GuiSession(const GuiSession&) = delete;
    GuiSession& operator=(const GuiSession&) = delete;

    pid_t pid() const { return m_pid; }
    std::vector<Item> items() const;
    // The first item `match` accepts once there is one; nullopt (and a test failure naming
    // `what`) after the deadline.
    std::optional<Item> waitFor(const Match& match, const std::string& what);
    std::optional<Item> waitForWindow(const std::string& title, const std::string& state = "active");
    std::optional<Item> waitForView(const std::string& window, const std::string& id,
                                    const std::string& state);
    std::optional<Item> waitForLabel(const std::string& surface, const std::string& window,
                                     const std::string& text);
    // Waits until no item `match` accepts is left.
    bool waitForNone(const Match& match, const std::string& what);

    // A click of the left button in the middle of `item`, once GTK has seen the pointer there
    // (a pop-up just mapped may not take input yet).
    void click(const Item& item);
    // Moves the pointer onto `item` until GTK sees it there; false when it never did.
    bool point(const Item& item);
    // xdotool key names ("Tab", "Return", "alt+F4"), pressed one after another.
    void keys(const std::vector<std::string>& names);
    void type(const std::string& text);
    // Presses the key until `match` finds an item, at most three times: GTK drops a key that
    // comes while it still hands the keyboard back from a pop-up that is closing. A key that
    // was only slow makes a later step fail, never one pass.
    bool pressUntil(const std::string& key, const Match& match, const std::string& what);

    // The exit status once the host has ended (-1: killed by a signal), or nullopt after the
    // deadline.
    std::optional<int> waitForExit();
    std::string errorOutput() const;

    static constexpr std::chrono::seconds kDeadline{20};

private:
    static std::string xdotool(const std::vector<std::string>& arguments);

    std::filesystem::path m_geometry;
    std::filesystem::path m_out;
    std::filesystem::path m_err;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

}  // namespace testsupport
