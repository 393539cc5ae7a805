// Module kvrEvQue (Zentavor build): the keyboard event queue. A key reader thread reads the
// console input one record at a time, translates key presses into character/scan pairs through
// the main and the enhanced key table and appends them to a queue of 33; the main thread takes
// them out. When the queue is full the reader waits for room for as long as it takes with keys
// from a pipe or a file. A typed key waits at most half a second, once per full spell: when no
// room came, it and every further typed key are refused at once with a beep until the program
// takes a key. Started before anything here is called.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/Console.h"

namespace kvrEvQue {

// Module start body: finaliser restoring the console mode, mode 0x17, lock, signal, reader
// thread. Main thread.
void Init();

// Takes the oldest pair. FALSE, outputs untouched, only when the queue is empty and `wait` is
// FALSE; otherwise waits for a pair and answers TRUE. A pair whose scan is 00 reports the low
// byte of the key's wVirtualScanCode. Main thread (the only consumer).
bool getKey(uint8_t& ch, uint8_t& scan, bool wait);

// Copies the oldest pair without taking it; FALSE at once when the queue is empty. Main thread.
bool peekKey(uint8_t& ch, uint8_t& scan);

// The number of console input records the reader thread has finished with: appended, refused
// with the beep, or dropped. Lets tests wait for the reader instead of sleeping. Any thread.
uint64_t RecordsHandled();

// True while the reader thread holds a record it has taken from the console input and not yet
// finished with. It is set before the record leaves the input, so once the input has ended with
// no record pending, false means every key read is in the queue (or was refused). Any thread.
bool Holding();

// Keys refused so far because the queue stayed full (each with a beep). A key read from a pipe
// or a file is never refused: it waits for room. Any thread.
uint32_t Refused();

// How many times so far a typed key has waited its grace for room in a full queue (at most once
// per full spell). Any thread.
uint32_t Graces();

// Sets how long a typed key waits for room in a full queue; zero restores the half second.
// Lets tests show that keys from a pipe wait however long the grace is. Any thread.
void SetGrace(std::chrono::nanoseconds grace);

// The translation of one key-down event into a pair; FALSE when the tables give none. Any
// thread (pure).
bool Translate(const platform::KeyEventRecord& event, uint8_t& ch, uint8_t& scan);

// The translation tables: four pairs per row, columns Normal, Shift, Ctrl, Alt; a pair is
// {ch, scan}.
struct Pair {
  uint8_t ch, scan;
};
struct EnhancedRow {
  uint16_t key;
  Pair col[4];
};
extern const Pair MainTable[0x59][4];
extern const EnhancedRow EnhancedTable[12];

}  // namespace kvrEvQue
