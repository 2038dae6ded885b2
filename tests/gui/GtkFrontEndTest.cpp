// The desktop front end in this process: the model's windows become GTK widgets and follow the
// model, widgets hand a person's acts back to the model, alerts answer, and GLib's main context
// runs inside the platform run loop (timers, nesting, the virtual clock).

#include <gdkmm/texture.h>
#include <gtest/gtest.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/listbox.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/window.h>

#include "platform/ui/Bitmap.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "platform/ui/gtk/GtkFrontEnd.h"
#include "tests/support/UiTestSupport.h"

namespace {

using namespace platform;

class GtkFrontEndTest : public testsupport::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        frontEnd = std::make_unique<GtkFrontEnd>();
        frontEnd->start();
        target =
            std::make_shared<testsupport::RecordingTarget>(std::set<std::string>{"go:", "pick:", "check:"});
    }
    void TearDown() override {
        frontEnd->stop();
        frontEnd.reset();
        UiTest::TearDown();
    }

    // A dialog like the plug-ins' own: a label, a field, a pop-up, a check box and two buttons.
    std::shared_ptr<Window> makeDialog() {
        auto window = std::make_shared<Window>("Dialog", Rect{0, 0, 400, 200});
        auto content = std::make_shared<View>(Rect{0, 0, 400, 200});
        window->setContentView(content);
        auto label = std::make_shared<TextField>("Name:");
        label->setEditable(false);
        label->setIdentifier("label");
        label->setFrame({10, 10, 100, 20});
        auto field = std::make_shared<TextField>("first");
        field->setIdentifier("field");
        field->setFrame({120, 10, 200, 24});
        auto popUp = std::make_shared<PopUpButton>();
        popUp->setIdentifier("popup");
        popUp->setFrame({120, 40, 200, 24});
        for (const char* t : {"Alpha", "Beta", "Gamma"}) popUp->addItemWithTitle(t);
        popUp->setAction("pick:");
        popUp->setTarget(target);
        auto check = std::make_shared<Button>("Keep", Button::Kind::CheckBox);
        check->setIdentifier("check");
        check->setFrame({120, 70, 200, 24});
        check->setAction("check:");
        check->setTarget(target);
        auto go = std::make_shared<Button>("Go");
        go->setIdentifier("go");
        go->setFrame({300, 160, 80, 30});
        go->setKeyEquivalent("\r");
        go->setAction("go:");
        go->setTarget(target);
        for (auto v : std::vector<std::shared_ptr<View>>{label, field, popUp, check, go})
            content->addSubview(v);
        window->makeKeyAndOrderFront();
        return window;
    }

    template <typename W>
    W* widget(const Window& window, const std::string& id) {
        auto view = window.contentView()->viewWithIdentifier(id);
        return view ? dynamic_cast<W*>(frontEnd->widgetFor(*view)) : nullptr;
    }

    std::unique_ptr<GtkFrontEnd> frontEnd;
    std::shared_ptr<testsupport::RecordingTarget> target;
};

TEST_F(GtkFrontEndTest, WidgetsShowTheModelAndFollowItsChanges) {
    auto window = makeDialog();
    loop.runPending();
    auto* gw = frontEnd->gtkWindow(*window);
    ASSERT_NE(gw, nullptr);
    EXPECT_EQ(gw->get_title(), "Dialog");
    ASSERT_NE(widget<Gtk::Label>(*window, "label"), nullptr);
    EXPECT_EQ(widget<Gtk::Label>(*window, "label")->get_text(), "Name:");
    EXPECT_EQ(widget<Gtk::Entry>(*window, "field")->get_text(), "first");
    EXPECT_EQ(widget<Gtk::DropDown>(*window, "popup")->get_selected(), 0u);
    EXPECT_FALSE(widget<Gtk::CheckButton>(*window, "check")->get_active());
    EXPECT_TRUE(widget<Gtk::Button>(*window, "go")->has_css_class("suggested-action"));

    auto content = window->contentView();
    struct Change {
        const char* what;
        std::function<void()> change;
        std::function<bool()> shown;
    };
    std::vector<Change> changes{
        {"title", [&] { window->setTitle("Renamed"); }, [&] { return gw->get_title() == "Renamed"; }},
        {"disabled",
         [&] { std::static_pointer_cast<Control>(content->viewWithIdentifier("go"))->setEnabled(false); },
         [&] { return !widget<Gtk::Button>(*window, "go")->get_sensitive(); }},
        {"button title",
         [&] { std::static_pointer_cast<Button>(content->viewWithIdentifier("go"))->setTitle("Run"); },
         [&] { return widget<Gtk::Button>(*window, "go")->get_label() == "Run"; }},
        {"text",
         [&] {
             std::static_pointer_cast<TextField>(content->viewWithIdentifier("field"))->setStringValue("x");
         },
         [&] { return widget<Gtk::Entry>(*window, "field")->get_text() == "x"; }},
        {"selection",
         [&] {
             std::static_pointer_cast<PopUpButton>(content->viewWithIdentifier("popup"))
                 ->selectItemAtIndex(2);
         },
         [&] { return widget<Gtk::DropDown>(*window, "popup")->get_selected() == 2u; }},
        {"state",
         [&] {
             std::static_pointer_cast<Button>(content->viewWithIdentifier("check"))->setState(Button::On);
         },
         [&] { return widget<Gtk::CheckButton>(*window, "check")->get_active(); }},
        {"hidden", [&] { content->viewWithIdentifier("label")->setHidden(true); },
         [&] { return !widget<Gtk::Label>(*window, "label")->get_visible(); }},
    };
    for (const auto& c : changes) {
        c.change();
        loop.runPending();
        EXPECT_TRUE(c.shown()) << c.what;
    }
    // The actions were not sent: only a person's acts send them.
    EXPECT_TRUE(target->calls.empty());
    window->close();
    loop.runPending();
    EXPECT_EQ(frontEnd->gtkWindow(*window), nullptr);
}

TEST_F(GtkFrontEndTest, APersonsActsReachTheModelAsActions) {
    auto window = makeDialog();
    loop.runPending();
    auto content = window->contentView();
    g_signal_emit_by_name(widget<Gtk::Button>(*window, "go")->gobj(), "clicked");
    widget<Gtk::DropDown>(*window, "popup")->set_selected(1);
    widget<Gtk::CheckButton>(*window, "check")->set_active(true);
    widget<Gtk::Entry>(*window, "field")->set_text("typed");
    loop.runPending();
    EXPECT_EQ(target->calls, (std::vector<std::string>{"go:", "pick:", "check:"}));
    EXPECT_EQ(
        std::static_pointer_cast<PopUpButton>(content->viewWithIdentifier("popup"))->indexOfSelectedItem(),
        1);
    EXPECT_EQ(std::static_pointer_cast<Button>(content->viewWithIdentifier("check"))->state(), Button::On);
    auto field = std::static_pointer_cast<TextField>(content->viewWithIdentifier("field"));
    EXPECT_EQ(field->editingText().value_or(""), "typed");
    // Text nobody could type is refused and the entry shows the field's text again.
    widget<Gtk::Entry>(*window, "field")->set_text("bad\x1b[D");
    loop.runPending();
    EXPECT_EQ(field->editingText().value_or(""), "typed");
    EXPECT_EQ(widget<Gtk::Entry>(*window, "field")->get_text(), "typed");
    // A disabled control's widget cannot be used.
    std::static_pointer_cast<Control>(content->viewWithIdentifier("go"))->setEnabled(false);
    loop.runPending();
    EXPECT_FALSE(widget<Gtk::Button>(*window, "go")->is_sensitive());
}

TEST_F(GtkFrontEndTest, AlertsReturnTheButtonPressed) {
    struct Case {
        size_t button;
        int expected;
    };
    AlertRequest request{"Title", "Message", "OK", "Cancel", "More", false};
    for (const Case& c :
         {Case{0, kAlertDefaultReturn}, Case{1, kAlertAlternateReturn}, Case{2, kAlertOtherReturn}}) {
        loop.dispatchAsync([&] {
            auto* alert = frontEnd->currentAlert();
            ASSERT_NE(alert, nullptr);
            ASSERT_EQ(alert->buttons.size(), 3u);
            EXPECT_EQ(alert->window->get_title(), "Title");
            EXPECT_TRUE(alert->buttons[0].first->has_css_class("suggested-action"));
            g_signal_emit_by_name(alert->buttons[c.button].first->gobj(), "clicked");
        });
        EXPECT_EQ(app.runAlertPanel(request), c.expected) << c.button;
        EXPECT_EQ(frontEnd->currentAlert(), nullptr);
    }
    // The window's close control cancels when there is a cancel button, else takes the default.
    for (auto [alternate, expected] :
         {std::pair<const char*, int>{"Cancel", kAlertAlternateReturn}, {"", kAlertDefaultReturn}}) {
        AlertRequest r{"T", "M", "OK", alternate, "", false};
        loop.dispatchAsync([&] { frontEnd->currentAlert()->window->close(); });
        EXPECT_EQ(app.runAlertPanel(r), expected);
    }
}

TEST_F(GtkFrontEndTest, StoppingDeclinesAWaitingAlert) {
    // Nobody is left to answer (a signal, the end of a script): the offer is not taken.
    struct Case {
        AlertRequest request;
        int expected;
    };
    for (const Case& c : {Case{{"Zandrel", "Update", "Download", "Not Now", "", true}, kAlertAlternateReturn},
                          Case{{"Done", "Copied", "OK", "", "", true}, kAlertDefaultReturn}}) {
        loop.dispatchAsync([&] {
            ASSERT_NE(frontEnd->currentAlert(), nullptr);
            frontEnd->stop();
        });
        EXPECT_EQ(app.runAlertPanel(c.request), c.expected) << c.request.defaultButton;
        frontEnd->start();
    }
}

TEST_F(GtkFrontEndTest, ImagesDrawTheirOwnPixels) {
    auto window = makeDialog();
    auto view = std::make_shared<ImageView>();
    view->setIdentifier("icon");
    view->setFrame({10, 100, 64, 64});
    // An address that holds "top" once showed an error sign; a name alone shows no picture.
    view->setImageName("https://desktop.example/icon.png");
    window->contentView()->addSubview(view);
    loop.runPending();
    auto* image = widget<Gtk::Image>(*window, "icon");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->get_storage_type(), Gtk::Image::Type::ICON_NAME);
    EXPECT_EQ(image->get_icon_name(), "image-missing");

    // A 2 × 1 picture: one red pixel, one half-clear blue one.
    const std::vector<unsigned char> rgba = {255, 0, 0, 255, 0, 0, 255, 128};
    view->setImage(std::make_shared<Image>("two", std::make_shared<Bitmap>(2, 1, rgba)));
    loop.runPending();
    ASSERT_EQ(image->get_storage_type(), Gtk::Image::Type::PAINTABLE);
    auto texture = std::dynamic_pointer_cast<Gdk::Texture>(image->get_paintable());
    ASSERT_TRUE(texture);
    EXPECT_EQ(texture->get_width(), 2);
    EXPECT_EQ(texture->get_height(), 1);
    // What GTK holds is the picture's pixels (read back as premultiplied BGRA on little endian).
    std::vector<guchar> drawn(8);
    texture->download(drawn.data(), 8);
    EXPECT_EQ(drawn[2], 255);  // red of the first pixel
    EXPECT_EQ(drawn[3], 255);
    EXPECT_EQ(drawn[4], 128);  // blue of the second, premultiplied by its alpha
    EXPECT_EQ(drawn[7], 128);
    window->close();
    loop.runPending();
}

TEST_F(GtkFrontEndTest, GlibSourcesRunInsideThePlatformLoopAndItsNestedLoops) {
    int fired = 0;
    g_timeout_add(
        5,
        [](gpointer data) -> gboolean {
            ++*static_cast<int*>(data);
            return G_SOURCE_REMOVE;
        },
        &fired);
    // Real time for GLib's own timeout: the platform loop waits on GLib's descriptors.
    loop.setClock(std::make_shared<RealClock>());
    loop.runUntil(RunLoopMode::Default, [&] { return fired == 1; });

    // An idle callback queued in a nested modal loop runs there, not after it returns.
    int idleRan = 0;
    int depthSeen = 0;
    loop.dispatchAsync([&] {
        struct Data {
            int* ran;
            int* depth;
        } data{&idleRan, &depthSeen};
        g_idle_add(
            [](gpointer p) -> gboolean {
                auto* d = static_cast<Data*>(p);
                ++*d->ran;
                *d->depth = RunLoop::main().nestingDepth();
                return G_SOURCE_REMOVE;
            },
            &data);
        loop.runUntil(RunLoopMode::Modal, [&] { return idleRan == 1; });
    });
    loop.runUntil(RunLoopMode::Default, [&] { return idleRan == 1; });
    EXPECT_GE(depthSeen, 2);

    // On the virtual clock a 12-hour timer fires at once: an idle display does not hold time.
    auto virtualClock = std::make_shared<VirtualClock>();
    loop.setClock(virtualClock);
    bool timerFired = false;
    auto start = virtualClock->now();
    loop.scheduleTimer(std::chrono::hours(12), false, [&] { timerFired = true; });
    loop.runUntil(RunLoopMode::Default, [&] { return timerFired; });
    EXPECT_EQ(virtualClock->now() - start, std::chrono::hours(12));
}

TEST_F(GtkFrontEndTest, HostileModelsAreShownBoundedAndWithoutWarnings) {
    // Bytes that are not UTF-8 would make GTK warn and show nothing: they are shown escaped.
    auto window = std::make_shared<Window>(std::string("Bad \xff\xfe title"), Rect{0, 0, 300, 300});
    auto content = std::make_shared<View>(Rect{0, 0, 300, 300});
    window->setContentView(content);
    auto table = std::make_shared<TableView>();
    table->setIdentifier("table");
    table->setFrame({0, 0, 300, 300});
    table->addTableColumn({"n", "N", false});
    table->addTableColumn({"on", "On", true});
    struct Source : TableViewDataSource {
        size_t rows = 100000;
        size_t numberOfRowsInTableView(const TableView&) override { return rows; }
        Value objectValueForTableColumnRow(const TableView&, const TableColumn& c, size_t row) override {
            return c.checkBox ? Value(row % 2 == 0) : Value(static_cast<int64_t>(row));
        }
    };
    auto source = std::make_shared<Source>();
    table->setDataSource(source);
    content->addSubview(table);
    window->makeKeyAndOrderFront();
    loop.runPending();
    auto* gw = frontEnd->gtkWindow(*window);
    ASSERT_NE(gw, nullptr);
    EXPECT_EQ(gw->get_title(), "Bad \\xff\\xfe title");
    auto* scroller = dynamic_cast<Gtk::ScrolledWindow*>(frontEnd->widgetFor(*table));
    ASSERT_NE(scroller, nullptr);
    Gtk::ListBox* list = nullptr;
    for (auto* w = scroller->get_child(); w && !list; w = w->get_first_child())
        for (auto* c = w; c && !list; c = c->get_next_sibling()) list = dynamic_cast<Gtk::ListBox*>(c);
    ASSERT_NE(list, nullptr);
    int rows = 0;
    while (list->get_row_at_index(rows)) ++rows;
    EXPECT_EQ(rows, 501);  // 500 rows and the line saying how many more there are
    EXPECT_FALSE(list->get_row_at_index(500)->get_selectable());
    // Selection reaches the widget, and a person's choice of row reaches the table.
    table->selectRow(3);
    loop.runPending();
    ASSERT_NE(list->get_selected_row(), nullptr);
    EXPECT_EQ(list->get_selected_row()->get_index(), 3);
    list->select_row(*list->get_row_at_index(7));
    loop.runPending();
    EXPECT_EQ(table->selectedRow(), 7);
    // Fewer rows: the widget shrinks with the model.
    source->rows = 2;
    table->reloadData();
    loop.runPending();
    rows = 0;
    while (list->get_row_at_index(rows)) ++rows;
    EXPECT_EQ(rows, 2);
}

}  // namespace
