#include "platform/ui/gtk/GtkGeometry.h"

#include <fmt/format.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/listbox.h>
#include <gtkmm/stringlist.h>
#include <gtkmm/widgetpaintable.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "platform/foundation/Log.h"
#include "platform/ui/gtk/GtkFrontEnd.h"

// From GDK's X11 backend (gdk/x11/gdkx.h): that header brings Xlib's macros (Status, None,
// Bool), which clash with ordinary C++ names, for the two functions the geometry file needs.
extern "C" {
GType gdk_x11_surface_get_type(void);
unsigned long gdk_x11_surface_get_xid(GdkSurface* surface);
}

namespace platform {

namespace {

// Text in a tab-separated line of the geometry file.
std::string field(const Glib::ustring& text) {
    std::string out = text;
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return out;
}

template <typename F>
void forEachWidget(Gtk::Widget& widget, const F& f) {
    f(widget);
    for (auto* child = widget.get_first_child(); child; child = child->get_next_sibling())
        forEachWidget(*child, f);
}

}  // namespace

std::string describeGeometry(const std::vector<GeometryWindow>& windows) {
    std::string out;
    for (const auto& shownWindow : windows) {
        Gtk::Window* gw = shownWindow.window;
        const auto& named = shownWindow.controls;
        if (!gw->get_mapped()) continue;
        std::string title = field(gw->get_title());
        auto* focus = gw->get_focus();
        forEachWidget(*gw, [&](Gtk::Widget& widget) {
            if (!widget.get_mapped()) return;
            GtkNative* native = gtk_widget_get_native(widget.gobj());
            GdkSurface* surface = native ? gtk_native_get_surface(native) : nullptr;
            if (!surface || !gdk_surface_get_mapped(surface)) return;
            const GeometryControl* view = nullptr;
            if (auto it = named.find(&widget); it != named.end()) view = &it->second;
            bool isWindow = &widget == gw;
            auto* label = GTK_IS_LABEL(widget.gobj()) ? GTK_LABEL(widget.gobj()) : nullptr;
            if (!isWindow && !view && !(label && *gtk_label_get_text(label))) return;
            graphene_rect_t bounds;
            if (!gtk_widget_compute_bounds(widget.gobj(), GTK_WIDGET(native), &bounds)) return;
            double sx = 0, sy = 0;
            gtk_native_get_surface_transform(native, &sx, &sy);
            unsigned long xid = G_TYPE_CHECK_INSTANCE_TYPE(surface, gdk_x11_surface_get_type())
                                    ? gdk_x11_surface_get_xid(surface)
                                    : 0;
            std::string kind, text, state;
            if (isWindow) {
                kind = "window";
                text = title;
                state = gw->is_active() ? "active" : "inactive";
                if (gw->get_modal()) state += " modal";
            } else if (view) {
                kind = "view";
                text = field(view->identifier);
                const GeometryControl& ve = *view;
                switch (ve.kind) {
                    case GtkControlKind::PushButton:
                        state = field(static_cast<Gtk::Button&>(widget).get_label());
                        break;
                    case GtkControlKind::CheckBox:
                        state = static_cast<Gtk::CheckButton&>(widget).get_active() ? "on" : "off";
                        break;
                    case GtkControlKind::Entry:
                        state = field(static_cast<Gtk::Entry&>(widget).get_text());
                        break;
                    case GtkControlKind::Label:
                        state = field(static_cast<Gtk::Label&>(widget).get_text());
                        break;
                    case GtkControlKind::PopUp: {
                        guint selected = static_cast<Gtk::DropDown&>(widget).get_selected();
                        if (ve.items && selected < ve.items->get_n_items())
                            state = field(ve.items->get_string(selected));
                        break;
                    }
                    case GtkControlKind::Table: {
                        int rows = 0;
                        while (ve.rows->get_row_at_index(rows)) ++rows;
                        auto* row = ve.rows->get_selected_row();
                        state = fmt::format("rows {} selected {}", rows, row ? row->get_index() : -1);
                        break;
                    }
                    case GtkControlKind::Image:
                    case GtkControlKind::None:
                        break;
                }
                if (!widget.is_sensitive()) state += " disabled";
                if (focus && (focus == &widget || focus->is_ancestor(widget))) state += " focus";
            } else {
                kind = "label";
                text = field(gtk_label_get_text(label));
                // The menu item or list row it names has the keyboard.
                for (GtkWidget* w = widget.gobj(); w && w != GTK_WIDGET(native); w = gtk_widget_get_parent(w))
                    if (gtk_widget_get_state_flags(w) & GTK_STATE_FLAG_FOCUSED) {
                        state = "focus";
                        break;
                    }
            }
            // GTK has seen the pointer over it: the surface is on the screen and takes input.
            if (!isWindow &&
                (widget.get_state_flags() & Gtk::StateFlags::PRELIGHT) == Gtk::StateFlags::PRELIGHT)
                state += state.empty() ? "hover" : " hover";
            out += fmt::format("{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\t{}\n", kind, text, xid,
                               std::lround(bounds.origin.x + sx), std::lround(bounds.origin.y + sy),
                               std::lround(bounds.size.width), std::lround(bounds.size.height),
                               GTK_IS_ROOT(native) ? "toplevel" : "popup", title, state);
        });
    }
    return out;
}

void writeGeometryFile(const std::filesystem::path& file, const std::string& text) {
    // Whole or not at all: a reader never sees half a file.
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out) {
            Log::format("cannot write the geometry file {}", temporary.string());
            return;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (error) Log::format("cannot write the geometry file {}: {}", file.string(), error.message());
}

bool GtkFrontEnd::saveScreenshot(Gtk::Widget& widget, const std::filesystem::path& file, std::string& error) {
    int width = widget.get_width();
    int height = widget.get_height();
    auto* native = widget.get_native();
    if (width <= 0 || height <= 0 || !native || !gtk_native_get_renderer(native->gobj())) {
        error = "the window is not on the screen yet";
        return false;
    }
    auto paintable = Gtk::WidgetPaintable::create(widget);
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(GDK_PAINTABLE(paintable->gobj()), GDK_SNAPSHOT(snapshot), width, height);
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    if (!node) {
        error = "the window drew nothing";
        return false;
    }
    // Not GRAPHENE_RECT_INIT: a C compound literal, which clang refuses in C++.
    graphene_rect_t bounds;
    graphene_rect_init(&bounds, 0, 0, static_cast<float>(width), static_cast<float>(height));
    GdkTexture* texture = gsk_renderer_render_texture(gtk_native_get_renderer(native->gobj()), node, &bounds);
    gsk_render_node_unref(node);
    bool ok = gdk_texture_save_to_png(texture, file.c_str());
    g_object_unref(texture);
    if (!ok) error = fmt::format("cannot write {}", file.string());
    return ok;
}

}  // namespace platform
