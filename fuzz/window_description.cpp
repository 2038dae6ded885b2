// Window descriptions: any text either loads or fails with a Status naming the problem; what
// loads builds its window and views for a controller without crashing (outlets and actions the
// controller lacks are errors, not faults).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/WindowController.h"
#include "platform/ui/WindowDescription.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    auto description = platform::WindowDescription::parse(text, "fuzz.window.json");
    if (!description) return 0;
    auto owner = std::make_shared<platform::WindowController>();
    (void)description->instantiate(*owner);
    return 0;
}
