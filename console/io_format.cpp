// Module IO, Trabolix build: repeated characters, adjusted strings and cardinals.
#include <cstring>

#include "console/IO.h"
#include "console/Str.h"

namespace IO {

void WrCharRep(char c, uint32_t count) {
  if (RdLnOnWr) RdLn();
  while (count > 0) {
    uint32_t chunk = count < 254 ? count : 254;
    char buf[256];
    memset(buf, c, chunk);
    buf[chunk] = '\0';
    WrStr(buf);
    count -= chunk;
  }
}

void WrStrAdj(const char* s, std::size_t capacity, int32_t n) {
  if (RdLnOnWr) RdLn();
  OK = true;
  int64_t width = n < 0 ? -static_cast<int64_t>(n) : n;
  int64_t d = width - static_cast<int64_t>(strnlen(s, capacity));
  if (d < 0 && ChopOff) {
    WrCharRep('?', static_cast<uint32_t>(width));
    OK = false;
    return;
  }
  if (n > 0 && d > 0) WrCharRep(PrefixChar, static_cast<uint32_t>(d));
  WrStr(s, capacity);
  if (n < 0 && d > 0) WrCharRep(SuffixChar, static_cast<uint32_t>(d));
}

void WrCard(uint32_t x, int32_t n) {
  char buf[256];
  bool ok;
  Str::CardToStr(x, buf, 10, ok);
  OK = ok;
  if (ok) WrStrAdj(buf, n);
}

}  // namespace IO
