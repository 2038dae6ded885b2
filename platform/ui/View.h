#pragma once

// View: a rectangle in a window's view tree. A view owns its subviews; its superview and window
// are plain back-links, cleared when it leaves them.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Object.h"
#include "platform/ui/Geometry.h"

namespace platform {

class Window;

class View : public Object {
public:
    View() = default;
    explicit View(Rect frame) : m_frame(frame) {}
    ~View() override;

    const Rect& frame() const { return m_frame; }
    void setFrame(Rect frame) { m_frame = frame; }
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden) { m_hidden = hidden; }
    // The name a window description gives the view; how front ends and tests address it.
    const std::string& identifier() const { return m_identifier; }
    void setIdentifier(std::string identifier) { m_identifier = std::move(identifier); }

    View* superview() const { return m_superview; }
    Window* window() const { return m_window; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    void addSubview(std::shared_ptr<View> view);
    void removeFromSuperview();

    // Depth-first search of this view and its descendants by identifier.
    std::shared_ptr<View> viewWithIdentifier(const std::string& identifier);

    // Whether the view can take keyboard focus (text fields can).
    virtual bool acceptsFirstResponder() const { return false; }
    // Focus is leaving: a field being edited commits its text. Returning false keeps focus.
    virtual bool resignFirstResponder() { return true; }

private:
    friend class Window;
    void setWindowRecursively(Window* window);

    Rect m_frame;
    bool m_hidden = false;
    std::string m_identifier;
    View* m_superview = nullptr;
    Window* m_window = nullptr;
    std::vector<std::shared_ptr<View>> m_subviews;
};

}  // namespace platform
