// Module Str, both builds: the start body.
#include "console/Str.h"

#include "rts/RTS.h"

namespace Str {
namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
}

}  // namespace Str
