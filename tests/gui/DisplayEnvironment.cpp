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

// Under the sanitizers: fontconfig keeps process-lifetime caches that are not leaks of ours. The
// hosts started by the tests get the same list through LSAN_OPTIONS (see VirtualDisplay).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so.1\n";
}
