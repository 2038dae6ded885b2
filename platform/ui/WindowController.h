#pragma once

// WindowController: owns one window, made directly or loaded from a window description in a
// bundle. Loading happens the first time window() is asked for; then the description's outlets
// are connected to this controller by name, awakeFromNib() runs, then windowDidLoad().
//
// Two-phase creation, because a constructor cannot reach a subclass's overrides:
//   auto c = std::make_shared<MyController>();
//   c->initWithWindowNibName("MyController", bundle);   // or c->initWithWindow(window)
//
// Subclasses declare their outlets and actions in their constructor:
//   bindOutlet("nameField", m_nameField);          // std::weak_ptr<TextField> m_nameField;
//   bindAction("runAction:", [this](Object* sender) { runAction(sender); });

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Status.h"
#include "platform/ui/ActionTarget.h"
#include "platform/ui/Window.h"

namespace platform {

class Document;

class WindowController : public Object, public ActionTarget, public WindowDelegate {
public:
    WindowController() = default;

    // Takes `window` (or none) and calls windowDidLoad() at once.
    virtual bool initWithWindow(std::shared_ptr<Window> window);
    // Remembers the description to load later; runs initWithWindow(nullptr) first.
    virtual bool initWithWindowNibName(const std::string& nibName, std::shared_ptr<Bundle> bundle = nullptr);

    // The window, loading the description on first request. None when loading failed.
    std::shared_ptr<Window> window();
    bool isWindowLoaded() const { return m_window != nullptr; }
    const std::string& windowNibName() const { return m_nibName; }
    // Why the description could not be loaded (OK when it loaded or there is none).
    const Status& loadStatus() const { return m_loadStatus; }
    void setWindow(std::shared_ptr<Window> window);

    std::shared_ptr<Document> document() const { return m_document.lock(); }
    void setDocument(const std::shared_ptr<Document>& document) { m_document = document; }

    void showWindow();
    virtual void close();

    virtual void awakeFromNib() {}
    virtual void windowDidLoad() {}

    // Outlets by name, used by the description loader. False for an unknown outlet or an object
    // of the wrong class.
    bool setOutlet(const std::string& name, const ObjectPtr& object);
    bool hasOutlet(const std::string& name) const { return name == "window" || m_outlets.count(name) != 0; }

    bool respondsToAction(const std::string& action) const override { return m_actions.count(action) != 0; }
    bool performAction(const std::string& action, Object* sender) override;

protected:
    template <typename T>
    void bindOutlet(const std::string& name, std::weak_ptr<T>& slot) {
        m_outlets[name] = [&slot](const ObjectPtr& object) {
            auto typed = std::dynamic_pointer_cast<T>(object);
            if (object && !typed) return false;
            slot = typed;
            return true;
        };
    }
    void bindAction(const std::string& name, std::function<void(Object* sender)> action) {
        m_actions[name] = std::move(action);
    }

private:
    void loadWindow();

    std::shared_ptr<Window> m_window;
    std::string m_nibName;
    std::shared_ptr<Bundle> m_nibBundle;
    bool m_loadAttempted = false;
    Status m_loadStatus;
    std::weak_ptr<Document> m_document;
    std::map<std::string, std::function<bool(const ObjectPtr&)>> m_outlets;
    std::map<std::string, std::function<void(Object*)>> m_actions;
};

}  // namespace platform
