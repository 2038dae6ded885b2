#pragma once

// Window: a titled window with a content view, a delegate, a first responder and a level.
//
// Closing. However a window closes -- close(), its own close control (performClose), or its
// controller -- the delegate's windowWillClose() runs first, then "NSWindowWillCloseNotification"
// is posted, then the application forgets the window (key, main, sheet and modal state). A
// window closing again from inside windowWillClose is ignored, and so is closing a window that
// has closed and not been shown since: its delegate and observers hear of each close once.

#include <memory>
#include <string>

#include "platform/foundation/Object.h"
#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

namespace platform {

class WindowController;

inline constexpr const char* kWindowDidBecomeMainNotification = "NSWindowDidBecomeMainNotification";
inline constexpr const char* kWindowDidBecomeKeyNotification = "NSWindowDidBecomeKeyNotification";
inline constexpr const char* kWindowWillCloseNotification = "NSWindowWillCloseNotification";
// Posted by a front end before it shows a window's contents at the person's request (`show`), so
// what the window lists can be read afresh first.
inline constexpr const char* kWindowWillShowContentsNotification = "ZWindowWillShowContentsNotification";

class WindowDelegate {
public:
    virtual ~WindowDelegate() = default;
    virtual void windowWillClose(const Notification& notification) {}
};

class Window : public Object {
public:
    enum Level : int { NormalLevel = 0, FloatingLevel = 3, ModalPanelLevel = 8 };

    explicit Window(std::string title = "", Rect frame = {0, 0, 480, 270});
    ~Window() override;

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    const Rect& frame() const { return m_frame; }
    void setFrame(Rect frame) { m_frame = frame; }
    int level() const { return m_level; }
    void setLevel(int level) { m_level = level; }
    bool isClosable() const { return m_closable; }
    void setClosable(bool closable) { m_closable = closable; }
    // Whether this window can become the application's main window (panels and sheets cannot).
    bool canBecomeMainWindow() const { return m_canBecomeMain && !m_sheetParent; }
    void setCanBecomeMainWindow(bool can) { m_canBecomeMain = can; }

    const std::shared_ptr<View>& contentView() const { return m_contentView; }
    void setContentView(std::shared_ptr<View> view);
    // Solves the content view's constraints, if anything changed, and writes the solved frames.
    void layoutIfNeeded();
    // The view around the content view that also holds the title bar's views: made on first use
    // (most windows never need one), when the content view becomes its subview, keeping its frame.
    // Front ends draw the content view; the window's title is theirs to show.
    const std::shared_ptr<View>& frameView();

    std::shared_ptr<WindowDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(const std::shared_ptr<WindowDelegate>& delegate) { m_delegate = delegate; }
    std::shared_ptr<WindowController> windowController() const { return m_controller.lock(); }
    void setWindowController(const std::shared_ptr<WindowController>& controller) {
        m_controller = controller;
    }

    View* firstResponder() const { return m_firstResponder; }
    // Moves keyboard focus. The old responder resigns first (a field commits its edit); none
    // (nullptr) leaves the window itself focused. False when the view cannot take focus.
    bool makeFirstResponder(View* view);

    bool isVisible() const { return m_visible; }
    bool isKeyWindow() const;
    bool isMainWindow() const;
    bool isSheet() const { return m_sheetParent != nullptr; }
    Window* sheetParent() const { return m_sheetParent; }
    std::shared_ptr<Window> attachedSheet() const { return m_attachedSheet.lock(); }

    void makeKeyAndOrderFront();
    void orderOut();
    // Draw now: front ends re-render; tests count the calls.
    void display();
    int displayCount() const { return m_displayCount; }
    void close();
    // The window's own close control (the title bar's close button, Escape in the terminal).
    void performClose();

private:
    friend class Application;
    std::string m_title;
    Rect m_frame;
    int m_level = NormalLevel;
    bool m_closable = true;
    bool m_canBecomeMain = true;
    std::shared_ptr<View> m_contentView;
    std::shared_ptr<View> m_frameView;
    std::weak_ptr<WindowDelegate> m_delegate;
    std::weak_ptr<WindowController> m_controller;
    View* m_firstResponder = nullptr;
    bool m_visible = false;
    bool m_closing = false;
    bool m_closed = false;  // closed, and not shown since
    int m_displayCount = 0;
    Window* m_sheetParent = nullptr;
    std::weak_ptr<Window> m_attachedSheet;
};

}  // namespace platform
