#pragma once

// What tests and tools outside the process read of the desktop: the geometry file (where every
// mapped control, label and window is on the screen, see GtkFrontEnd::geometry) and screenshots
// (GtkFrontEnd::saveScreenshot, defined here). Nothing a person uses depends on it.

#include <glibmm/refptr.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace Gtk {
class ListBox;
class StringList;
class Widget;
class Window;
}  // namespace Gtk

namespace platform {

// The widget a view is shown with.
enum class GtkControlKind { None, PushButton, CheckBox, Entry, Label, PopUp, Image, Table };

// A view's widget, as the geometry file names it and reads its state.
struct GeometryControl {
    std::string identifier;
    GtkControlKind kind = GtkControlKind::None;
    Glib::RefPtr<Gtk::StringList> items;  // a pop-up's
    Gtk::ListBox* rows = nullptr;         // a table's
};

struct GeometryWindow {
    Gtk::Window* window = nullptr;
    std::map<const Gtk::Widget*, GeometryControl> controls;  // the views with an identifier
};

// One tab-separated line per mapped window, named view and label (the format GtkFrontEnd.h gives).
std::string describeGeometry(const std::vector<GeometryWindow>& windows);
// Writes `text` to `file` whole (through a temporary file renamed over it); a failure is logged.
void writeGeometryFile(const std::filesystem::path& file, const std::string& text);

}  // namespace platform
