// Engine start: the floating-point unit comes back to round-to-nearest and the libraries the
// engine imports are started, once. Runs in a child, since the console library starts a thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfenv>

#include "engine/Engine.h"
#include "graph/Graph.h"
#include "tests/support/child.h"

namespace {

TEST(EngineInit, RoundsToNearestStartsTheLibrariesAndRunsOnce) {
  const auto r = testchild::RunProgram([] {
    std::fesetround(FE_UPWARD);
    Engine::Init();
    if (std::fegetround() != FE_TONEAREST) _exit(1);
    std::fesetround(FE_DOWNWARD);
    Engine::Init();  // a second start does nothing
    if (std::fegetround() != FE_DOWNWARD) _exit(2);
    std::fesetround(FE_TONEAREST);
    // Graph was started: its window opens under the offscreen driver.
    if (!Graph::Init(1, 1, 320, 200)) _exit(3);
    rts::End();
  });
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

}  // namespace
