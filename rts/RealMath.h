// Mathematics support module: the floating-point unit and the real functions the system uses.
#pragma once

namespace RealMath {

// Module start: puts the floating-point unit in round-to-nearest with exceptions masked.
// Main thread.
void Init();

}  // namespace RealMath
