// The line-style selector of the revision a demo program is built for (GRAPH_DEMO_TRABOLIX:
// revision 1, which takes pen style codes; otherwise revision 2, which takes style numbers).
#pragma once

#include <cstdint>

#include "graph/Graph.h"

namespace graphdemo {

inline void SetStyle(uint32_t number) {
#ifdef GRAPH_DEMO_TRABOLIX
  const uint32_t codes[6] = {Graph::LNSTYLE_SOLID,         Graph::LNSTYLE_DOT,
                             Graph::LNSTYLE_SHORTDASH,     Graph::LNSTYLE_DASHDOT,
                             Graph::LNSTYLE_DASHDOUBLEDOT, Graph::LNSTYLE_INVISIBLE};
  Graph::SetLineStyle(codes[number < 6 ? number : 0]);
#else
  Graph::SetLinestyle(number);
#endif
}

}  // namespace graphdemo
