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

// Draws the same random lines twice, once as usual and once with every line taking the clipping
// path, and answers whether the back buffers came out equal. The lines lie wholly inside the
// drawing area, short (up to a little beyond the length of the short-line path) and long, in all
// directions, with each pen style (`setStyle` takes the revision's style selector, `styles` of
// them) and both background mixes. Needs the window open; `mismatch` describes the first
// difference.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "graph/Graph.h"
#include "graph/core.h"
#include "graph/probe.h"

namespace graphtest {

template <class SetStyle>
bool FastPathMatchesClipping(SetStyle setStyle, uint32_t styles, uint32_t rounds,
                             std::string& mismatch) {
  const uint32_t width = Graph::Width, depth = Graph::Depth;
  std::vector<uint32_t> fast(static_cast<std::size_t>(width) * depth);
  std::vector<uint32_t> clipped(fast.size());
  std::mt19937 random(2024);
  for (uint32_t round = 0; round < rounds; ++round) {
    struct Drawn {
      uint32_t x1, y1, x2, y2, colour, style;
      bool opaque;
    };
    std::vector<Drawn> lines;
    for (int i = 0; i < 60; ++i) {
      Drawn l{};
      l.x1 = random() % width;
      l.y1 = random() % depth;
      const int32_t reach = (random() % 4 == 0) ? 1000 : 70;  // mostly short lines
      auto near = [&](uint32_t v, uint32_t limit) {
        const int64_t w = int64_t{v} + static_cast<int64_t>(random() % (2 * reach + 1)) - reach;
        return static_cast<uint32_t>(std::min<int64_t>(std::max<int64_t>(w, 0), limit - 1));
      };
      l.x2 = near(l.x1, width);
      l.y2 = near(l.y1, depth);
      l.colour = 1 + random() % 15;
      l.style = random() % 3 == 0 ? random() % styles : 0;
      l.opaque = random() % 2 == 0;
      lines.push_back(l);
    }
    for (int pass = 0; pass < 2; ++pass) {
      graphcore::SetAlwaysClip(pass == 1);
      Graph::SetBkColor(0);
      Graph::ClearScreen(0);
      for (const Drawn& l : lines) {
        setStyle(l.style);
        Graph::SetBkMix(l.opaque);
        Graph::SetBkColor(l.colour ^ 5);
        Graph::Line(l.x1, l.y1, l.x2, l.y2, l.colour);
      }
      graphcore::ReadBuffer(pass == 0 ? fast.data() : clipped.data());
    }
    graphcore::SetAlwaysClip(false);
    setStyle(0);
    Graph::SetBkMix(true);
    Graph::SetBkColor(0);
    if (std::memcmp(fast.data(), clipped.data(), fast.size() * sizeof fast[0]) != 0) {
      for (std::size_t k = 0; k < fast.size(); ++k) {
        if (fast[k] != clipped[k]) {
          mismatch = "round " + std::to_string(round) + ": pixel (" + std::to_string(k % width) +
                     ", " + std::to_string(k / width) + ") differs";
          break;
        }
      }
      return false;
    }
  }
  return true;
}

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
