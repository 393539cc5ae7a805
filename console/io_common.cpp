// Module IO, both builds: the exported variables and the write side. Standard output is written
// with write(2) and no buffering, LF leaving as CR LF, so a trap never loses console text.
#include <cstring>

#include "console/IO.h"
#include "console/io_internal.h"
#include "platform/Console.h"

namespace IO {

bool ChopOff, Eng, InputRedirected, OK, OutputRedirected, Prompt, RdLnOnWr;
char PrefixChar, SuffixChar;
std::bitset<256> Separators;
WrStrProc WrStrRedirect;
RdStrProc RdStrRedirect;

namespace {

// The buffered input line of RdLn; nothing in these programs fills it.
struct InputLine {
  char text[257];
  std::size_t fill;
  std::size_t read;
};
InputLine gLine;

// The default string writer: the string's length goes to the standard output channel.
void DefaultWrStr(const char* s, std::size_t capacity) {
  detail::lineStart = false;
  platform::ConWriteText(s, strnlen(s, capacity));
}

}  // namespace

namespace detail {

bool lineStart;

void InitCommon(void (*reader)(char* s, std::size_t capacity)) {
  InputRedirected = false;
  OutputRedirected = false;
  Separators.reset();
  for (unsigned char c : {0x09, 0x0A, 0x0D, 0x1A, 0x20}) Separators.set(c);
  WrStrRedirect = DefaultWrStr;
  RdStrRedirect = reader;
  gLine.fill = 0;
  gLine.read = 0;
  Prompt = false;
  RdLnOnWr = false;
  ChopOff = false;
  Eng = false;
  lineStart = true;
  PrefixChar = ' ';
  SuffixChar = ' ';
  OK = true;
}

void PromptForString() {
  if (Prompt && lineStart) WrStr("?");
  lineStart = true;
}

void CloseString(char* s, std::size_t capacity, std::size_t length) {
  if (length < capacity) s[length] = '\0';
}

}  // namespace detail

void RdLn() {
  gLine.read = gLine.fill;
}

void WrStr(const char* s, std::size_t capacity) {
  WrStrRedirect(s, capacity);
}

void WrChar(char c) {
  if (RdLnOnWr) RdLn();
  const char one[1] = {c};
  WrStr(one, 1);
}

void WrLn() {
  if (RdLnOnWr) RdLn();
  WrChar('\n');
  detail::lineStart = true;
}

}  // namespace IO
