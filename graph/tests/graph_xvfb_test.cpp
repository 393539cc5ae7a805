// Revision 2 on a real X server: starts its own Xvfb, opens the window with SDL's X11 driver,
// draws, and reads the screen back with xwd and ImageMagick to find the back buffer's picture in
// the window's client area at (1, 1).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "graph/Graph.h"
#include "graph/probe.h"
#include "tests/support/test_main.h"

namespace {

// An Xvfb of our own; the display number comes back through -displayfd.
class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // The server writes its display number and a line feed once it is ready (not necessarily in
    // one write); the pipe stays open until the line is complete.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~Xvfb() { Stop(); }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

TEST(GraphXvfb, WindowShowsTheBackBuffer) {
  if (std::system("command -v Xvfb xwd convert > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "Xvfb, xwd or ImageMagick missing";
  }
  Xvfb server;
  ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
  setenv("DISPLAY", server.display().c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);

  Graph::Init();
  ASSERT_TRUE(Graph::Init(1, 1, 1000, 750));
  Graph::Circle(500, 400, 12, 10);
  Graph::Circle(300, 300, 120, 14);
  for (uint32_t i = 0; i < 40; ++i) Graph::Line(20 + 20 * i, 700, 500, 60 + 3 * i, 1 + i % 15);
  Graph::Line(0, 0, 999, 749, 15);
  ASSERT_TRUE(graphprobe::WaitPresented(5000));

  const std::string file = "/tmp/graph_xvfb_" + std::to_string(getpid()) + ".rgb";
  const std::string grab = "xwd -root -silent -display " + server.display() +
                           " | convert xwd:- -crop 1000x750+1+1 +repage -depth 8 rgb:" + file;
  std::vector<unsigned char> rgb;
  // The server shows the update after a moment; try a few times.
  for (int attempt = 0; attempt < 20; ++attempt) {
    ASSERT_EQ(std::system(grab.c_str()), 0);
    std::ifstream in(file, std::ios::binary);
    rgb.assign(std::istreambuf_iterator<char>(in), {});
    if (rgb.size() == 1000u * 750u * 3 && rgb[(400 * 1000 + 488) * 3 + 1] == 0xFF) break;
    usleep(100000);
  }
  std::remove(file.c_str());
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

  // The server goes away under the open window: the program is not ended; drawing goes on into
  // the back buffer.
  testing::internal::CaptureStderr();
  server.Stop();
  for (int i = 0; i < 50; ++i) {
    Graph::Line(0, 700, 999, 700, 12);
    usleep(20000);
  }
  EXPECT_EQ(graphprobe::Pixel(500, 700), 0xFF0000u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Graph: display connection lost\n");
}

}  // namespace
