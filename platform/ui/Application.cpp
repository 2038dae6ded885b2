#include "platform/ui/Application.h"

#include <algorithm>

#include "platform/foundation/Log.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Document.h"
#include "platform/ui/Menu.h"

namespace platform {

Application& Application::shared() {
    static Application app;
    return app;
}

void Application::orderFront(const std::shared_ptr<Window>& window, bool makeKey) {
    if (!window) return;
    std::erase(m_windows, window);
    m_windows.insert(m_windows.begin(), window);
    window->m_visible = true;
    if (makeKey) {
        bool keyChanged = keyWindow() != window;
        m_keyWindow = window;
        if (keyChanged) NotificationCenter::defaultCenter().post(kWindowDidBecomeKeyNotification, window);
        if (window->canBecomeMainWindow()) setMainWindow(window);
    }
    windowNeedsDisplay(*window);
}

void Application::setMainWindow(const std::shared_ptr<Window>& window) {
    if (mainWindow() == window) return;
    m_mainWindow = window;
    if (window) NotificationCenter::defaultCenter().post(kWindowDidBecomeMainNotification, window);
}

void Application::orderOut(Window* window) {
    if (!window) return;
    auto keep = window->sharedAs<Window>();
    window->m_visible = false;
    std::erase_if(m_windows, [window](const auto& w) { return w.get() == window; });
    bool wasKey = keyWindow().get() == window;
    if (mainWindow().get() == window) m_mainWindow.reset();
    if (wasKey) m_keyWindow.reset();
    if (wasKey || !mainWindow()) chooseNewKeyWindow();
    if (m_frontEnd) m_frontEnd->windowChanged(*window);
}

void Application::chooseNewKeyWindow() {
    // The frontmost remaining window takes focus; a sheet's parent is skipped for its sheet.
    for (const auto& w : m_windows) {
        if (w->attachedSheet()) continue;
        if (!keyWindow()) {
            m_keyWindow = w;
            NotificationCenter::defaultCenter().post(kWindowDidBecomeKeyNotification, w);
        }
        break;
    }
    if (!mainWindow()) {
        for (const auto& w : m_windows) {
            if (w->canBecomeMainWindow()) {
                setMainWindow(w);
                break;
            }
        }
    }
}

void Application::beginSheet(const std::shared_ptr<Window>& sheet, const std::shared_ptr<Window>& parent) {
    if (!sheet) return;
    if (!parent || parent == sheet) {
        Log::format("Sheet \"{}\" has no window to attach to; it is shown as a free window", sheet->title());
        orderFront(sheet, true);
        return;
    }
    if (auto previous = parent->attachedSheet(); previous && previous != sheet) {
        // One sheet per window: a second sheet stacks on the first one.
        beginSheet(sheet, previous);
        return;
    }
    sheet->m_sheetParent = parent.get();
    parent->m_attachedSheet = sheet;
    orderFront(sheet, true);
}

void Application::endSheet(Window* sheet) {
    if (!sheet || !sheet->m_sheetParent) return;
    Window* parent = sheet->m_sheetParent;
    if (parent->attachedSheet().get() == sheet) parent->m_attachedSheet.reset();
    sheet->m_sheetParent = nullptr;
    auto keep = sheet->sharedAs<Window>();
    // Focus goes back to the parent only if the sheet had it: a sheet ended while another
    // window is key and main (the login window at sign-off) must not make its parent main.
    bool sheetWasKey = keyWindow().get() == sheet;
    orderOut(sheet);
    if (sheetWasKey && parent->isVisible()) orderFront(parent->sharedAs<Window>(), true);
}

int64_t Application::runModalForWindow(const std::shared_ptr<Window>& window) {
    auto entry = std::make_shared<ModalEntry>();
    entry->window = window;
    entry->blocking = true;
    m_modalStack.push_back(entry);
    window->setLevel(std::max(window->level(), static_cast<int>(Window::ModalPanelLevel)));
    orderFront(window, true);
    try {
        RunLoop::main().runUntil(RunLoopMode::Modal, [&] { return entry->stopped; });
    } catch (...) {
        std::erase(m_modalStack, entry);
        throw;
    }
    std::erase(m_modalStack, entry);
    return entry->code;
}

void Application::stopModalWithCode(int64_t code) {
    for (auto it = m_modalStack.rbegin(); it != m_modalStack.rend(); ++it) {
        if ((*it)->blocking && !(*it)->stopped) {
            (*it)->stopped = true;
            (*it)->code = code;
            return;
        }
    }
}

std::shared_ptr<ModalSession> Application::beginModalSessionForWindow(const std::shared_ptr<Window>& window) {
    auto entry = std::make_shared<ModalEntry>();
    entry->window = window;
    entry->blocking = false;
    entry->session = std::make_shared<ModalSession>(ModalSession{window});
    m_modalStack.push_back(entry);
    window->setLevel(std::max(window->level(), static_cast<int>(Window::ModalPanelLevel)));
    orderFront(window, true);
    return entry->session;
}

void Application::endModalSession(const std::shared_ptr<ModalSession>& session) {
    std::erase_if(m_modalStack, [&](const auto& e) { return e->session && e->session == session; });
}

std::shared_ptr<Window> Application::modalWindow() const {
    for (auto it = m_modalStack.rbegin(); it != m_modalStack.rend(); ++it) {
        if (auto w = (*it)->window.lock()) return w;
    }
    return nullptr;
}

int Application::runAlertPanel(const AlertRequest& alert) {
    if (!m_frontEnd) {
        Log::format("Alert \"{}\": {} [{}]", alert.title, alert.message, alert.defaultButton);
        return kAlertDefaultReturn;
    }
    return m_frontEnd->runAlert(alert);
}

bool Application::presentError(const std::string& description) {
    runAlertPanel(AlertRequest{"Error", description, "OK", "", "", false});
    return false;
}

bool Application::openURL(const std::string& url) {
    return m_frontEnd && m_frontEnd->openURL(url);
}

void Application::addDocument(const std::shared_ptr<Document>& document) {
    if (std::find(m_documents.begin(), m_documents.end(), document) == m_documents.end())
        m_documents.push_back(document);
}

void Application::removeDocument(const Document* document) {
    std::erase_if(m_documents, [document](const auto& d) { return d.get() == document; });
}

void Application::windowDidClose(Window* window) {
    auto keep = window->sharedAs<Window>();
    if (window->m_sheetParent) endSheet(window);
    if (auto sheet = window->attachedSheet()) sheet->close();
    orderOut(window);
    window->makeFirstResponder(nullptr);
}

void Application::windowNeedsDisplay(Window& window) {
    if (m_frontEnd) m_frontEnd->windowChanged(window);
}

void Application::resetForTesting() {
    m_windows.clear();
    m_keyWindow.reset();
    m_mainWindow.reset();
    m_modalStack.clear();
    m_documents.clear();
    m_frontEnd = nullptr;
    m_mainMenu.reset();
}

}  // namespace platform
