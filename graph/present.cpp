// Presenting, shared by both revisions: copying the back buffer's damage to the window, counting
// the presents, and Flush, which waits until what was drawn is on the window.

#include "graph/core.h"

namespace graphcore {

namespace {

using graphraster::Rect;

// Raises the device's count of shown copies to `copy` and wakes the Flush waiters.
void Shown(uint64_t copy) {
  Device& d = Dev();
  rts::Hold hold(d.shownLock);
  if (copy > d.shown) d.shown = copy;
  d.shownChanged.Broadcast();
}

}  // namespace

void StartPresenting(std::chrono::microseconds period) {
  Dev().period.store(period, std::memory_order_relaxed);
  Dev().lost.store(false);
}

void PresentingLost() {
  Dev().lost.store(true);
}

void Present(platform::WinHandle window, bool all) {
  Device& d = Dev();
  rts::Hold windowHold(d.windowLock);
  Rect area;
  uint64_t copy;
  bool copied;
  {
    rts::Hold bufferHold(d.bufferLock);
    area = all ? Rect{0, 0, d.buffer.width, d.buffer.depth} : d.buffer.damage;
    d.buffer.damage = graphraster::kNoDamage;
    if (area.Empty()) return;
    copy = ++d.copies;
    d.presenting.store(true);
    copied =
        platform::WinCopyToWindow(window, d.buffer.pixels, d.buffer.stride, d.buffer.width,
                                  d.buffer.depth, area.left, area.top, area.right, area.bottom);
  }
  // Revision 1's back buffer is larger than the client area: a change only in the hidden strip
  // has nothing to show.
  if (copied) platform::WinUpdateWindow(window, area.left, area.top, area.right, area.bottom);
  d.presenting.store(false);
  d.presents.fetch_add(1, std::memory_order_relaxed);
  Shown(copy);
}

bool DamagePending() {
  Device& d = Dev();
  rts::Hold hold(d.bufferLock);
  return !d.buffer.damage.Empty() || d.presenting.load();
}

void PaintAll(platform::WinHandle window) {
  Present(window, true);
}

void Flush() {
  Device& d = Dev();
  kTransport.waitIdle();
  if (d.window.load() == 0) {
    if (d.lost.load()) rts::SleepFor(RefreshPeriod());
    return;
  }
  uint64_t target;
  {
    rts::Hold hold(d.bufferLock);
    target = d.buffer.damage.Empty() ? d.copies : d.copies + 1;
  }
  const rts::TimePoint deadline = rts::Now() + 3 * RefreshPeriod();
  rts::Hold hold(d.shownLock);
  d.shownChanged.WaitUntil(d.shownLock, deadline,
                           [&d, target] { return d.shown >= target || d.window.load() == 0; });
}

void WindowGone() {
  rts::Hold hold(Dev().shownLock);
  Dev().shownChanged.Broadcast();
}

std::chrono::microseconds RefreshPeriod() {
  const std::chrono::microseconds period = Dev().period.load(std::memory_order_relaxed);
  return period.count() > 0 ? period : platform::kDefaultRefreshPeriod;
}

}  // namespace graphcore
