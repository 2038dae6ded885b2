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
