// Module BiosIO (Zentavor build).
#include "console/BiosIO.h"

#include "console/IO.h"
#include "console/kvrEvQue.h"
#include "rts/RTS.h"

namespace BiosIO {

char LastChar;
uint8_t LastScan;
bool EnhancedBIOS;

namespace {
bool started;
}

void Init() {
  if (!rts::Starting(started)) return;
  kvrEvQue::Init();
  IO::Init();
  LastChar = '\xff';
  LastScan = 0;
  EnhancedBIOS = true;
}

bool KeyPressed() {
  uint8_t ch, scan;
  return kvrEvQue::peekKey(ch, scan);
}

char RdKey() {
  if (LastChar == '\0') {
    LastChar = '\xff';
    return static_cast<char>(LastScan);
  }
  uint8_t ch = 0, scan = 0;
  kvrEvQue::getKey(ch, scan, true);
  LastChar = static_cast<char>(ch);
  LastScan = scan;
  return LastChar;
}

}  // namespace BiosIO
