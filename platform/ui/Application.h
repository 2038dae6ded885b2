#pragma once

// Application: the toolkit's application object (NSApp). It keeps the open windows in front-to-
// back order, the key and main window, sheets, modal loops and sessions, the open documents,
// and the front end that shows all of it.
//
// Main window. A window becomes main when it is ordered front with focus and can become main
// (sheets and panels cannot); each change posts "NSWindowDidBecomeMainNotification" with the
// window as object, synchronously.
//
// Sheets. beginSheet() attaches a window to a parent and makes it key. With no parent (and no
// key window to fall back on) the sheet is shown as a free window and a log line says so: a
// dialog must never vanish because it had nothing to attach to.
//
// Modal loops. runModalForWindow() runs the main run loop in the modal mode until
// stopModalWithCode() is called, and returns that code. Loops nest; stop ends the innermost.
// A modal session (beginModalSessionForWindow) marks the window modal without blocking.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/FrontEnd.h"
#include "platform/ui/Window.h"

namespace platform {

class Document;
class Menu;

struct ModalSession {
    std::weak_ptr<Window> window;
};

class Application {
public:
    static Application& shared();

    // Visible windows, frontmost first.
    const std::vector<std::shared_ptr<Window>>& windows() const { return m_windows; }
    std::shared_ptr<Window> keyWindow() const { return m_keyWindow.lock(); }
    std::shared_ptr<Window> mainWindow() const { return m_mainWindow.lock(); }

    // Shows `window` in front; with `makeKey` it also becomes key (and main when it can).
    void orderFront(const std::shared_ptr<Window>& window, bool makeKey);
    void orderOut(Window* window);

    void beginSheet(const std::shared_ptr<Window>& sheet, const std::shared_ptr<Window>& parent);
    void endSheet(Window* sheet);

    int64_t runModalForWindow(const std::shared_ptr<Window>& window);
    void stopModalWithCode(int64_t code);
    std::shared_ptr<ModalSession> beginModalSessionForWindow(const std::shared_ptr<Window>& window);
    void endModalSession(const std::shared_ptr<ModalSession>& session);
    // The window of the innermost modal loop or session, or none.
    std::shared_ptr<Window> modalWindow() const;
    int modalDepth() const { return static_cast<int>(m_modalStack.size()); }

    // NSRunAlertPanel: blocks until the front end has an answer. Without a front end the alert
    // is written to the log and the default button is taken.
    int runAlertPanel(const AlertRequest& alert);
    // The standard error presentation: an alert with the error text; false (no recovery).
    bool presentError(const std::string& description);
    bool openURL(const std::string& url);

    void setFrontEnd(FrontEnd* frontEnd) { m_frontEnd = frontEnd; }
    FrontEnd* frontEnd() const { return m_frontEnd; }

    // The menu bar: its items' submenus are the application's menus ("Plug-ins" among them).
    const std::shared_ptr<Menu>& mainMenu() const { return m_mainMenu; }
    void setMainMenu(std::shared_ptr<Menu> menu) { m_mainMenu = std::move(menu); }

    const std::vector<std::shared_ptr<Document>>& documents() const { return m_documents; }
    void addDocument(const std::shared_ptr<Document>& document);
    void removeDocument(const Document* document);

    // Called by windows.
    void windowDidClose(Window* window);
    void windowNeedsDisplay(Window& window);

    // Forgets every window, document, modal state and the front end.
    void resetForTesting();

private:
    Application() = default;
    void setMainWindow(const std::shared_ptr<Window>& window);
    void chooseNewKeyWindow();

    struct ModalEntry {
        std::weak_ptr<Window> window;
        bool blocking;
        bool stopped = false;
        int64_t code = 0;
        std::shared_ptr<ModalSession> session;
    };

    std::vector<std::shared_ptr<Window>> m_windows;
    std::weak_ptr<Window> m_keyWindow;
    std::weak_ptr<Window> m_mainWindow;
    std::vector<std::shared_ptr<ModalEntry>> m_modalStack;
    std::vector<std::shared_ptr<Document>> m_documents;
    FrontEnd* m_frontEnd = nullptr;
    std::shared_ptr<Menu> m_mainMenu;
};

}  // namespace platform
