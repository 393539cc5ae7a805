// Reference for the line pixel rule, computed column by column (or row by row) from the rule
// itself rather than by stepping, so it checks the rasterizer's clipping independently.
#pragma once

#include <cstdint>
#include <set>
#include <utility>

namespace graphtest {

using Points = std::set<std::pair<int64_t, int64_t>>;

// Calls visit(x, y, i) for each step i (0 .. n-1, and n when `last`) of the line from (x1, y1)
// to (x2, y2) whose pixel lies inside [left, right) x [top, bottom): step i is i along the major
// axis and floor((2 i dm + n) / 2n) along the minor one.
template <class Visit>
void ReferenceSteps(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool last, int64_t left,
                    int64_t top, int64_t right, int64_t bottom, Visit visit) {
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xMajor = adx >= ady;
  const int64_t n = xMajor ? adx : ady, dm = xMajor ? ady : adx;
  const int64_t sM = (xMajor ? dx : dy) < 0 ? -1 : 1, sm = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t m1 = xMajor ? x1 : y1, n1 = xMajor ? y1 : x1;
  for (int64_t major = xMajor ? left : top; major < (xMajor ? right : bottom); ++major) {
    const int64_t i = (major - m1) * sM;
    if (i < 0 || i > n || (i == n && !last)) continue;
    const __int128 t = n == 0 ? 0 : (__int128{2} * i * dm + n) / (__int128{2} * n);
    const int64_t minor = n1 + sm * static_cast<int64_t>(t);
    const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
    if (x >= left && x < right && y >= top && y < bottom) visit(x, y, i);
  }
}

// Pixels inside [0, width) x [0, depth) of steps 0 .. n-1 (and step n when `last`) of the line
// from (x1, y1) to (x2, y2).
inline Points ReferenceLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool last,
                            int64_t width, int64_t depth) {
  Points out;
  ReferenceSteps(x1, y1, x2, y2, last, 0, 0, width, depth, [&](int64_t x, int64_t y, int64_t) {
    out.insert({x, y});
  });
  return out;
}

}  // namespace graphtest

// Through the library with the window open.
#include <string>

#include "graph/Graph.h"
#include "graph/probe.h"

namespace graphtest {

// Draws white lines from (500, 300) to (500, 300) + each offset in `ends`, each on a cleared
// screen, and answers "" when exactly the reference pixels turned white, else the first
// difference. `last` tells whether the revision draws the end point.
template <std::size_t N>
std::string ShortLinesMatchReference(const int32_t (&ends)[N][2], bool last, int32_t width,
                                     int32_t depth) {
  constexpr uint32_t kWhite = 0xFFFFFF;
  for (const auto& e : ends) {
    Graph::ClearScreen(0);
    Graph::Line(500, 300, uint32_t(500 + e[0]), uint32_t(300 + e[1]), 15);
    const Points want = ReferenceLine(500, 300, 500 + e[0], 300 + e[1], last, width, depth);
    const std::string where = std::to_string(e[0]) + "," + std::to_string(e[1]);
    if (graphprobe::CountPixels(kWhite) != want.size()) return "pixel count of line " + where;
    for (const auto& [px, py] : want) {
      if (graphprobe::Pixel(uint32_t(px), uint32_t(py)) != kWhite) {
        return "line " + where + " lacks " + std::to_string(px) + "," + std::to_string(py);
      }
    }
  }
  return "";
}

}  // namespace graphtest
