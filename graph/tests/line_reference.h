// Reference for the line pixel rule, computed column by column (or row by row) from the rule
// itself rather than by stepping, so it checks the rasterizer's clipping independently.
#pragma once

#include <cstdint>
#include <set>
#include <utility>

namespace graphtest {

using Points = std::set<std::pair<int64_t, int64_t>>;

// Pixels inside [0, width) x [0, depth) of steps 0 .. n-1 (and step n when `last`) of the line
// from (x1, y1) to (x2, y2): step i is i along the major axis and floor((2 i dm + n) / 2n) along
// the minor one.
inline Points ReferenceLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool last,
                            int64_t width, int64_t depth) {
  Points out;
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const int64_t n = xMajor ? adx : ady, dm = xMajor ? ady : adx;
  const int64_t sM = (xMajor ? dx : dy) < 0 ? -1 : 1, sm = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t m1 = xMajor ? x1 : y1, n1 = xMajor ? y1 : x1;
  const int64_t extent = xMajor ? width : depth;
  for (int64_t major = 0; major < extent; ++major) {
    const int64_t i = (major - m1) * sM;
    if (i < 0 || i > n || (i == n && !last)) continue;
    const __int128 t = n == 0 ? 0 : (__int128{2} * i * dm + n) / (__int128{2} * n);
    const int64_t minor = n1 + sm * static_cast<int64_t>(t);
    const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
    if (x >= 0 && x < width && y >= 0 && y < depth) out.insert({x, y});
  }
  return out;
}

}  // namespace graphtest
