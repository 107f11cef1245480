// Runs the whole test program on the manual clock (see ManualClockEnvironment).
#include "PlayListTest.h"

namespace {
[[maybe_unused]] ::testing::Environment *const g_manualClock =
    ::testing::AddGlobalTestEnvironment(new playlist_test::ManualClockEnvironment);
}
