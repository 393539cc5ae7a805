// Revision 2 on a real X server: starts its own Xvfb, opens the window with SDL's X11 driver,
// draws, and reads the screen back with xwd and ImageMagick to find the back buffer's picture in
// the window's client area at (1, 1); then the window is destroyed by another client, and later
// the server goes away, each leaving the program drawing into its back buffer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "graph/Graph.h"
#include "graph/probe.h"
#include "graph/tests/xvfb.h"
#include "tests/support/test_main.h"

namespace {

// The server goes away at the end, and video starts once per process: the case runs in a process
// of its own.
void WindowShowsTheBackBuffer() {
  xvfbtest::Xvfb server;
  ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);

  Graph::Init();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  Graph::Circle(500, 400, 12, 10);
  Graph::Circle(300, 300, 120, 14);
  for (uint32_t i = 0; i < 40; ++i) Graph::Line(20 + 20 * i, 700, 500, 60 + 3 * i, 1 + i % 15);
  Graph::Line(0, 0, 999, 749, 15);
  ASSERT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));

  std::vector<unsigned char> rgb;
  // The server shows the update after a moment; try a few times.
  for (int attempt = 0; attempt < 50; ++attempt) {
    rgb = xvfbtest::Screen(1, 1, 1000, 750);
    if (rgb.size() == 1000u * 750u * 3 && rgb[(400 * 1000 + 488) * 3 + 1] == 0xFF) break;
    usleep(100000);
  }
  ASSERT_EQ(rgb.size(), 1000u * 750u * 3);
  uint64_t lit = 0, wrong = 0;
  for (uint32_t y = 0; y < 750; ++y) {
    for (uint32_t x = 0; x < 1000; ++x) {
      const unsigned char* p = &rgb[(y * 1000 + x) * 3];
      const uint32_t screen = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      const uint32_t want = graphprobe::Pixel(x, y);
      if (screen != want && wrong++ < 5) {
        ADD_FAILURE() << "screen (" << x + 1 << ", " << y + 1 << ") is " << std::hex << screen
                      << ", back buffer " << want;
      }
      if (want != 0) ++lit;
    }
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_GT(lit, 2000u);

  // Another client destroys the window: the program is not ended; drawing goes on into the back
  // buffer, Exit does not wait for a quit request nobody takes, and a new window opens.
  const auto ids = xvfbtest::GraphWindows();
  ASSERT_EQ(ids.size(), 1u);
  testing::internal::CaptureStderr();
  xvfbtest::Output("xdotool windowclose " + ids[0]);
  for (uint32_t k = 0; graphprobe::WindowId() != 0 && k < 1000; ++k) {
    Graph::Line(0, 700, 999, 700, 1 + k % 15);
    Graph::Flush();
  }
  EXPECT_EQ(graphprobe::WindowId(), 0u);
  Graph::Line(0, 700, 999, 700, 12);
  EXPECT_EQ(graphprobe::Pixel(500, 700), 0xFF0000u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Graph: window lost\n");
  Graph::Exit();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  Graph::Line(0, 0, 999, 749, 15);
  ASSERT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));

  // The server goes away under the open window: the program is not ended; drawing goes on into
  // the back buffer; Flush keeps its pace without waiting for a present; no window opens again.
  testing::internal::CaptureStderr();
  server.Stop();
  for (uint32_t k = 0; graphprobe::WindowId() != 0 && k < 1000; ++k) {
    Graph::Line(0, 700, 999, 700, 1 + k % 15);
    Graph::Flush();
  }
  EXPECT_EQ(graphprobe::WindowId(), 0u);
  for (int i = 0; i < 5; ++i) {
    Graph::Line(0, 700, 999, 700, 12);
    Graph::Flush();
  }
  EXPECT_EQ(graphprobe::Pixel(500, 700), 0xFF0000u);
  Graph::Exit();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Graph: display connection lost\n");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Graph::Init(1, 1, 1000, 750));
  EXPECT_FALSE(Graph::Init(1, 1, 1000, 750));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Graph: Graph server not run (display connection lost)\n"
            "Graph: Graph server not run (display connection lost)\n");
}

TEST(GraphXvfb, WindowShowsTheBackBuffer) {
  if (!xvfbtest::ToolsPresent()) GTEST_SKIP() << "Xvfb, xwd, ImageMagick or xdotool missing";
  xvfbtest::InOwnProcess(WindowShowsTheBackBuffer);
}

}  // namespace
