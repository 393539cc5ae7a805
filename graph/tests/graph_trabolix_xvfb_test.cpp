// Revision 1 on a real X server: the window's client area shows the back buffer's top-left part;
// drawing only in the strip the client area hides costs the X server nothing it refuses; the
// second Init's box stands over the always-on-top window; a window destroyed by another client,
// or a server that goes away, leaves the program drawing into its back buffer with one line on
// standard error, and Exit does not wait for the window's thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "graph/Graph.h"
#include "graph/probe.h"
#include "graph/tests/xvfb.h"
#include "tests/support/test_main.h"

namespace {

using xvfbtest::Output;

constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF;
// The client area of the 1000 x 800 window: a border of 1 and a caption of 19 pixels less.
constexpr int kClientWidth = 998, kClientDepth = 779;

// One server for every test of the file, killed when the tests are done.
xvfbtest::Xvfb* gServer;
class ServerEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (!xvfbtest::ToolsPresent()) return;
    gServer = new xvfbtest::Xvfb;
    setenv("DISPLAY", gServer->display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
  }
  void TearDown() override {
    if (gServer) gServer->Stop();
  }
};
const auto* const gEnvironment = testing::AddGlobalTestEnvironment(new ServerEnvironment);

#define NEED_SERVER()                                                          \
  do {                                                                         \
    if (!gServer) GTEST_SKIP() << "Xvfb, xwd, ImageMagick or xdotool missing"; \
    ASSERT_FALSE(gServer->display().empty()) << "Xvfb did not start";          \
  } while (0)

// Waits until `done()` holds, at most `seconds` (a guard against a hang, not a timing).
template <class F>
bool Eventually(F done, int seconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The X identifier of the open Graph window (decimal), or "" when there is none.
std::string OurWindow() {
  const auto ids = xvfbtest::GraphWindows();
  return ids.size() == 1 ? ids[0] : "";
}

// Returns the library to its start and opens the 1000 x 800 window, so no case depends on another.
void Open() {
  graphprobe::Reset();
  Graph::Init();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 800));
}

// Draws and flushes until the window thread has noticed that its window or display is gone;
// expects that to happen before the deadline.
void DrawUntilTheWindowIsGone() {
  uint32_t k = 0;
  EXPECT_TRUE(Eventually([&] {
    Graph::Line(0, 100 + k % 600, 900, 100 + k % 600, 1 + k % 15);
    Graph::Flush();
    ++k;
    return graphprobe::WindowId() == 0;
  }));
}

TEST(GraphTrabolixXvfb, ClientAreaShowsTheBackBuffer) {
  NEED_SERVER();
  Open();
  Graph::Circle(500, 400, 12, 10);
  Graph::Circle(300, 300, 120, 14);
  for (uint32_t i = 0; i < 40; ++i) Graph::Line(20 + 20 * i, 770, 500, 60 + 3 * i, 1 + i % 15);
  Graph::Line(0, 0, 997, 778, 15);
  ASSERT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));

  std::vector<unsigned char> rgb;
  // The server shows the update after a moment; look again until the circle is there.
  ASSERT_TRUE(Eventually([&] {
    rgb = xvfbtest::Screen(1, 1, kClientWidth, kClientDepth);
    return !rgb.empty() && xvfbtest::At(rgb, kClientWidth, 488, 400) == 0x00FF00;
  }));
  uint64_t wrong = 0;
  for (int y = 0; y < kClientDepth; ++y) {
    for (int x = 0; x < kClientWidth; ++x) {
      const uint32_t screen = xvfbtest::At(rgb, kClientWidth, x, y);
      const uint32_t want = graphprobe::Pixel(uint32_t(x), uint32_t(y));
      if (screen != want && wrong++ < 5) {
        ADD_FAILURE() << "screen (" << x + 1 << ", " << y + 1 << ") is " << std::hex << screen
                      << ", back buffer " << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0u);
}

TEST(GraphTrabolixXvfb, DrawingOnlyWhereTheClientAreaEnds) {
  NEED_SERVER();
  Open();
  Graph::ClearScreen(0);
  Graph::Flush();
  ASSERT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));
  testing::internal::CaptureStderr();
  // Below the client area, right of it, and the corner: each change alone, shown alone.
  for (uint32_t k = 0; k < 20; ++k) {
    Graph::Line(10 + k, 790, 900, 790, 1 + k % 15);
    Graph::Flush();
    Graph::Line(998, 10 + k, 998, 700, 1 + k % 15);
    Graph::Flush();
    Graph::Line(999, 799 - k % 2, 999, 799, 15);
    Graph::Flush();
  }
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));
  EXPECT_EQ(graphprobe::Pixel(500, 790), 0x800080u) << "the back buffer keeps the strip";
  EXPECT_NE(graphprobe::WindowId(), 0u) << "the window stays";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// The root's children as xwininfo lists them, from the top of the stack down: "0x... name (class)".
std::vector<std::string> TopLevel() {
  return xvfbtest::Lines("xwininfo -root -children 2>/dev/null | grep '^ *0x' | sed 's/^ *//'");
}

TEST(GraphTrabolixXvfb, SecondInitsBoxStandsOverTheWindow) {
  NEED_SERVER();
  Open();
  const std::string ours = OurWindow();
  ASSERT_NE(ours, "");
  char oursHex[32];
  std::snprintf(oursHex, sizeof oursHex, "0x%lx", std::stoul(ours));
  // The box holds Init until it is dismissed: look at it from another thread, then press Return.
  std::string box, transientFor;
  std::vector<std::string> stack;
  std::atomic<bool> seen{false};
  std::thread watcher([&] {
    Eventually([&] {
      for (const std::string& line : TopLevel()) {
        if (line.find(" \"Graph\": ()") != std::string::npos) box = line.substr(0, line.find(' '));
      }
      return !box.empty();
    });
    if (box.empty()) return;
    Eventually([&] {
      return Output("xwininfo -id " + box + " 2>/dev/null").find("IsViewable") != std::string::npos;
    });
    transientFor = Output("xprop -id " + box + " WM_TRANSIENT_FOR 2>/dev/null");
    stack = TopLevel();
    seen = true;
    // Return dismisses the box (xdotool is given a while only: it can hang on a window that is
    // just going away).
    const std::string id = std::to_string(std::stoul(box, nullptr, 16));
    Eventually([&] {
      Output("timeout 5 xdotool key --window " + id + " Return 2>/dev/null");
      return Output("xwininfo -root -children 2>/dev/null").find(box + " ") == std::string::npos;
    });
  });
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Graph::Init(1, 1, 640, 480));
  const std::string err = testing::internal::GetCapturedStderr();
  watcher.join();
  ASSERT_TRUE(seen) << "no box opened (standard error: " << err << ")";
  EXPECT_EQ(err, "") << "the message is in the box";
  EXPECT_NE(transientFor.find(std::string("window id # ") + oursHex), std::string::npos)
      << "the box belongs to the Graph window: " << transientFor;
  int boxAt = -1, oursAt = -1;
  for (int i = 0; i < static_cast<int>(stack.size()); ++i) {
    if (stack[i].rfind(box + " ", 0) == 0) boxAt = i;
    if (stack[i].rfind(std::string(oursHex) + " ", 0) == 0) oursAt = i;
  }
  ASSERT_GE(boxAt, 0);
  ASSERT_GE(oursAt, 0);
  EXPECT_LT(boxAt, oursAt) << "the box is above the window";
  EXPECT_EQ(Graph::Width, 1000u);
  EXPECT_NE(graphprobe::WindowId(), 0u);
}

// A window that cannot be made: the message and its reason are on standard error before the box
// opens (the box is then dismissed); Init answers FALSE. In a process of its own: the box's window
// leaves a late X error that a later window's loop would report.
void WindowFailureToldBeforeTheBox() {
  graphprobe::Reset();
  Graph::Init();
  // Standard error into a file the watcher reads when the box has opened.
  char path[] = "/tmp/graph_stderr_XXXXXX";
  const int file = mkstemp(path);
  ASSERT_GE(file, 0);
  std::fflush(stderr);
  const int saved = dup(2);
  dup2(file, 2);
  std::string box, before;
  std::thread watcher([&] {
    Eventually([&] {
      for (const std::string& line : TopLevel()) {
        if (line.find(" \"Error\": ()") != std::string::npos) box = line.substr(0, line.find(' '));
      }
      return !box.empty();
    });
    if (box.empty()) return;
    std::ifstream in(path);
    before.assign(std::istreambuf_iterator<char>(in), {});
    const std::string id = std::to_string(std::stoul(box, nullptr, 16));
    Eventually([&] {
      Output("timeout 5 xdotool key --window " + id + " Return 2>/dev/null");
      return Output("xwininfo -root -children 2>/dev/null").find(box + " ") == std::string::npos;
    });
  });
  const bool opened = Graph::Init(1, 1, 5000, 5000);
  watcher.join();
  dup2(saved, 2);
  close(saved);
  close(file);
  std::remove(path);
  EXPECT_FALSE(opened);
  ASSERT_NE(box, "") << "no box opened";
  EXPECT_EQ(before, "Couldn't create main window (no window of 5000 x 5000 pixels)\n");
  Graph::Exit();
}

TEST(GraphTrabolixXvfbDeathTest, WindowFailureToldBeforeTheBox) {
  NEED_SERVER();
  xvfbtest::InOwnProcess(WindowFailureToldBeforeTheBox);
}

// A window of scale 2: twice as wide and high, each back-buffer pixel a 2 x 2 block on the
// screen; Width and Depth are as asked. The window of the other tests comes back afterwards.
TEST(GraphTrabolixXvfb, ScaledWindow) {
  NEED_SERVER();
  graphprobe::Reset();
  Graph::Init();
  Graph::SetScale(2);
  ASSERT_TRUE(Graph::Init(1, 1, 300, 200));
  EXPECT_EQ(Graph::Width, 300u);
  Graph::Line(10, 5, 12, 5, 15);
  Graph::Plot(10, 7, 14);
  ASSERT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));
  constexpr int kW = 2 * (300 - 2), kH = 2 * (200 - 21);
  EXPECT_NE(Output("xwininfo -id " + OurWindow())
                .find("Width: " + std::to_string(kW) + "\n  Height: " + std::to_string(kH)),
            std::string::npos);
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(Eventually([&] {
    rgb = xvfbtest::Screen(1, 1, kW, kH);
    return !rgb.empty() && xvfbtest::At(rgb, kW, 20, 14) == 0xFFFF00;
  }));
  uint64_t wrong = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 30; ++x) {
      const uint32_t want = graphprobe::Pixel(uint32_t(x / 2), uint32_t(y / 2));
      if (xvfbtest::At(rgb, kW, x, y) != want && wrong++ < 5) {
        ADD_FAILURE() << "screen (" << x << ", " << y << ") of the client area";
      }
    }
  }
  EXPECT_EQ(wrong, 0u);
  Graph::Exit();
  Graph::SetScale(1);
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 800));
}

TEST(GraphTrabolixXvfb, WindowDestroyedByAnotherClient) {
  NEED_SERVER();
  Open();
  const std::string ours = OurWindow();
  ASSERT_NE(ours, "");
  testing::internal::CaptureStderr();
  Output("xdotool windowclose " + ours);
  // Drawing goes on while the window thread notices and ends.
  DrawUntilTheWindowIsGone();
  Graph::ClearScreen(0);
  Graph::Line(0, 0, 10, 0, 15);
  Graph::Flush();
  EXPECT_EQ(graphprobe::Pixel(9, 0), kWhite) << "drawing still reaches the back buffer";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Graph: window lost\n");

  // Exit finds the window thread gone; a new window opens.
  Graph::Exit();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 800));
  EXPECT_NE(graphprobe::WindowId(), 0u);
  EXPECT_EQ(graphprobe::Pixel(9, 0), kBlack);
  Graph::Line(0, 0, 100, 100, 14);
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{5000}));
}

// The display is gone for the rest of the process, so this runs in a process of its own.
void ServerGoesAway() {
  Open();
  testing::internal::CaptureStderr();
  gServer->Stop();
  DrawUntilTheWindowIsGone();
  Graph::Line(0, 5, 10, 5, 15);
  EXPECT_EQ(graphprobe::Pixel(9, 5), kWhite) << "drawing still reaches the back buffer";
  Graph::Exit();  // as the finaliser calls it: must not wait
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Graph: display connection lost\n");

  testing::internal::CaptureStderr();
  EXPECT_FALSE(Graph::Init(1, 1, 1000, 800));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Graph: Graph server not run (display connection lost)\n");
  Graph::Exit();
}

TEST(GraphTrabolixXvfbDeathTest, ServerGoesAway) {
  NEED_SERVER();
  xvfbtest::InOwnProcess(ServerGoesAway);
}

}  // namespace
