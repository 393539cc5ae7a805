// A private Xvfb server for tests, and a screen grab of a part of it.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace graphtest {

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

// True when Xvfb, xwd and ImageMagick's convert are installed.
inline bool CanGrab() {
  return std::system("command -v Xvfb xwd convert > /dev/null 2>&1") == 0;
}

// The screen's width x height pixels from (x, y) as RGB bytes, rows top first; empty on failure.
inline std::vector<unsigned char> Grab(const std::string& display, int width, int height, int x,
                                       int y) {
  const std::string file = "/tmp/graph_grab_" + std::to_string(getpid()) + ".rgb";
  const std::string grab = "xwd -root -silent -display " + display + " | convert xwd:- -crop " +
                           std::to_string(width) + "x" + std::to_string(height) + "+" +
                           std::to_string(x) + "+" + std::to_string(y) +
                           " +repage -depth 8 rgb:" + file;
  std::vector<unsigned char> rgb;
  if (std::system(grab.c_str()) == 0) {
    std::ifstream in(file, std::ios::binary);
    rgb.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::remove(file.c_str());
  if (rgb.size() != static_cast<std::size_t>(width) * height * 3) rgb.clear();
  return rgb;
}

}  // namespace graphtest
