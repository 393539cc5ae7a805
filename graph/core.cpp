// The window loop of both revisions of the graphics library: posted messages, presenting the back
// buffer's damage, and Flush.
#include "graph/core.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "rts/RTS.h"

namespace graphcore {

rts::Mutex gBufferLock;
rts::Mutex gWindowLock;
std::atomic<platform::WinHandle> gWindow;
std::atomic<uint64_t> gPresents;

namespace {

using graphraster::Rect;

std::atomic<bool> gPresenting;

// Presents that have copied pixels (guarded by gBufferLock), and those whose window update is
// done (gShown, guarded by gShownLock): a Flush waits for the copy that takes what was drawn
// before it.
uint64_t gCopies;
rts::Mutex gShownLock;
rts::Condition gShownChanged;
uint64_t gShown;

// Raises gShown to `copy` and wakes the Flush waiters.
void Shown(uint64_t copy) {
  rts::Hold hold(gShownLock);
  if (copy > gShown) gShown = copy;
  gShownChanged.Broadcast();
}

// The served window's refresh period in microseconds (0 before the first loop).
std::atomic<int64_t> gPeriodUs;

// The last window's loop ended because the window or the display was lost.
std::atomic<bool> gLost;

int64_t NowUs() {
  return rts::MonotonicNs() / 1000;
}

// The window thread's posted messages.
rts::Mutex gPostLock;
uint32_t gPosted[8];
int gPostedCount;
rts::Event gWake(rts::EventReset::kAuto);

bool TakePosted(uint32_t& message) {
  rts::Hold hold(gPostLock);
  if (gPostedCount == 0) return false;
  message = gPosted[0];
  std::memmove(gPosted, gPosted + 1, sizeof gPosted[0] * static_cast<std::size_t>(--gPostedCount));
  return true;
}

// Copies the damaged area (or everything) to the window and shows it.
void Present(platform::WinHandle window, bool all) {
  rts::Hold windowHold(gWindowLock);
  Rect d;
  uint64_t copy;
  bool copied;
  {
    rts::Hold bufferHold(gBufferLock);
    d = all ? Rect{0, 0, gBuffer.width, gBuffer.depth} : gBuffer.damage;
    gBuffer.damage = graphraster::kNoDamage;
    if (d.Empty()) return;
    copy = ++gCopies;
    gPresenting.store(true);
    copied = platform::WinCopyToWindow(window, gBuffer.pixels, gBuffer.stride, gBuffer.width,
                                       gBuffer.depth, d.left, d.top, d.right, d.bottom);
  }
  // Revision 1's back buffer is larger than the client area: a change only in the hidden strip
  // has nothing to show.
  if (copied) platform::WinUpdateWindow(window, d.left, d.top, d.right, d.bottom);
  gPresenting.store(false);
  gPresents.fetch_add(1, std::memory_order_relaxed);
  Shown(copy);
}

}  // namespace

bool DamagePending() {
  rts::Hold hold(gBufferLock);
  return !gBuffer.damage.Empty() || gPresenting.load();
}

void PostMessage(uint32_t message) {
  {
    rts::Hold hold(gPostLock);
    if (gPostedCount < 8) gPosted[gPostedCount++] = message;
  }
  gWake.Set();
}

void ClearPostedMessages() {
  rts::Hold hold(gPostLock);
  gPostedCount = 0;
}

void PaintAll(platform::WinHandle window) {
  Present(window, true);
}

void Flush() {
  WaitIdle();
  if (gWindow.load() == 0) {
    if (gLost.load()) {
      const int64_t period = gPeriodUs.load(std::memory_order_relaxed);
      timespec pause{0, static_cast<long>(period > 0 ? period : 16667) * 1000};
      nanosleep(&pause, nullptr);
    }
    return;
  }
  uint64_t target;
  {
    rts::Hold hold(gBufferLock);
    target = gBuffer.damage.Empty() ? gCopies : gCopies + 1;
  }
  const int64_t period = gPeriodUs.load(std::memory_order_relaxed);
  const int64_t deadline = rts::MonotonicNs() + 3 * (period > 0 ? period : 16667) * 1000;
  rts::Hold hold(gShownLock);
  gShownChanged.WaitUntil(gShownLock, deadline,
                          [target] { return gShown >= target || gWindow.load() == 0; });
}

void WindowGone() {
  rts::Hold hold(gShownLock);
  gShownChanged.Broadcast();
}

int64_t RefreshPeriodUs() {
  const int64_t period = gPeriodUs.load(std::memory_order_relaxed);
  return period > 0 ? period : 16667;
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
  gLost.store(true);
  return true;
}

}  // namespace

LoopEnd MessageLoop(platform::WinHandle window, WindowProc proc) {
  const int64_t period = platform::WinRefreshPeriodUs(window);
  gPeriodUs.store(period, std::memory_order_relaxed);
  gLost.store(false);
  int64_t due = NowUs();
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
    int64_t now = NowUs();
    if (now >= due) {
      Present(window, false);
      if (Lost(window, end)) return end;
      due = now + period;
    }
    gWake.WaitForUs(std::max<int64_t>(due - NowUs(), 0));
  }
}

void Fail(const char* text, const char* caption, const char* detail) {
  if (!detail || !*detail) {
    platform::WinMessageBox(text, caption);
    return;
  }
  char full[400];
  std::snprintf(full, sizeof full, "%s (%s)", text, detail);
  platform::WinMessageBox(full, caption);
}

}  // namespace graphcore
