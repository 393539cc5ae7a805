// Real-X test helpers: an Xvfb server of the test's own, the X tools run against it, and the
// screen read back as RGB bytes.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace xvfbtest {

// Answers whether Xvfb and the tools the tests drive it with are installed.
inline bool ToolsPresent() {
  return std::system("command -v Xvfb xwd convert xdotool xprop xkill > /dev/null 2>&1") == 0;
}

// An Xvfb of our own (screen 1280 x 1024, `depth` bits); the display number comes back through
// -displayfd.
class Xvfb {
 public:
  explicit Xvfb(int depth = 24) {
    const std::string screen = "1280x1024x" + std::to_string(depth);
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // The server ends with the test, however the test ends.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
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
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // Kills the server and waits for it to end.
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Runs a shell command and answers its standard output. The output goes through a file, not a
// pipe: a process that the library forks meanwhile (SDL's message box) would keep a pipe open.
inline std::string Output(const std::string& command) {
  static std::atomic<unsigned> counter;
  const std::string file = "/tmp/graph_xvfb_out_" + std::to_string(getpid()) + "_" +
                           std::to_string(counter.fetch_add(1));
  std::string out;
  if (std::system(("{ " + command + "; } > " + file).c_str()) != -1) {
    std::ifstream in(file, std::ios::binary);
    out.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::remove(file.c_str());
  return out;
}

// The lines of a command's standard output.
inline std::vector<std::string> Lines(const std::string& command) {
  const std::string out = Output(command);
  std::vector<std::string> ids;
  std::string id;
  for (char c : out) {
    if (c == '\n') {
      if (!id.empty()) ids.push_back(id);
      id.clear();
    } else {
      id += c;
    }
  }
  if (!id.empty()) ids.push_back(id);
  return ids;
}

// The X identifiers (decimal) of the windows of class GraphWnd on $DISPLAY.
inline std::vector<std::string> GraphWindows() {
  return Lines("xdotool search --classname GraphWnd 2>/dev/null");
}

// The screen of $DISPLAY from (x, y), width x height pixels, as RGB bytes (empty on failure).
inline std::vector<unsigned char> Screen(int x, int y, int width, int height) {
  const std::string file = "/tmp/graph_xvfb_" + std::to_string(getpid()) + ".rgb";
  const std::string grab = "xwd -root -silent | convert xwd:- -crop " + std::to_string(width) +
                           "x" + std::to_string(height) + "+" + std::to_string(x) + "+" +
                           std::to_string(y) + " +repage -depth 8 rgb:" + file;
  std::vector<unsigned char> rgb;
  if (std::system(grab.c_str()) == 0) {
    std::ifstream in(file, std::ios::binary);
    rgb.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::remove(file.c_str());
  if (rgb.size() != static_cast<size_t>(width) * height * 3) rgb.clear();
  return rgb;
}

// The pixel (x, y) of a screen part read by Screen as 0x00RRGGBB.
inline uint32_t At(const std::vector<unsigned char>& rgb, int width, int x, int y) {
  const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
  return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

// Runs `body` in a new process of this test program (gtest's threadsafe death test: the program
// started again for this case alone) and expects it to pass there. For a case that changes the
// process's X connection for good (the display gone: video starts once per process; a message
// box's late X errors), so that it runs in any order and again.
inline void InOwnProcess(void (*body)()) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        body();
        std::fflush(nullptr);
        _exit(testing::Test::HasFailure() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace xvfbtest
