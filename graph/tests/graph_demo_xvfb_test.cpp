// The demo scene on a real X server, in the revision this test is built for: starts its own Xvfb,
// draws one of everything, and compares the window's client area on the screen with the back
// buffer, pixel for pixel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "graph/Graph.h"
#include "graph/examples/demo_scene.h"
#include "graph/examples/demo_style.h"
#include "graph/probe.h"
#include "graph/tests/xvfb.h"
#include "tests/support/test_main.h"

namespace {

#ifdef GRAPH_DEMO_TRABOLIX
constexpr const char* kName = "revision 1";
// Revision 1's window is Width x Depth outside: a 1-pixel border and a 19-pixel caption.
constexpr int kClientW = 800 - 2, kClientH = 600 - 21;
#else
constexpr const char* kName = "revision 2";
constexpr int kClientW = 800, kClientH = 600;
#endif

// The server goes away with the case, and video starts once per process: the case runs in a
// process of its own.
void WindowShowsTheDemoPicture() {
  xvfbtest::Xvfb server;
  ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);

  Graph::Init();
  ASSERT_TRUE(Graph::Init(1, 1, 800, 600)) << kName;
  const uint32_t kinds[] = {1, 5, 6, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 21};
  uint64_t before[sizeof kinds / sizeof kinds[0]];
  for (std::size_t k = 0; k < sizeof kinds / sizeof kinds[0]; ++k) {
    before[k] = graphprobe::Requests(kinds[k]);
  }
  graphdemo::Draw(graphdemo::SetStyle);
  for (std::size_t k = 0; k < sizeof kinds / sizeof kinds[0]; ++k) {
    EXPECT_GT(graphprobe::Requests(kinds[k]), before[k]) << "request kind " << kinds[k];
  }
  ASSERT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));
  std::vector<uint32_t> buffer(800 * 600);
  graphprobe::CopyPixels(buffer.data());

  // The server shows the update after a moment: grab until the picture is there.
  std::vector<unsigned char> rgb;
  uint64_t wrong = 0;
  for (int attempt = 0; attempt < 30; ++attempt) {
    rgb = xvfbtest::Screen(1, 1, kClientW, kClientH);
    ASSERT_FALSE(rgb.empty()) << "no screen grab";
    wrong = 0;
    for (int y = 0; y < kClientH; ++y) {
      for (int x = 0; x < kClientW; ++x) {
        const unsigned char* p = &rgb[(std::size_t(y) * kClientW + x) * 3];
        const uint32_t screen = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
        wrong += screen != buffer[std::size_t(y) * 800 + x];
      }
    }
    if (wrong == 0) break;
    usleep(100000);
  }
  EXPECT_EQ(wrong, 0u) << "pixels of the window that differ from the back buffer";
  uint64_t lit = 0;
  for (uint32_t v : buffer) lit += v != 0;
  EXPECT_GT(lit, 60000u) << "the demo drew its panels";
}

TEST(GraphDemoXvfb, WindowShowsTheDemoPicture) {
  if (!xvfbtest::ToolsPresent()) GTEST_SKIP() << "Xvfb, the X tools or ImageMagick missing";
  xvfbtest::InOwnProcess(WindowShowsTheDemoPicture);
}

}  // namespace
