// Presenting, shared by both revisions: copying the back buffer's damage to the window, counting
// the presents, and Flush, which waits until what was drawn is on the window.
#include <time.h>

#include "graph/core.h"

namespace graphcore {

rts::Mutex gWindowLock;
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

// The served window's refresh period in microseconds (0 before the first loop).
std::atomic<int64_t> gPeriodUs;

// The last window's loop ended because the window or the display was lost.
std::atomic<bool> gLost;

// Raises gShown to `copy` and wakes the Flush waiters.
void Shown(uint64_t copy) {
  rts::Hold hold(gShownLock);
  if (copy > gShown) gShown = copy;
  gShownChanged.Broadcast();
}

}  // namespace

void StartPresenting(int64_t periodUs) {
  gPeriodUs.store(periodUs, std::memory_order_relaxed);
  gLost.store(false);
}

void PresentingLost() {
  gLost.store(true);
}

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

bool DamagePending() {
  rts::Hold hold(gBufferLock);
  return !gBuffer.damage.Empty() || gPresenting.load();
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

}  // namespace graphcore
