// Stand-in for the graphics companion module kvrIGraph, used only while the tree has no
// graph_r2 library: the part of its interface the key queue needs.
#pragma once

#include "platform/con_host.h"

namespace kvrIGraph {

// Module start body: takes the console input handle and discards typed-ahead input. Main
// thread.
void Init();

extern bool fGrMode;
extern platform::ConHandle hConsoleInput;

}  // namespace kvrIGraph
