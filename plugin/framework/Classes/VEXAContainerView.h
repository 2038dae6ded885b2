#pragma once

// KOPAContainerView: a view that shows one content view at a time, filling the container, and
// swaps it either at once or in three animated phases of 0.2 seconds each on the main run loop:
// the container fades out; the old content leaves and the container's size moves to the new
// view's size (held by two priority-750 constraints); the new content is pinned to the edges
// and the container fades in.
//
// Sizing modes (useAutoLayout): with constraints, the content's four edges are pinned to the
// container's; with autoresizing, the content gets the container's size and the mask
// WidthSizable | HeightSizable. Only the constraint mode animates: an animated swap in the
// other mode is a programming error and stops the program.
//
// The edge constraints are not kept: they go with the content view when it leaves.
//
// The container may paint a plain background colour under its content (none: no fill).

#include <functional>
#include <memory>
#include <optional>

#include "platform/ui/Color.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace platform {
class DrawingContext;
}

class KOPAContainerView : public platform::View {
public:
    static constexpr double kSwapPhaseSeconds = 0.2;
    static constexpr double kSizeHoldPriority = 750.0;

    KOPAContainerView() = default;
    explicit KOPAContainerView(platform::Rect frame) : View(frame) {}

    bool useAutoLayout() const { return m_useAutoLayout; }
    void setUseAutoLayout(bool use) { m_useAutoLayout = use; }
    const std::shared_ptr<platform::View>& contentView() const { return m_contentView; }
    const std::shared_ptr<platform::ViewController>& contentViewController() const {
        return m_contentViewController;
    }

    // Replaces the content at once; none empties the container. The controller stays as it was.
    void setContentView(const std::shared_ptr<platform::View>& view);
    // Not animated: setContentView, then the completion at once. Animated: the three phases; the
    // completion runs when the last ends. An animated swap to no view fades out, empties the
    // container and fades in (there is no size to move to).
    void setContentView(const std::shared_ptr<platform::View>& view, bool animated,
                        std::function<void()> completion);
    void setContentViewController(const std::shared_ptr<platform::ViewController>& controller);
    void setContentViewController(const std::shared_ptr<platform::ViewController>& controller, bool animated,
                                  std::function<void()> completion);

    // Setting the colour does not by itself ask for a redraw.
    const std::optional<platform::Color>& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(std::optional<platform::Color> color) { m_backgroundColor = color; }
    // Fills exactly the dirty rectangle with the background colour; without one draws nothing.
    void drawRect(platform::DrawingContext& context, const platform::Rect& dirty) const;

private:
    void pinContent(const std::shared_ptr<platform::View>& view);
    void removeContent();
    void fadeIn(std::function<void()> completion);

    bool m_useAutoLayout = false;
    std::optional<platform::Color> m_backgroundColor;
    std::shared_ptr<platform::ViewController> m_contentViewController;
    std::shared_ptr<platform::View> m_contentView;
};
