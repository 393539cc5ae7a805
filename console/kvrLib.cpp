// Module kvrLib (Zentavor build): its start body only marks it started.
#include "console/kvrLib.h"

#include "rts/RTS.h"

namespace kvrLib {
namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
}

}  // namespace kvrLib
