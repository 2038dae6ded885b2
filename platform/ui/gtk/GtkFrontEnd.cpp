#include "platform/ui/gtk/GtkFrontEnd.h"

#include <fmt/format.h>
#include <gdkmm/memorytexture.h>
#include <giomm/menu.h>
#include <giomm/simpleaction.h>
#include <giomm/simpleactiongroup.h>
#include <glibmm/markup.h>
#include <gtkmm/adjustment.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/fixed.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/image.h>
#include <gtkmm/init.h>
#include <gtkmm/label.h>
#include <gtkmm/listbox.h>
#include <gtkmm/popovermenubar.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/stringlist.h>
#include <gtkmm/window.h>

#include <algorithm>
#include <cmath>

#include "platform/foundation/Log.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Button.h"
#include "platform/ui/FrontEndSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Menu.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/GtkGeometry.h"

namespace platform {

namespace {

// A table this long is not read row by row by anyone; beyond it the last row says how many
// more there are (the terminal pages instead). Keeps a hostile table from building a million
// widgets.
constexpr size_t kMaxTableRows = 500;
constexpr double kMargin = 12;
constexpr double kSpacing = 8;

using Kind = GtkControlKind;

Kind kindOf(const View& view) {
    if (auto* b = dynamic_cast<const Button*>(&view))
        return b->kind() == Button::Kind::CheckBox ? Kind::CheckBox : Kind::PushButton;
    if (auto* t = dynamic_cast<const TextField*>(&view)) return t->isEditable() ? Kind::Entry : Kind::Label;
    if (dynamic_cast<const PopUpButton*>(&view)) return Kind::PopUp;
    if (dynamic_cast<const ImageView*>(&view)) return Kind::Image;
    if (dynamic_cast<const TableView*>(&view)) return Kind::Table;
    return Kind::None;
}

// GTK cannot show bytes that are not UTF-8 (it warns and shows nothing): they are shown escaped.
Glib::ustring shown(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    return DisplayText::printable(text);
}

// The theme's icon for a toolkit image named without pixels of its own. Only exact names count:
// a name is often an address, and "...top..." in one must not show an error sign.
const char* iconFor(const std::string& image) {
    if (image == "NSCaution") return "dialog-warning";
    if (image == "NSStopProgressTemplate" || image == "NSCriticalAlert") return "dialog-error";
    if (image == "NSInfo") return "dialog-information";
    return "image-missing";
}

// The picture's own pixels as a texture GTK can draw.
Glib::RefPtr<Gdk::Texture> textureFor(const Bitmap& bitmap) {
    auto bytes = Glib::Bytes::create(bitmap.rgba().data(), bitmap.rgba().size());  // copied
    return Gdk::MemoryTexture::create(static_cast<int>(bitmap.width()), static_cast<int>(bitmap.height()),
                                      Gdk::MemoryTexture::Format::R8G8B8A8, bytes, bitmap.stride());
}

std::string cellText(TableView& table, size_t column, size_t row) {
    const auto& col = table.tableColumns()[column];
    Value value = table.valueAt(column, row);
    if (col.checkBox) return value.isNull() ? "" : (value.asBool() ? "1" : "0");
    if (value.isNull()) return "";  // a cell without a value stays blank, as at the terminal
    return value.isString() ? value.asString() : value.description();
}

// Rows a page key moves the selection of a table by.
constexpr int64_t kTablePage = 10;

// A focused table draws a ring around itself, since its rows never show focus.
void installTableStyle() {
    static bool installed = false;
    if (installed) return;
    auto display = Gdk::Display::get_default();
    if (!display) return;
    installed = true;
    auto css = Gtk::CssProvider::create();
    css->load_from_data(
        "scrolledwindow.zandrel-table:focus-visible { outline: 2px solid rgb(53,132,228); outline-offset: "
        "-2px; "
        "}");
    Gtk::StyleContext::add_provider_for_display(display, css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void menuSignature(const Menu& menu, std::string& out) {
    out += '[';
    for (const auto& item : menu.itemArray()) {
        out += item->isSeparatorItem() ? std::string("-") : item->title();
        out += '\x1f';
        if (item->submenu()) menuSignature(*item->submenu(), out);
    }
    out += ']';
}

}  // namespace

struct GtkFrontEnd::ViewEntry {
    std::weak_ptr<View> view;
    Kind kind = Kind::None;
    Gtk::Widget* widget = nullptr;  // owned by the window's Gtk::Fixed
    Rect placedAt{-1, -1, -1, -1};
    std::string contents;  // pop-up items or table cells as last shown
    Glib::RefPtr<Gtk::StringList> items;
    Gtk::ListBox* rows = nullptr;
    Gtk::Box* header = nullptr;
    bool seen = false;
};

struct GtkFrontEnd::WindowEntry {
    std::weak_ptr<Window> model;
    std::unique_ptr<Gtk::Window> window;
    Gtk::Box* box = nullptr;
    Gtk::PopoverMenuBar* menuBar = nullptr;
    Gtk::Fixed* fixed = nullptr;
    std::map<const View*, ViewEntry> views;
    std::string menuSignature;
    Glib::RefPtr<Gio::SimpleActionGroup> actions;
    std::vector<std::pair<Glib::RefPtr<Gio::SimpleAction>, std::weak_ptr<MenuItem>>> menuActions;
    bool shown = false;
    double flowY = 0;  // where the next view without a frame goes
    double width = 0;
    double height = 0;
};

bool GtkFrontEnd::displayAvailable() {
    return gtk_init_check();
}

GtkFrontEnd::GtkFrontEnd() {
    if (!gtk_init_check())
        throw std::runtime_error(
            "cannot open a display for the desktop front end: run it in a desktop session (or under Xvfb) "
            "with DISPLAY set, or leave out --gui to use the terminal");
    Gtk::init_gtkmm_internals();
    m_glib = std::make_unique<GlibRunLoopSource>();
    m_glib->setBeforePass([this] {
        if (!m_running) return;
        syncAll();
        if (!m_geometryFile.empty()) writeGeometry();
    });
}

GtkFrontEnd::~GtkFrontEnd() {
    stop();
}

void GtkFrontEnd::start() {
    if (m_running) return;
    m_running = true;
    Application::shared().setFrontEnd(this);
    RunLoop::main().addSource(m_glib.get(), kCommonModes);
    syncAll();
}

void GtkFrontEnd::stop() {
    if (!m_running) return;
    m_running = false;
    // Nobody is left to answer: offers are declined, never accepted on someone's behalf.
    for (auto* alert : m_alerts)
        if (!alert->answer) alert->answer = decliningButton(alert->request).returnValue;
    RunLoop::main().removeSource(m_glib.get());
    if (Application::shared().frontEnd() == this) Application::shared().setFrontEnd(nullptr);
    for (auto& [model, entry] : m_windows) entry->window->hide();
    m_windows.clear();
    // Lets GTK finish what hiding queued (unmapping, the frame clock) before it is left alone.
    while (g_main_context_pending(m_glib->context())) g_main_context_iteration(m_glib->context(), FALSE);
}

void GtkFrontEnd::deferToModel(std::function<void()> action) {
    if (m_syncing) return;
    RunLoop::main().dispatchAsync([this, action = std::move(action)] {
        ++m_actsRunning;
        struct Finished {
            GtkFrontEnd* self;
            ~Finished() { self->actFinished(); }
        } finished{this};
        action();
    });
}

void GtkFrontEnd::actFinished() {
    if (--m_actsRunning > 0 || !m_afterAct || m_afterActQueued) return;
    // Once for all the acts of a pass (every key typed into a field is one).
    m_afterActQueued = true;
    RunLoop::main().dispatchAsync([this] {
        m_afterActQueued = false;
        if (m_actsRunning == 0 && m_afterAct && m_running) m_afterAct();
    });
}

bool GtkFrontEnd::cancelWithKeyboard(const std::shared_ptr<Window>& window) {
    if (!window->isSheet() && Application::shared().modalWindow() != window) return false;
    std::shared_ptr<Button> cancel;
    for (const auto& view : visibleViews(*window)) {
        auto button = std::dynamic_pointer_cast<Button>(view);
        if (button && button->isEnabled() && button->keyEquivalent() == "\x1b") cancel = button;
    }
    if (!cancel) cancel = findVisibleButton(*window, "Cancel");
    if (!cancel || !cancel->isEnabled()) return false;
    auto* widget = dynamic_cast<Gtk::Button*>(widgetFor(*cancel));
    if (!widget) return false;
    // Through the widget, as a press of it would be; at once, not after the pressed look that
    // activating it shows first, so keys that follow act on what Escape left.
    g_signal_emit_by_name(widget->gobj(), "clicked");
    return true;
}

bool GtkFrontEnd::tableKey(const std::shared_ptr<View>& view, unsigned keyval) {
    auto table = std::dynamic_pointer_cast<TableView>(view);
    if (!table || !table->isEnabled()) return false;
    auto rows = static_cast<int64_t>(std::min(table->numberOfRows(), kMaxTableRows));
    int64_t selected = table->selectedRow();
    if (selected >= rows) selected = -1;
    int64_t next = selected;
    switch (keyval) {
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            next = selected < 0 ? rows - 1 : std::max<int64_t>(0, selected - 1);
            break;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            next = selected < 0 ? 0 : std::min(rows - 1, selected + 1);
            break;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            next = 0;
            break;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            next = rows - 1;
            break;
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
            next = std::max<int64_t>(0, (selected < 0 ? 0 : selected) - kTablePage);
            break;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
            next = std::min(rows - 1, (selected < 0 ? 0 : selected) + kTablePage);
            break;
        case GDK_KEY_space:
        case GDK_KEY_KP_Space: {
            const auto& columns = table->tableColumns();
            auto column =
                std::find_if(columns.begin(), columns.end(), [](const auto& c) { return c.checkBox; });
            if (selected < 0 || column == columns.end()) return false;
            auto c = static_cast<size_t>(column - columns.begin());
            auto r = static_cast<size_t>(selected);
            // The box as drawn: inverting what the data source has now would undo a change
            // another host made since, which this screen does not show yet.
            auto shown = table->shownValueAt(c, r);
            Value value = shown ? *shown : table->valueAt(c, r);
            if (value.isNull()) return true;  // the row has no box to tick
            bool on = !value.asBool();
            std::weak_ptr<View> weak = view;
            deferToModel([weak, on, c, r] {
                if (auto v = std::dynamic_pointer_cast<TableView>(weak.lock()))
                    v->setValueAt(Value(on), c, r);
            });
            return true;
        }
        default:
            return false;
    }
    if (rows == 0 || next == selected) return true;
    std::weak_ptr<View> weak = view;
    deferToModel([weak, next] {
        if (auto v = std::dynamic_pointer_cast<TableView>(weak.lock())) v->selectRow(next);
    });
    return true;
}

Gtk::Window* GtkFrontEnd::gtkWindow(const Window& window) const {
    auto it = m_windows.find(&window);
    return it == m_windows.end() ? nullptr : it->second->window.get();
}

Gtk::Widget* GtkFrontEnd::widgetFor(const View& view) const {
    if (!view.window()) return nullptr;
    auto it = m_windows.find(view.window());
    if (it == m_windows.end()) return nullptr;
    auto v = it->second->views.find(&view);
    return v == it->second->views.end() ? nullptr : v->second.widget;
}

Gtk::PopoverMenuBar* GtkFrontEnd::menuBar(const Window& window) const {
    auto it = m_windows.find(&window);
    return it == m_windows.end() ? nullptr : it->second->menuBar;
}

GtkFrontEnd::AlertState* GtkFrontEnd::currentAlert() {
    for (auto it = m_alerts.rbegin(); it != m_alerts.rend(); ++it)
        if (!(*it)->answer) return *it;
    return nullptr;
}

void GtkFrontEnd::syncAll() {
    ++m_syncing;
    auto& app = Application::shared();
    auto key = app.keyWindow();
    std::vector<const Window*> live;
    // Back to front, so the frontmost window is presented last and stays on top.
    const auto& windows = app.windows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (!(*it)->isVisible()) continue;
        live.push_back(it->get());
        syncWindow(entryFor(*it), *it, *it == key);
    }
    std::vector<const Window*> gone;
    for (const auto& [model, entry] : m_windows)
        if (std::find(live.begin(), live.end(), model) == live.end()) gone.push_back(model);
    for (const Window* model : gone) dropWindow(model);
    if (key && m_lastKey.lock() != key) {
        m_lastKey = key;
        if (auto* w = gtkWindow(*key)) w->present();
    }
    --m_syncing;
}

void GtkFrontEnd::dropWindow(const Window* window) {
    auto it = m_windows.find(window);
    if (it == m_windows.end()) return;
    it->second->window->hide();
    m_windows.erase(it);
}

GtkFrontEnd::WindowEntry& GtkFrontEnd::entryFor(const std::shared_ptr<Window>& window) {
    auto& slot = m_windows[window.get()];
    if (slot && slot->model.lock() == window) return *slot;
    slot = std::make_unique<WindowEntry>();
    auto& entry = *slot;
    entry.model = window;
    entry.window = std::make_unique<Gtk::Window>();
    entry.window->set_resizable(false);
    entry.box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL);
    entry.fixed = Gtk::make_managed<Gtk::Fixed>();
    if (!window->isSheet() && window->level() == Window::NormalLevel) {
        entry.actions = Gio::SimpleActionGroup::create();
        entry.window->insert_action_group("menu", entry.actions);
        // Given a model from the start: gtkmm's default constructor passes GTK a null one.
        entry.menuBar = Gtk::make_managed<Gtk::PopoverMenuBar>(Gio::Menu::create());
        entry.box->append(*entry.menuBar);
    }
    entry.box->append(*entry.fixed);
    entry.window->set_child(*entry.box);
    std::weak_ptr<Window> weak = window;
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [this, weak](guint keyval, guint, Gdk::ModifierType) {
            if (keyval != GDK_KEY_Escape) return false;
            auto w = weak.lock();
            return w && cancelWithKeyboard(w);
        },
        false);
    entry.window->add_controller(keys);
    entry.window->signal_close_request().connect(
        [this, weak] {
            // The model decides; the window goes away when the model no longer shows it.
            deferToModel([weak] {
                if (auto w = weak.lock()) w->performClose();
            });
            return true;
        },
        false);
    return entry;
}

void GtkFrontEnd::syncWindow(WindowEntry& entry, const std::shared_ptr<Window>& window, bool isKey) {
    auto& gw = *entry.window;
    // Views placed by constraints take the frames the solver gives them.
    window->layoutIfNeeded();
    if (gw.get_title() != shown(window->title())) gw.set_title(shown(window->title()));
    int width = std::max(1, static_cast<int>(window->frame().width));
    int height = std::max(1, static_cast<int>(window->frame().height));
    int w = 0, h = 0;
    entry.fixed->get_size_request(w, h);
    if (w != width || h != height) entry.fixed->set_size_request(width, height);
    Gtk::Window* parent = nullptr;
    if (auto* sheetParent = window->sheetParent()) parent = gtkWindow(*sheetParent);
    auto modal = Application::shared().modalWindow();
    bool isModal = window->isSheet() || modal == window;
    if (isModal && !parent && modal == window) {
        // A modal panel stays above the window it interrupts.
        if (auto main = Application::shared().mainWindow(); main && main != window) parent = gtkWindow(*main);
    }
    if (gw.get_transient_for() != parent)
        gtk_window_set_transient_for(gw.gobj(), parent ? parent->gobj() : nullptr);
    if (gw.get_modal() != isModal) gw.set_modal(isModal);
    gw.set_deletable(window->isClosable());

    for (auto& [view, ve] : entry.views) ve.seen = false;
    entry.flowY = kMargin;
    entry.width = width;
    entry.height = height;
    if (auto content = window->contentView())
        for (const auto& sub : content->subviews()) syncView(entry, sub, 0, 0, false);
    for (auto it = entry.views.begin(); it != entry.views.end();) {
        if (!it->second.seen) {
            if (it->second.widget) entry.fixed->remove(*it->second.widget);
            it = entry.views.erase(it);
        } else {
            ++it;
        }
    }
    if (entry.menuBar) syncMenuBar(entry);
    if (!entry.shown) {
        entry.shown = true;
        if (isKey)
            gw.present();
        else
            gw.show();
    }
}

void GtkFrontEnd::syncView(WindowEntry& entry, const std::shared_ptr<View>& view, double x, double y,
                           bool hidden) {
    hidden = hidden || view->isHidden();
    Rect frame = view->frame();
    frame.x += x;
    frame.y += y;
    bool flows = view->frame().width <= 0 && view->frame().height <= 0;
    auto it = entry.views.find(view.get());
    if (it != entry.views.end() && it->second.view.lock() != view) {
        if (it->second.widget) entry.fixed->remove(*it->second.widget);
        entry.views.erase(it);
        it = entry.views.end();
    }
    if (it == entry.views.end()) {
        ViewEntry ve;
        ve.view = view;
        ve.kind = kindOf(*view);
        it = entry.views.emplace(view.get(), std::move(ve)).first;
        it->second.widget = createWidget(entry, view);
    }
    auto& ve = it->second;
    ve.seen = true;
    if (ve.widget && flows && !hidden) {
        // A view nobody gave a frame (a window built in code rather than described) is stacked
        // below the one before it at the window's width; a table takes the height that is left.
        frame = {kMargin, entry.flowY, std::max(1.0, entry.width - 2 * kMargin), 0};
        if (ve.kind == Kind::Table) {
            frame.height = std::max(40.0, entry.height - entry.flowY - kMargin);
        } else {
            int minimum = 0, natural = 0, minBase = 0, natBase = 0;
            ve.widget->measure(Gtk::Orientation::VERTICAL, static_cast<int>(frame.width), minimum, natural,
                               minBase, natBase);
            frame.height = std::max(1, natural);
        }
        entry.flowY += frame.height + kSpacing;
    }
    if (ve.widget) {
        if (ve.placedAt.x != frame.x || ve.placedAt.y != frame.y) {
            if (ve.placedAt.x < 0)
                entry.fixed->put(*ve.widget, frame.x, frame.y);
            else
                entry.fixed->move(*ve.widget, frame.x, frame.y);
        }
        if (ve.placedAt.width != frame.width || ve.placedAt.height != frame.height)
            ve.widget->set_size_request(std::max(1, static_cast<int>(frame.width)),
                                        std::max(1, static_cast<int>(frame.height)));
        ve.placedAt = frame;
        if (ve.widget->get_visible() == hidden) ve.widget->set_visible(!hidden);
        if (!hidden) updateWidget(ve, *view);
    }
    for (const auto& sub : view->subviews()) syncView(entry, sub, frame.x, frame.y, hidden);
}

Gtk::Widget* GtkFrontEnd::createWidget(WindowEntry& entry, const std::shared_ptr<View>& view) {
    std::weak_ptr<View> weak = view;
    Gtk::Widget* widget = nullptr;
    switch (kindOf(*view)) {
        case Kind::None:
            return nullptr;
        case Kind::PushButton: {
            auto* b = Gtk::make_managed<Gtk::Button>();
            b->signal_clicked().connect([this, weak] {
                deferToModel([weak] {
                    if (auto v = std::dynamic_pointer_cast<Button>(weak.lock())) v->performClick();
                });
            });
            widget = b;
            break;
        }
        case Kind::CheckBox: {
            auto* c = Gtk::make_managed<Gtk::CheckButton>();
            c->signal_toggled().connect([this, weak] {
                deferToModel([weak] {
                    if (auto v = std::dynamic_pointer_cast<Button>(weak.lock())) v->performClick();
                });
            });
            widget = c;
            break;
        }
        case Kind::Entry: {
            auto* e = Gtk::make_managed<Gtk::Entry>();
            e->set_activates_default(true);
            // Read once the change is complete: replacing the text passes through an empty entry,
            // which must not reach the field as something typed.
            auto queued = std::make_shared<bool>(false);
            e->signal_changed().connect([this, weak, e, queued] {
                if (m_syncing || *queued) return;
                *queued = true;
                deferToModel([this, weak, e, queued] {
                    *queued = false;
                    auto field = std::dynamic_pointer_cast<TextField>(weak.lock());
                    if (!field || widgetFor(*field) != e) return;  // the window went away meanwhile
                    std::string text = e->get_text();
                    if (!field->typeText(text)) {
                        // Not something a person types (a pasted control character): the field keeps
                        // what it had.
                        ++m_syncing;
                        e->set_text(shown(field->editingText().value_or(field->stringValue())));
                        --m_syncing;
                    }
                });
            });
            e->signal_activate().connect([this, weak] {
                // After the text still queued, so Return commits what was typed.
                deferToModel([weak] {
                    if (auto field = std::dynamic_pointer_cast<TextField>(weak.lock()))
                        field->commitEditing();
                });
            });
            widget = e;
            break;
        }
        case Kind::Label: {
            auto* l = Gtk::make_managed<Gtk::Label>();
            l->set_xalign(0);
            l->set_wrap(true);
            widget = l;
            break;
        }
        case Kind::PopUp: {
            auto& ve = entry.views[view.get()];
            ve.items = Gtk::StringList::create({});
            auto* d = Gtk::make_managed<Gtk::DropDown>(ve.items);
            d->property_selected().signal_changed().connect([this, weak, d] {
                if (m_syncing) return;
                guint index = d->get_selected();
                if (index == GTK_INVALID_LIST_POSITION) return;
                deferToModel([weak, index] {
                    if (auto v = std::dynamic_pointer_cast<PopUpButton>(weak.lock()))
                        v->chooseItemAtIndex(index);
                });
            });
            widget = d;
            break;
        }
        case Kind::Image: {
            auto* i = Gtk::make_managed<Gtk::Image>();
            i->set_pixel_size(48);
            widget = i;
            break;
        }
        case Kind::Table: {
            auto& ve = entry.views[view.get()];
            auto* scroller = Gtk::make_managed<Gtk::ScrolledWindow>();
            auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL);
            ve.header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL);
            ve.rows = Gtk::make_managed<Gtk::ListBox>();
            ve.rows->set_selection_mode(Gtk::SelectionMode::SINGLE);
            // The table is one stop of the focus chain; its keys are handled here (see above).
            installTableStyle();
            scroller->add_css_class("zandrel-table");
            scroller->set_focusable(true);
            // Nothing inside takes focus, so Tab stops at the table itself.
            box->set_can_focus(false);
            auto keys = Gtk::EventControllerKey::create();
            keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
            keys->signal_key_pressed().connect(
                [this, weak](guint keyval, guint, Gdk::ModifierType state) {
                    auto modifiers = Gdk::ModifierType::CONTROL_MASK | Gdk::ModifierType::ALT_MASK |
                                     Gdk::ModifierType::SUPER_MASK | Gdk::ModifierType::SHIFT_MASK;
                    if ((state & modifiers) != Gdk::ModifierType{}) return false;
                    auto table = weak.lock();
                    return table && tableKey(table, keyval);
                },
                false);
            scroller->add_controller(keys);
            // A click in the table also brings the keyboard there.
            auto click = Gtk::GestureClick::create();
            click->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
            click->signal_pressed().connect([scroller](int, double, double) { scroller->grab_focus(); });
            scroller->add_controller(click);
            ve.rows->signal_row_selected().connect([this, weak](Gtk::ListBoxRow* row) {
                if (m_syncing) return;
                int64_t index = row ? row->get_index() : -1;
                deferToModel([weak, index] {
                    if (auto v = std::dynamic_pointer_cast<TableView>(weak.lock())) v->selectRow(index);
                });
            });
            box->append(*ve.header);
            box->append(*ve.rows);
            scroller->set_child(*box);
            scroller->set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::AUTOMATIC);
            widget = scroller;
            break;
        }
    }
    if (!view->identifier().empty()) widget->set_name(view->identifier());
    return widget;
}

void GtkFrontEnd::updateWidget(ViewEntry& ve, View& view) {
    if (auto* control = dynamic_cast<Control*>(&view))
        if (ve.widget->get_sensitive() != control->isEnabled())
            ve.widget->set_sensitive(control->isEnabled());
    switch (ve.kind) {
        case Kind::None:
            break;
        case Kind::PushButton: {
            auto& model = static_cast<Button&>(view);
            auto* b = static_cast<Gtk::Button*>(ve.widget);
            if (b->get_label() != shown(model.title())) b->set_label(shown(model.title()));
            bool isDefault = model.keyEquivalent() == "\r";
            if (isDefault != b->has_css_class("suggested-action")) {
                if (isDefault) {
                    b->add_css_class("suggested-action");
                    if (auto* root = dynamic_cast<Gtk::Window*>(b->get_root())) root->set_default_widget(*b);
                } else {
                    b->remove_css_class("suggested-action");
                }
            }
            break;
        }
        case Kind::CheckBox: {
            auto& model = static_cast<Button&>(view);
            auto* c = static_cast<Gtk::CheckButton*>(ve.widget);
            if (c->get_label() != shown(model.title())) c->set_label(shown(model.title()));
            bool mixed = model.state() == Button::Mixed;
            if (c->get_inconsistent() != mixed) c->set_inconsistent(mixed);
            if (c->get_active() != (model.state() == Button::On)) c->set_active(model.state() == Button::On);
            break;
        }
        case Kind::Entry: {
            auto& model = static_cast<TextField&>(view);
            auto* e = static_cast<Gtk::Entry*>(ve.widget);
            Glib::ustring text = shown(model.editingText().value_or(model.stringValue()));
            if (e->get_text() != text) e->set_text(text);
            if (e->get_placeholder_text() != shown(model.placeholder()))
                e->set_placeholder_text(shown(model.placeholder()));
            break;
        }
        case Kind::Label: {
            auto& model = static_cast<TextField&>(view);
            auto* l = static_cast<Gtk::Label*>(ve.widget);
            if (l->get_text() != shown(model.stringValue())) l->set_text(shown(model.stringValue()));
            break;
        }
        case Kind::PopUp: {
            auto& model = static_cast<PopUpButton&>(view);
            auto* d = static_cast<Gtk::DropDown*>(ve.widget);
            auto titles = model.itemTitles();
            std::string contents;
            for (const auto& t : titles) contents += t + '\x1f';
            if (contents != ve.contents) {
                ve.contents = contents;
                std::vector<Glib::ustring> shownTitles;
                for (const auto& t : titles) shownTitles.push_back(shown(t));
                ve.items->splice(0, ve.items->get_n_items(), shownTitles);
            }
            int64_t selected = model.indexOfSelectedItem();
            guint want = selected < 0 ? GTK_INVALID_LIST_POSITION : static_cast<guint>(selected);
            if (d->get_selected() != want) d->set_selected(want);
            break;
        }
        case Kind::Image: {
            auto& model = static_cast<ImageView&>(view);
            auto* i = static_cast<Gtk::Image*>(ve.widget);
            auto bitmap = model.image() ? model.image()->bitmap() : nullptr;
            std::string contents =
                bitmap ? fmt::format("{}@{}", model.imageName(), static_cast<const void*>(bitmap.get()))
                       : model.imageName();
            if (ve.contents != contents) {
                ve.contents = contents;
                if (bitmap)
                    i->set(textureFor(*bitmap));
                else
                    i->set_from_icon_name(iconFor(model.imageName()));
                i->set_tooltip_text(shown(model.imageName()));
            }
            break;
        }
        case Kind::Table: {
            auto& table = static_cast<TableView&>(view);
            const auto& columns = table.tableColumns();
            size_t rows = table.numberOfRows();
            size_t shownRows = std::min(rows, kMaxTableRows);
            std::string contents = fmt::format("{}\x1f", rows);
            for (size_t r = 0; r < shownRows; ++r)
                for (size_t c = 0; c < columns.size(); ++c) {
                    contents += cellText(table, c, r);
                    contents += '\x1f';
                    if (columns[c].checkBox) contents += table.cellTitleAt(c, r) + '\x1f';
                }
            int cellWidth =
                columns.empty()
                    ? 1
                    : std::max(1,
                               static_cast<int>(ve.placedAt.width / static_cast<double>(columns.size())) - 8);
            if (contents != ve.contents) {
                ve.contents = contents;
                while (auto* child = ve.header->get_first_child()) ve.header->remove(*child);
                for (const auto& col : columns) {
                    auto* l = Gtk::make_managed<Gtk::Label>();
                    l->set_markup("<b>" + Glib::Markup::escape_text(shown(col.title)) + "</b>");
                    l->set_xalign(0);
                    l->set_size_request(cellWidth, -1);
                    ve.header->append(*l);
                }
                while (auto* row = ve.rows->get_row_at_index(0)) ve.rows->remove(*row);
                std::weak_ptr<View> weak = std::static_pointer_cast<View>(table.shared_from_this());
                for (size_t r = 0; r < shownRows; ++r) {
                    auto* line = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL);
                    for (size_t c = 0; c < columns.size(); ++c) {
                        if (columns[c].checkBox) {
                            auto* check = Gtk::make_managed<Gtk::CheckButton>(shown(table.cellTitleAt(c, r)));
                            check->set_active(cellText(table, c, r) == "1");
                            check->set_size_request(cellWidth, -1);
                            // Space in the focused table ticks it; the focus stays on the table.
                            check->set_focusable(false);
                            check->signal_toggled().connect([this, weak, check, c, r] {
                                bool on = check->get_active();
                                deferToModel([weak, on, c, r] {
                                    if (auto v = std::dynamic_pointer_cast<TableView>(weak.lock()))
                                        v->setValueAt(Value(on), c, r);
                                });
                            });
                            line->append(*check);
                        } else {
                            auto* l = Gtk::make_managed<Gtk::Label>(shown(cellText(table, c, r)));
                            l->set_xalign(0);
                            l->set_ellipsize(Pango::EllipsizeMode::END);
                            l->set_size_request(cellWidth, -1);
                            line->append(*l);
                        }
                    }
                    ve.rows->append(*line);
                    // Focus moving into the window must not pick a row for the person: GTK selects
                    // the row that takes focus. Rows are chosen by clicking.
                    ve.rows->get_row_at_index(static_cast<int>(r))->set_focusable(false);
                }
                if (rows > shownRows) {
                    auto* more =
                        Gtk::make_managed<Gtk::Label>(fmt::format("… {} more rows", rows - shownRows));
                    more->set_xalign(0);
                    ve.rows->append(*more);
                    ve.rows->get_row_at_index(static_cast<int>(shownRows))->set_selectable(false);
                }
            }
            int64_t selected = table.selectedRow();
            auto* current = ve.rows->get_selected_row();
            int64_t currentIndex = current ? current->get_index() : -1;
            if (currentIndex != selected) {
                if (selected < 0 || static_cast<size_t>(selected) >= shownRows) {
                    ve.rows->unselect_all();
                } else {
                    auto* row = ve.rows->get_row_at_index(static_cast<int>(selected));
                    ve.rows->select_row(*row);
                    // The selected row scrolled into sight (rows not laid out yet have no bounds).
                    auto* scroller = static_cast<Gtk::ScrolledWindow*>(ve.widget);
                    graphene_rect_t bounds;
                    if (auto* content = ve.rows->get_parent();
                        content &&
                        gtk_widget_compute_bounds(GTK_WIDGET(row->gobj()), content->gobj(), &bounds))
                        scroller->get_vadjustment()->clamp_page(bounds.origin.y,
                                                                bounds.origin.y + bounds.size.height);
                }
            }
            break;
        }
    }
}

void GtkFrontEnd::syncMenuBar(WindowEntry& entry) {
    auto menu = Application::shared().mainMenu();
    std::string signature;
    if (menu) menuSignature(*menu, signature);
    if (signature != entry.menuSignature) {
        entry.menuSignature = signature;
        for (const auto& [action, item] : entry.menuActions) entry.actions->remove_action(action->get_name());
        entry.menuActions.clear();
        auto bar = Gio::Menu::create();
        std::function<Glib::RefPtr<Gio::Menu>(const Menu&)> build = [&](const Menu& m) {
            auto result = Gio::Menu::create();
            auto section = Gio::Menu::create();
            for (const auto& item : m.itemArray()) {
                if (item->isSeparatorItem()) {
                    if (section->get_n_items() > 0) result->append_section(section);
                    section = Gio::Menu::create();
                    continue;
                }
                if (item->submenu()) {
                    section->append_submenu(shown(item->title()), build(*item->submenu()));
                    continue;
                }
                std::string name = fmt::format("item{}", entry.menuActions.size());
                auto action = Gio::SimpleAction::create(name);
                std::weak_ptr<MenuItem> weak = item;
                action->signal_activate().connect([this, weak](const Glib::VariantBase&) {
                    deferToModel([weak] {
                        if (auto i = weak.lock()) i->performAction();
                    });
                });
                entry.actions->add_action(action);
                entry.menuActions.emplace_back(action, item);
                section->append(shown(item->title()), "menu." + name);
            }
            if (section->get_n_items() > 0) result->append_section(section);
            return result;
        };
        if (menu)
            for (const auto& top : menu->itemArray())
                if (top->submenu()) bar->append_submenu(shown(top->title()), build(*top->submenu()));
        entry.menuBar->set_menu_model(bar);
    }
    for (const auto& [action, weak] : entry.menuActions) {
        auto item = weak.lock();
        bool enabled = item && item->isEnabled();
        if (action->get_enabled() != enabled) action->set_enabled(enabled);
    }
}

bool GtkFrontEnd::activateMenuItem(const std::shared_ptr<MenuItem>& item) {
    for (const auto& [model, entry] : m_windows) {
        for (const auto& [action, weak] : entry->menuActions) {
            if (weak.lock() != item) continue;
            if (!action->get_enabled()) return false;
            action->activate();
            return true;
        }
    }
    // No window shows the menu bar (none is open): the item is chosen the same way directly.
    if (!item->isEnabled()) return false;
    RunLoop::main().dispatchAsync([item] { item->performAction(); });
    return true;
}

int GtkFrontEnd::runAlert(const AlertRequest& alert) {
    AlertState state;
    state.request = alert;
    Gtk::Window window;
    state.window = &window;
    window.set_title(shown(alert.title));
    window.set_modal(true);
    window.set_resizable(false);
    if (auto key = Application::shared().keyWindow())
        if (auto* parent = gtkWindow(*key)) window.set_transient_for(*parent);
    auto* box = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 12);
    box->set_margin(18);
    auto* title = Gtk::make_managed<Gtk::Label>();
    title->set_markup("<b>" + Glib::Markup::escape_text(shown(alert.title)) + "</b>");
    title->set_xalign(0);
    title->set_wrap(true);
    title->set_max_width_chars(50);
    auto* message = Gtk::make_managed<Gtk::Label>(shown(alert.message));
    message->set_xalign(0);
    message->set_wrap(true);
    message->set_max_width_chars(50);
    auto* buttons = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    buttons->set_halign(Gtk::Align::END);
    box->append(*title);
    box->append(*message);
    box->append(*buttons);
    window.set_child(*box);
    auto list = alertButtons(alert);
    // Shown right to left from the default, as a desktop alert reads.
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        auto* b = Gtk::make_managed<Gtk::Button>(shown(it->title));
        int value = it->returnValue;
        b->signal_clicked().connect([&state, value] {
            if (!state.answer) state.answer = value;
        });
        buttons->append(*b);
        state.buttons.emplace(state.buttons.begin(), b, value);
        if (value == kAlertDefaultReturn) {
            b->add_css_class("suggested-action");
            window.set_default_widget(*b);
        }
    }
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(
        [&window](guint keyval, guint, Gdk::ModifierType) {
            if (keyval != GDK_KEY_Escape) return false;
            window.close();  // answered as closing it is
            return true;
        },
        false);
    window.add_controller(keys);
    window.signal_close_request().connect(
        [&state] {
            if (!state.answer)
                state.answer =
                    state.request.alternateButton.empty() ? kAlertDefaultReturn : kAlertAlternateReturn;
            return true;
        },
        false);
    if (!m_running) return decliningButton(alert).returnValue;
    m_alerts.push_back(&state);
    window.present();
    if (!state.buttons.empty()) state.buttons.front().first->grab_focus();
    try {
        RunLoop::main().runUntil(RunLoopMode::Modal, [&] { return state.answer.has_value() || !m_running; });
    } catch (...) {
        std::erase(m_alerts, &state);
        throw;
    }
    std::erase(m_alerts, &state);
    window.hide();
    return state.answer.value_or(decliningButton(alert).returnValue);
}

std::string GtkFrontEnd::geometry() const {
    std::vector<GeometryWindow> windows;
    for (const auto& [model, entry] : m_windows) {
        GeometryWindow shown{entry->window.get(), {}};
        for (const auto& [view, ve] : entry->views)
            if (auto v = ve.view.lock(); v && ve.widget && !v->identifier().empty())
                shown.controls[ve.widget] = {v->identifier(), ve.kind, ve.items, ve.rows};
        windows.push_back(std::move(shown));
    }
    for (auto* alert : m_alerts)
        if (!alert->answer) windows.push_back({alert->window, {}});
    return describeGeometry(windows);
}

void GtkFrontEnd::writeGeometry() {
    std::string text = geometry();
    if (text == m_lastGeometry) return;
    m_lastGeometry = text;
    writeGeometryFile(m_geometryFile, text);
}

bool GtkFrontEnd::openURL(const std::string& url) {
    GError* error = nullptr;
    bool ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (error) {
        Log::format("cannot open {}: {}", DisplayText::printable(url), error->message);
        g_error_free(error);
    }
    return ok;
}

}  // namespace platform
