// Fuzz target: Trabolix's number and field formatting (Str.CardToStr, IO.WrStrAdj, IO.WrCard)
// against a model written from their rules, with every setting the module has (ChopOff, the
// fill characters, 00 among them, RdLnOnWr) and buffers of exactly the size given, so a byte
// written past one is an error.
//
// Input: x (4 bytes), n (4 bytes, a field width kept within +-65536), base, capacity of the
// CardToStr buffer, flags, prefix and suffix characters, then the string for WrStrAdj.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "console/IO.h"
#include "console/Str.h"
#include "fuzz/check.h"

namespace {

std::string gOut;  // what the module wrote through WrStrRedirect

void Capture(const char* s, size_t capacity) {
  gOut.append(s, strnlen(s, capacity));
}

std::string Digits(uint32_t x, uint32_t base) {
  if (base < 2) base = 2;
  if (base > 16) base = 16;
  std::string d;
  do {
    d.insert(d.begin(), "0123456789ABCDEF"[x % base]);
    x /= base;
  } while (x != 0);
  return d;
}

std::string Fill(char c, int64_t count) {
  return c == '\0' ? std::string() : std::string(static_cast<size_t>(count), c);
}

// The field rules: |n| wide, right-adjusted for n > 0, left for n < 0; a longer string is
// written whole, or as |n| question marks with ChopOff.
std::string Adjusted(const std::string& s, int32_t n, bool& ok) {
  int64_t width = n < 0 ? -static_cast<int64_t>(n) : n;
  int64_t d = width - static_cast<int64_t>(s.size());
  ok = true;
  if (d < 0 && IO::ChopOff) {
    ok = false;
    return std::string(static_cast<size_t>(width), '?');
  }
  std::string out;
  if (n > 0 && d > 0) out += Fill(IO::PrefixChar, d);
  out += s;
  if (n < 0 && d > 0) out += Fill(IO::SuffixChar, d);
  return out;
}

uint32_t Read32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 13) return 0;
  uint32_t x = Read32(data);
  int32_t n = static_cast<int32_t>(Read32(data + 4)) % 65537;
  uint32_t base = data[8];
  size_t capacity = data[9] % 41;
  uint8_t flags = data[10];
  IO::WrStrRedirect = Capture;
  IO::ChopOff = (flags & 1) != 0;
  IO::RdLnOnWr = (flags & 2) != 0;
  IO::PrefixChar = static_cast<char>(data[11]);
  IO::SuffixChar = static_cast<char>(data[12]);
  const uint8_t* text = data + 13;
  size_t textSize = size - 13;

  // CardToStr into a buffer of exactly `capacity` characters.
  std::unique_ptr<char[]> buf(new char[capacity + 1]);
  char* str = buf.get() + 1;  // buf[0] guards the front
  buf[0] = 'G';
  bool ok = false;
  Str::CardToStr(x, str, capacity, base, ok);
  std::string digits = Digits(x, base);
  FUZZ_CHECK(buf[0] == 'G');
  FUZZ_CHECK(ok == (digits.size() <= capacity));
  if (ok) {
    FUZZ_CHECK(std::string(str, digits.size()) == digits);
    if (digits.size() < capacity) FUZZ_CHECK(str[digits.size()] == '\0');
  } else {
    FUZZ_CHECK(std::string(str, capacity) == digits.substr(digits.size() - capacity));
  }

  // WrStrAdj of the input's string, in a buffer of exactly its size (00 ends it early).
  std::unique_ptr<char[]> s(new char[textSize]);
  std::memcpy(s.get(), text, textSize);
  gOut.clear();
  IO::OK = !IO::OK;
  IO::WrStrAdj(s.get(), textSize, n);
  bool wantOk;
  std::string want = Adjusted(std::string(s.get(), strnlen(s.get(), textSize)), n, wantOk);
  FUZZ_CHECK(gOut == want);
  FUZZ_CHECK(IO::OK == wantOk);

  // WrCard: the decimal digits, adjusted the same way.
  gOut.clear();
  IO::WrCard(x, n);
  want = Adjusted(Digits(x, 10), n, wantOk);
  FUZZ_CHECK(gOut == want);
  FUZZ_CHECK(IO::OK == wantOk);
  return 0;
}
