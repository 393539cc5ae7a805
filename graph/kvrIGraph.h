// Module kvrIGraph (revision 2): the state the console library shares with the graphics window,
// into whose console input the window forwards its keys.
#pragma once

#include <cstdint>

#include "platform/Console.h"

namespace kvrIGraph {

// A window-message hook: window, message, first and second parameter.
using Proc = void (*)(uint32_t window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Module start body: proc := none, fGrMode := FALSE, hConsoleInput := the standard input handle,
// and pending console input is discarded. Main thread, once.
void Init();

// TRUE after the first successful Graph::Init; never cleared. Written by the main thread.
extern bool fGrMode;

// The console input handle the window forwards its keys to.
extern platform::ConHandle hConsoleInput;

// When set, called on the window's thread with every window message before the window's own
// handling (its result is ignored). None at start; set it only before the first Graph::Init.
extern Proc proc;

}  // namespace kvrIGraph
