// Test helpers: standard input from /dev/null (so the console host reads nothing of the
// runner's), standard output captured into a string, and key records written into the input.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/Console.h"

namespace contest {

inline const bool kQuietInput = [] {
  int fd = open("/dev/null", O_RDONLY);
  dup2(fd, STDIN_FILENO);
  close(fd);
  return true;
}();

// Runs `write` with standard output going to a temporary file and returns what was written.
template <class F>
std::string Captured(F write) {
  fflush(stdout);
  FILE* file = tmpfile();
  int saved = dup(STDOUT_FILENO);
  dup2(fileno(file), STDOUT_FILENO);
  write();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string text;
  rewind(file);
  int c;
  while ((c = fgetc(file)) != EOF) text.push_back(static_cast<char>(c));
  fclose(file);
  return text;
}

// A key event record as the console host delivers it.
inline platform::InputRecord Key(uint8_t ch, uint16_t scan, uint32_t state, uint16_t vk = 0,
                                 bool down = true) {
  platform::InputRecord r{};
  r.EventType = platform::KEY_EVENT;
  r.Event.bKeyDown = down ? 1 : 0;
  r.Event.wRepeatCount = 1;
  r.Event.wVirtualKeyCode = vk;
  r.Event.wVirtualScanCode = scan;
  r.Event.uChar = ch;
  r.Event.dwControlKeyState = state;
  return r;
}

inline void Put(const platform::InputRecord& r) {
  while (!platform::ConWriteInput(r)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace contest
