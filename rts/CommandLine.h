// The programs' command line, read before anything starts: --help (-h) and --version print their
// text on standard output and end the process with status 0; --scale N (1 to 4, also
// --scale=N) chooses the window's screen scale; anything else is refused with one line on
// standard error and status 2. Nothing is opened and the terminal's mode is not touched on the
// way, so a refused or informational run leaves no trace.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace rts {

struct ProgramText {
  const char* name;        // the program's name in its messages: "zentavor"
  const char* version;     // "0.1.0"
  const char* usage;       // the --help text above the options, ending in a newline
  const char* exitStatus;  // the --help text below the environment, ending in a newline
};

inline constexpr int kUsageError = 2;

// The part of the --help text that both programs share: their options and the environment.
inline constexpr char kOptionsText[] =
    "\n"
    "Options:\n"
    "  --scale N     show the window N times larger, each pixel an N x N block (1 to 4; 1)\n"
    "  -h, --help    show this text and end\n"
    "  --version     show the version and end\n"
    "\n"
    "Environment:\n"
    "  DISPLAY       the X server the window opens on; without a display the program says\n"
    "                \"Sorry, graphics doesn't work\" and ends\n"
    "  TERM          the terminal's type (keypad modes are not sent to \"dumb\" or \"unknown\")\n"
    "\n";

namespace command_line {

inline void Put(int fd, const char* text) noexcept {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = write(fd, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<std::size_t>(n);
  }
}

[[noreturn]] inline void Refuse(const ProgramText& p, const char* what, const char* arg) noexcept {
  Put(STDERR_FILENO, p.name);
  Put(STDERR_FILENO, ": ");
  Put(STDERR_FILENO, what);
  Put(STDERR_FILENO, " '");
  Put(STDERR_FILENO, arg);
  Put(STDERR_FILENO, "' (see ");
  Put(STDERR_FILENO, p.name);
  Put(STDERR_FILENO, " --help)\n");
  std::_Exit(kUsageError);
}

// 1..4 from exactly one decimal digit; 0 for anything else.
inline uint32_t ScaleValue(const char* s) noexcept {
  if (s[0] >= '1' && s[0] <= '4' && s[1] == '\0') return static_cast<uint32_t>(s[0] - '0');
  return 0;
}

}  // namespace command_line

// Reads the arguments; returns the screen scale asked for (1 when none). Ends the process for
// --help, --version and every argument it does not know. Main thread, first thing in main.
inline uint32_t ReadCommandLine(int argc, char** argv, const ProgramText& p) noexcept {
  using command_line::Put;
  using command_line::Refuse;
  uint32_t scale = 1;
  for (int k = 1; k < argc; ++k) {
    const char* a = argv[k];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      Put(STDOUT_FILENO, p.usage);
      Put(STDOUT_FILENO, kOptionsText);
      Put(STDOUT_FILENO, p.exitStatus);
      std::_Exit(0);
    }
    if (std::strcmp(a, "--version") == 0) {
      Put(STDOUT_FILENO, p.name);
      Put(STDOUT_FILENO, " ");
      Put(STDOUT_FILENO, p.version);
      Put(STDOUT_FILENO, "\n");
      std::_Exit(0);
    }
    const char* value = nullptr;
    if (std::strcmp(a, "--scale") == 0) {
      if (k + 1 >= argc)
        Refuse(p, "--scale needs a number from 1 to 4 after it, as in", "--scale 2");
      value = argv[++k];
    } else if (std::strncmp(a, "--scale=", 8) == 0) {
      value = a + 8;
    } else {
      Refuse(p, "unknown argument", a);
    }
    scale = command_line::ScaleValue(value);
    if (scale == 0) Refuse(p, "the scale is a whole number from 1 to 4, not", value);
  }
  return scale;
}

}  // namespace rts
