#pragma once

// Box: a view that groups others under a title or draws a separator line (NSBox). Drawing goes
// into a DrawingContext; a subclass may replace it entirely.

#include <string>

#include "platform/ui/View.h"

namespace platform {

class DrawingContext;

class Box : public View {
public:
    enum class BoxType { Primary, Separator };

    using View::View;

    BoxType boxType() const { return m_boxType; }
    void setBoxType(BoxType type) { m_boxType = type; }
    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }

    // The view's own coordinates: its frame's size at the origin.
    Rect bounds() const { return {0, 0, frame().width, frame().height}; }

    // Draws the part of the box inside `dirty`. A separator is a 1-point grey line across the
    // middle; a primary box draws nothing of its own (a front end shows its title).
    virtual void drawRect(DrawingContext& context, const Rect& dirty);
    // Whether a live resize may keep what was drawn and draw only the newly exposed area. A box
    // draws nothing that depends on its width, so it may.
    virtual bool preservesContentDuringLiveResize() const { return true; }

private:
    BoxType m_boxType = BoxType::Primary;
    std::string m_title;
};

}  // namespace platform
