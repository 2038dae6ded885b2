#pragma once

// Button: a push button or a check box. A check box's state is on, off or mixed; clicking it
// moves mixed and off to on, on to off (a person never sets mixed by clicking).

#include <string>

#include "platform/ui/Control.h"

namespace platform {

class Button : public Control {
public:
    enum class Kind { Push, CheckBox };
    enum State : int { Mixed = -1, Off = 0, On = 1 };

    Button() = default;
    Button(std::string title, Kind kind = Kind::Push) : m_title(std::move(title)), m_kind(kind) {}

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    Kind kind() const { return m_kind; }
    void setKind(Kind kind) { m_kind = kind; }
    int state() const { return m_state; }
    void setState(int state) { m_state = state < 0 ? Mixed : (state > 0 ? On : Off); }
    // The key that presses the button ("\r" for the default button).
    const std::string& keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(std::string key) { m_keyEquivalent = std::move(key); }

    // A click: toggles a check box, then sends the action. Nothing happens when disabled.
    bool performClick();

private:
    std::string m_title;
    Kind m_kind = Kind::Push;
    int m_state = Off;
    std::string m_keyEquivalent;
};

}  // namespace platform
