// A case both revisions' tests run: the thread that executes requests, fed without a pause, must
// not keep the window's thread from presenting. Several presents happen while it draws; at 60 Hz
// that takes some 70 ms, and the guard only fails a presenter that is shut out.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "graph/Graph.h"
#include "graph/probe.h"

namespace graphtest {

// Draws short lines without a pause until 4 presents have happened meanwhile (at most 20 s) and
// expects them. The window must be open. Main thread.
inline void ExpectPresentsWhileDrawingWithoutPause() {
  ASSERT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000}));
  const uint64_t before = graphprobe::Presents();
  const auto start = std::chrono::steady_clock::now();
  uint32_t i = 0;
  while (graphprobe::Presents() - before < 4 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    for (int k = 0; k < 64; ++k, ++i) Graph::Line(i % 900, i % 700, i % 900 + 20, i % 700 + 9, i);
  }
  EXPECT_GE(graphprobe::Presents() - before, 4u) << i << " lines drawn";
}

// Flushes and expects the drawing on the window when Flush returns, unless Flush gave up at its
// deadline of three refresh periods (a machine busy with other work can keep the window's thread
// from running that long); either way the drawing is shown soon after. Main thread.
inline void ExpectFlushShowsTheDrawing(const std::string& what) {
  const auto start = std::chrono::steady_clock::now();
  Graph::Flush();
  const auto took = std::chrono::steady_clock::now() - start;
  const bool shown = graphprobe::WaitPresented(std::chrono::milliseconds{0});
  EXPECT_TRUE(shown || took >= 3 * Graph::RefreshPeriod())
      << "nothing pending after Flush, " << what;
  EXPECT_TRUE(graphprobe::WaitPresented(std::chrono::milliseconds{2000})) << what;
}

}  // namespace graphtest
