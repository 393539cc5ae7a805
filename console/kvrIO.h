// Module kvrIO (Zentavor build): switching the console input to processed, line and echo input
// and back. Main thread.
#pragma once

#include <cstdint>

namespace kvrIO {

// Module start body.
void Init();

// on TRUE: reads the current input mode into `mode` and sets mode OR 7. on FALSE: sets the
// mode back to `mode`.
void SetConMode(bool on, uint32_t& mode);

}  // namespace kvrIO
