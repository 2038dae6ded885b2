// Every test of this binary runs against one virtual display with a window manager, started
// before the first test and stopped after the last.

#include <gtest/gtest.h>

#include <memory>

#include "tests/gui/VirtualDisplay.h"

namespace {

class DisplayEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_display = std::make_unique<testsupport::VirtualDisplay>(); }
    void TearDown() override { m_display.reset(); }

private:
    std::unique_ptr<testsupport::VirtualDisplay> m_display;
};

[[maybe_unused]] ::testing::Environment* const g_display =
    ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);

}  // namespace

// Under the sanitizers: the desktop libraries keep process-lifetime caches (fontconfig's font
// sets, Mesa's EGL state) that are not leaks of ours. The hosts started by the tests get the
// same list through LSAN_OPTIONS (see VirtualDisplay).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so.1\nleak:libEGL_mesa.so.0\n";
}
extern "C" const char* __lsan_default_options() {
    return "fast_unwind_on_malloc=0";
}
