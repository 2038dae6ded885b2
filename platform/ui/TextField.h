#pragma once

// TextField: an editable text field or a static label. While a person types, the text lives in
// an editing buffer; it becomes the field's string value when editing ends -- when the field
// resigns first responder (another field takes focus, or the window's first responder is set
// to none on close) or when Return is pressed.
//
// Typing never stores control characters (C0, DEL, C1) or bytes that are not UTF-8: no key a
// person presses puts them in a text, and a stray escape sequence in a name is data nobody can
// see or type again. Such text is refused whole rather than stripped, since what would be left
// ("abc[D[DX" of an arrow key) is not what anyone meant either.

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/Control.h"

namespace platform {

class TextField : public Control {
public:
    TextField() = default;
    explicit TextField(std::string value) : m_value(std::move(value)) {}

    // The committed value; text still being edited is not part of it.
    const std::string& stringValue() const { return m_value; }
    void setStringValue(std::string value) {
        m_value = std::move(value);
        m_editing.reset();
    }
    bool isEditable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }
    const std::string& placeholder() const { return m_placeholder; }
    void setPlaceholder(std::string text) { m_placeholder = std::move(text); }

    // Typing: focuses the field (through its window) and replaces the editing buffer. False,
    // the field unchanged, when it takes no typing or the text is not typable.
    bool typeText(const std::string& text);
    // The byte offset of the first control character or malformed UTF-8 sequence; none when a
    // person could have typed all of `text`.
    static std::optional<size_t> findUntypable(std::string_view text);
    bool isEditing() const { return m_editing.has_value(); }
    const std::optional<std::string>& editingText() const { return m_editing; }
    void commitEditing();

    // How the cell lays out text too long for it (the toolkit's NSLineBreakMode codes), and
    // whether the last line that fits ends in an ellipsis when more text follows.
    enum class LineBreakMode : int {
        WordWrapping = 0,
        CharWrapping = 1,
        Clipping = 2,
        TruncatingHead = 3,
        TruncatingTail = 4,
        TruncatingMiddle = 5,
    };
    LineBreakMode lineBreakMode() const { return m_lineBreakMode; }
    void setLineBreakMode(LineBreakMode mode) { m_lineBreakMode = mode; }
    bool truncatesLastVisibleLine() const { return m_truncatesLastVisibleLine; }
    void setTruncatesLastVisibleLine(bool truncates) { m_truncatesLastVisibleLine = truncates; }

    bool acceptsFirstResponder() const override { return m_editable && isEnabled(); }
    bool resignFirstResponder() override {
        commitEditing();
        return true;
    }

private:
    std::string m_value;
    std::optional<std::string> m_editing;
    bool m_editable = true;
    std::string m_placeholder;
    LineBreakMode m_lineBreakMode = LineBreakMode::Clipping;
    bool m_truncatesLastVisibleLine = false;
};

}  // namespace platform
