// Module IO: the programs' console interface. Writes strings, characters, line ends and (in the
// Trabolix build) adjusted cardinals to standard output, a text channel on which every LF leaves
// as CR LF; reads single keys in the PC keyboard style: a character, or 00 and then the key's
// scan code. Zentavor build: keys come from the kvrEvQue key queue through BiosIO. Trabolix
// build: keys are read from the console input directly. Every call: main thread.
#pragma once

#include <bitset>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace IO {

// Module start body.
void Init();

// True when a key is waiting (a pending scan code does not count). Never blocks.
bool KeyPressed();

// True when a key is waiting or records wait in the console input (keys on their way: in the
// Zentavor build to be read into the key queue, in the Trabolix build for KeyPressed to look at).
// Never blocks.
bool KeyComing();

// Trabolix build: true when no key can come any more: standard input has ended (a pipe or a file
// at its end, no standard input, a terminal hung up), every record from it has been read, and no
// second code is pending. Never blocks.
bool KeysEnded();

// Trabolix build: waits until something is waiting for KeyPressed to look at (a console input
// record, or the pending second code of a key) or `timeout` has passed on the monotonic clock; a
// key that arrives ends the wait at once. Reads nothing. Answers whether something is waiting.
bool WaitKey(std::chrono::microseconds timeout);

// The next key's character, or 00 for a key without one, after which the next call returns
// that key's scan code at once. Blocks until a key is there; in the Trabolix build a read that
// finds no key left once the input has ended (KeysEnded) returns 00 with nothing pending.
char RdKey();

// Drops the unread rest of the buffered input line. Reads nothing, never waits.
void RdLn();

// Writes the string: its characters before the first 00, or all `capacity` without one.
void WrStr(const char* s, std::size_t capacity);
template <std::size_t N>
void WrStr(const char (&s)[N]) {
  WrStr(s, N);
}

// Writes one character (00 writes nothing).
void WrChar(char c);

// Writes a line end (CR LF leaves the process).
void WrLn();

// Trabolix build: writes x in decimal, right-adjusted in a field of n (n > 0) or left-adjusted
// in a field of -n (n < 0); OK tells whether it fitted.
void WrCard(uint32_t x, int32_t n);

// Trabolix build: writes s adjusted in a field of |n| with PrefixChar (n > 0) or SuffixChar
// (n < 0); with ChopOff a string longer than the field becomes |n| question marks and OK FALSE.
void WrStrAdj(const char* s, std::size_t capacity, int32_t n);
template <std::size_t N>
void WrStrAdj(const char (&s)[N], int32_t n) {
  WrStrAdj(s, N, n);
}

// Trabolix build: writes c `count` times (00 writes nothing).
void WrCharRep(char c, uint32_t count);

// The hook through which every string is written, and the hook that reads a string.
using WrStrProc = void (*)(const char* s, std::size_t capacity);
using RdStrProc = void (*)(char* s, std::size_t capacity);

extern bool ChopOff, Eng, InputRedirected, OK, OutputRedirected, Prompt, RdLnOnWr;
extern char PrefixChar, SuffixChar;
extern std::bitset<256> Separators;
extern WrStrProc WrStrRedirect;
extern RdStrProc RdStrRedirect;

}  // namespace IO
