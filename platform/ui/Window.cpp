#include "platform/ui/Window.h"

#include "platform/ui/Application.h"

namespace platform {

Window::Window(std::string title, Rect frame) : m_title(std::move(title)), m_frame(frame) {
    setContentView(std::make_shared<View>(Rect{0, 0, frame.width, frame.height}));
}

Window::~Window() {
    if (m_frameView)
        m_frameView->setWindowRecursively(nullptr);
    else if (m_contentView)
        m_contentView->setWindowRecursively(nullptr);
}

void Window::setContentView(std::shared_ptr<View> view) {
    if (m_contentView) {
        if (m_firstResponder) makeFirstResponder(nullptr);
        if (m_frameView) m_contentView->removeFromSuperview();
        m_contentView->setWindowRecursively(nullptr);
    }
    m_contentView = std::move(view);
    if (m_contentView && m_frameView)
        m_frameView->addSubview(m_contentView);
    else if (m_contentView)
        m_contentView->setWindowRecursively(this);
}

const std::shared_ptr<View>& Window::frameView() {
    if (!m_frameView) {
        m_frameView = std::make_shared<View>(Rect{0, 0, m_frame.width, m_frame.height});
        m_frameView->setWindowRecursively(this);
        if (m_contentView) m_frameView->addSubview(m_contentView);
    }
    return m_frameView;
}

void Window::layoutIfNeeded() {
    if (m_frameView)
        m_frameView->layoutSubtreeIfNeeded();
    else if (m_contentView)
        m_contentView->layoutSubtreeIfNeeded();
}

bool Window::makeFirstResponder(View* view) {
    if (view == m_firstResponder) return true;
    if (view && (view->window() != this || !view->acceptsFirstResponder())) return false;
    if (m_firstResponder && !m_firstResponder->resignFirstResponder()) return false;
    m_firstResponder = view;
    return true;
}

bool Window::isKeyWindow() const {
    return Application::shared().keyWindow().get() == this;
}
bool Window::isMainWindow() const {
    return Application::shared().mainWindow().get() == this;
}

void Window::makeKeyAndOrderFront() {
    Application::shared().orderFront(sharedAs<Window>(), true);
}

void Window::orderOut() {
    Application::shared().orderOut(this);
}

void Window::display() {
    ++m_displayCount;
    Application::shared().windowNeedsDisplay(*this);
}

void Window::close() {
    if (m_closing || (m_closed && !m_visible)) return;
    m_closing = true;
    auto keepSelf = sharedAs<Window>();  // the application may hold the last reference
    Notification note{kWindowWillCloseNotification, keepSelf, {}};
    if (auto d = delegate()) d->windowWillClose(note);
    NotificationCenter::defaultCenter().post(note);
    Application::shared().windowDidClose(this);
    m_closing = false;
    m_closed = true;
}

void Window::performClose() {
    if (m_closable) close();
}

}  // namespace platform
