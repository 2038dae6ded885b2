#include "platform/ui/WindowController.h"

#include "platform/foundation/Log.h"
#include "platform/ui/WindowDescription.h"

namespace platform {

bool WindowController::initWithWindow(std::shared_ptr<Window> window) {
    if (window) setWindow(std::move(window));
    windowDidLoad();
    return true;
}

bool WindowController::initWithWindowNibName(const std::string& nibName, std::shared_ptr<Bundle> bundle) {
    if (!initWithWindow(nullptr)) return false;
    m_nibName = nibName;
    m_nibBundle = std::move(bundle);
    return true;
}

void WindowController::setWindow(std::shared_ptr<Window> window) {
    m_window = std::move(window);
    if (m_window) m_window->setWindowController(sharedAs<WindowController>());
}

std::shared_ptr<Window> WindowController::window() {
    if (!m_window && !m_nibName.empty() && !m_loadAttempted) loadWindow();
    return m_window;
}

void WindowController::loadWindow() {
    m_loadAttempted = true;
    auto bundle = m_nibBundle ? m_nibBundle : Bundle::mainBundle();
    if (!bundle) {
        m_loadStatus =
            Status::error(fmt::format("window description \"{}\": no bundle to load it from", m_nibName));
        Log::write(m_loadStatus.message());
        return;
    }
    auto description = WindowDescription::loadNamed(*bundle, m_nibName);
    if (!description) {
        m_loadStatus = description.status();
        Log::write(m_loadStatus.message());
        return;
    }
    auto status = description->instantiate(*this);
    if (!status) {
        m_loadStatus = status;
        Log::write(status.message());
        m_window.reset();
        return;
    }
    awakeFromNib();
    windowDidLoad();
}

void WindowController::showWindow() {
    if (auto w = window()) w->makeKeyAndOrderFront();
}

void WindowController::close() {
    if (m_window) m_window->close();
}

bool WindowController::setOutlet(const std::string& name, const ObjectPtr& object) {
    if (name == "window") {
        auto window = std::dynamic_pointer_cast<Window>(object);
        if (object && !window) return false;
        setWindow(window);
        return true;
    }
    auto it = m_outlets.find(name);
    return it != m_outlets.end() && it->second(object);
}

bool WindowController::performAction(const std::string& action, Object* sender) {
    auto it = m_actions.find(action);
    if (it == m_actions.end()) return false;
    auto keepSelf = shared_from_this();  // an action may close the dialog and drop its last owner
    auto handler = it->second;
    handler(sender);
    return true;
}

}  // namespace platform
