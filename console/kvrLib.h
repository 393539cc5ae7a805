// Module kvrLib (Zentavor build): no content; its start body only marks itself started.
#pragma once

namespace kvrLib {

// Module start body. Main thread.
void Init();

}  // namespace kvrLib
