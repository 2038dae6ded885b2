#include "NSWindow+VEXA.h"
#include "platform/ui/Window.h"

bool kopaStayOnTop(const platform::Window& window) {
    return window.level() == platform::Window::FloatingLevel;
}

void setKopaStayOnTop(platform::Window& window, bool stayOnTop) {
    window.setLevel(stayOnTop ? platform::Window::FloatingLevel : platform::Window::NormalLevel);
}
