// The window loop of both revisions of the graphics library: the window thread's posted messages
// and the message loop, which dispatches messages and presents the damage once per refresh.
#include "graph/core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "rts/RTS.h"

namespace graphcore {

namespace {

bool TakePosted(uint32_t& message) {
  Device& d = Dev();
  rts::Hold hold(d.postLock);
  if (d.postedCount == 0) return false;
  message = d.posted[0];
  std::memmove(d.posted, d.posted + 1,
               sizeof d.posted[0] * static_cast<std::size_t>(--d.postedCount));
  return true;
}

}  // namespace

void PostMessage(uint32_t message) {
  Device& d = Dev();
  {
    rts::Hold hold(d.postLock);
    if (d.postedCount < 8) d.posted[d.postedCount++] = message;
  }
  d.wake.Set();
}

void ClearPostedMessages() {
  rts::Hold hold(Dev().postLock);
  Dev().postedCount = 0;
}

namespace {

void WriteLine(const char* a, const char* b = "") {
  char line[320];
  const int n = std::snprintf(line, sizeof line, "%s%s\n", a, b);
  if (n > 0)
    rts::WriteAll(2, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1));
}

// Answers how the loop ends when the window or the display is gone, after telling it.
bool Lost(platform::WinHandle window, LoopEnd& end) {
  char stray[256];
  if (platform::WinTakeStrayError(stray, sizeof stray)) WriteLine("Graph: ", stray);
  switch (platform::WinLost(window)) {
    case platform::WinLoss::kNone:
      return false;
    case platform::WinLoss::kWindow:
      WriteLine("Graph: window lost");
      end = LoopEnd::kWindowLost;
      break;
    case platform::WinLoss::kDisplay:
      WriteLine("Graph: display connection lost");
      end = LoopEnd::kDisplayLost;
      break;
  }
  PresentingLost();
  return true;
}

}  // namespace

LoopEnd MessageLoop(platform::WinHandle window, WindowProc proc) {
  const std::chrono::microseconds period = platform::WinRefreshPeriod(window);
  StartPresenting(period);
  rts::TimePoint due = rts::Now();
  LoopEnd end;
  for (;;) {
    platform::WinMessage m;
    while (platform::WinPeekMessage(window, m)) {
      if (!proc(window, m)) return LoopEnd::kClosed;
    }
    if (Lost(window, end)) return end;
    uint32_t posted;
    while (TakePosted(posted)) {
      if (posted == platform::WM_QUIT) return LoopEnd::kQuit;
      if (!proc(window, platform::WinMessage{posted, 0, 0})) return LoopEnd::kClosed;
    }
    const rts::TimePoint now = rts::Now();
    if (now >= due) {
      Present(window, false);
      if (Lost(window, end)) return end;
      due = now + period;
    }
    Dev().wake.WaitUntil(due);
  }
}

}  // namespace graphcore
