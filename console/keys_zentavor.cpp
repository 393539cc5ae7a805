// Module IO, Zentavor build: keys come from the kvrEvQue key queue through BiosIO.
#include "console/BiosIO.h"
#include "console/IO.h"
#include "console/Str.h"
#include "console/io_internal.h"
#include "console/kvrEvQue.h"
#include "console/kvrIO.h"
#include "console/kvrLib.h"
#include "platform/Console.h"
#include "rts/RTS.h"

namespace IO {
namespace {

bool started;

// The default string reader: processed, line and echo input for the time of the read, then the
// characters of keys from the queue up to Enter or the capacity.
void DefaultRdStr(char* s, std::size_t capacity) {
  detail::PromptForString();
  uint32_t mode = 0;
  kvrIO::SetConMode(true, mode);
  std::size_t length = 0;
  while (length < capacity) {
    uint8_t ch, scan;
    kvrEvQue::getKey(ch, scan, true);
    if (ch == '\r') break;
    if (ch != 0) s[length++] = static_cast<char>(ch);
  }
  kvrIO::SetConMode(false, mode);
  detail::CloseString(s, capacity, length);
}

}  // namespace

void Init() {
  if (!rts::Starting(started)) return;
  kvrEvQue::Init();
  kvrIO::Init();
  BiosIO::Init();
  kvrLib::Init();
  Str::Init();
  detail::InitCommon(DefaultRdStr);
}

bool KeyPressed() {
  return BiosIO::KeyPressed();
}

bool KeyComing() {
  return BiosIO::KeyPressed() || platform::ConPendingInput() > 0;
}

char RdKey() {
  return BiosIO::RdKey();
}

}  // namespace IO
