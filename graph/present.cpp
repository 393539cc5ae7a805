// Presenting, shared by both revisions: copying the back buffer's damage to the window, counting
// the presents, and Flush, which waits until what was drawn is on the window.
#include <time.h>

#include "graph/core.h"

namespace graphcore {

namespace {

using graphraster::Rect;

// Raises Dev().shown to `copy` and wakes the Flush waiters.
void Shown(uint64_t copy) {
  rts::Hold hold(Dev().shownLock);
  if (copy > Dev().shown) Dev().shown = copy;
  Dev().shownChanged.Broadcast();
}

}  // namespace

void StartPresenting(int64_t periodUs) {
  Dev().periodUs.store(periodUs, std::memory_order_relaxed);
  Dev().lost.store(false);
}

void PresentingLost() {
  Dev().lost.store(true);
}

void Present(platform::WinHandle window, bool all) {
  rts::Hold windowHold(Dev().windowLock);
  Rect d;
  uint64_t copy;
  bool copied;
  {
    rts::Hold bufferHold(Dev().bufferLock);
    d = all ? Rect{0, 0, Dev().buffer.width, Dev().buffer.depth} : Dev().buffer.damage;
    Dev().buffer.damage = graphraster::kNoDamage;
    if (d.Empty()) return;
    copy = ++Dev().copies;
    Dev().presenting.store(true);
    copied = platform::WinCopyToWindow(window, Dev().buffer.pixels, Dev().buffer.stride, Dev().buffer.width,
                                       Dev().buffer.depth, d.left, d.top, d.right, d.bottom);
  }
  // Revision 1's back buffer is larger than the client area: a change only in the hidden strip
  // has nothing to show.
  if (copied) platform::WinUpdateWindow(window, d.left, d.top, d.right, d.bottom);
  Dev().presenting.store(false);
  Dev().presents.fetch_add(1, std::memory_order_relaxed);
  Shown(copy);
}

bool DamagePending() {
  rts::Hold hold(Dev().bufferLock);
  return !Dev().buffer.damage.Empty() || Dev().presenting.load();
}

void PaintAll(platform::WinHandle window) {
  Present(window, true);
}

void Flush() {
  kTransport.waitIdle();
  if (Dev().window.load() == 0) {
    if (Dev().lost.load()) {
      const int64_t period = Dev().periodUs.load(std::memory_order_relaxed);
      timespec pause{0, static_cast<long>(period > 0 ? period : 16667) * 1000};
      nanosleep(&pause, nullptr);
    }
    return;
  }
  uint64_t target;
  {
    rts::Hold hold(Dev().bufferLock);
    target = Dev().buffer.damage.Empty() ? Dev().copies : Dev().copies + 1;
  }
  const int64_t period = Dev().periodUs.load(std::memory_order_relaxed);
  const int64_t deadline = rts::MonotonicNs() + 3 * (period > 0 ? period : 16667) * 1000;
  rts::Hold hold(Dev().shownLock);
  Dev().shownChanged.WaitUntil(Dev().shownLock, deadline,
                          [target] { return Dev().shown >= target || Dev().window.load() == 0; });
}

void WindowGone() {
  rts::Hold hold(Dev().shownLock);
  Dev().shownChanged.Broadcast();
}

int64_t RefreshPeriodUs() {
  const int64_t period = Dev().periodUs.load(std::memory_order_relaxed);
  return period > 0 ? period : 16667;
}

}  // namespace graphcore
