// Module Str, Trabolix build: cardinal to text.
#include "console/Str.h"

namespace Str {

void CardToStr(uint32_t x, char* str, std::size_t capacity, uint32_t base, bool& ok) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  if (base < 2) base = 2;
  if (base > 16) base = 16;
  ok = true;
  std::size_t length = 0;
  do {
    if (length >= capacity) {
      ok = false;
      break;
    }
    str[length++] = kDigits[x % base];
    x /= base;
  } while (x != 0);
  if (length < capacity) str[length] = '\0';
  for (std::size_t i = 0, j = length; i + 1 < j; ++i, --j) {
    char t = str[i];
    str[i] = str[j - 1];
    str[j - 1] = t;
  }
}

}  // namespace Str
