// Seams between the files of the console host; not for the libraries above platform/.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/Console.h"
#include "platform/con_decode.h"

namespace platform::detail {

// Appends one record from the standard-input source, waiting while the buffer is full, so a
// pipe that delivers faster than the program reads loses nothing. `keep` marks the record as
// coming from a pipe or a file: ConFlushInput discards typed-ahead input only, and keeps it.
// Source thread.
void WriteSourceInput(const InputRecord& record, bool keep);

// Appends the press and the release record of one decoded key, as WriteSourceInput does.
// Source thread.
void WriteSourceKey(const DecodedKey& key, bool keep);

// For tests: the number of bytes the source thread has read from standard input so far. Any
// thread.
uint64_t SourceBytesRead();

// For tests: how long a pending prefix waits for more bytes before it is forced out
// (kEscapeTimeout until changed). Takes effect from the source thread's next wait. Any thread.
void SetEscapeTimeout(std::chrono::milliseconds timeout);

// Rings the bell on the controlling terminal, if the process has one, without waiting. Any
// thread.
void RingBell();

// For tests: the key presses ConWriteInput has refused (with the bell) because the buffer was
// full. Any thread.
uint32_t KeysRefused();

// Starts the source thread `body(arg)` with the source's stack. A thread that cannot start leaves
// no byte of the input to arrive: the input counts as ended, which the programs handle, and the
// reason is told once on standard error. Main thread, once.
void StartSource(void* (*body)(void*), void* arg);

// Called by ConFlushInput after the buffer was emptied: discards what the terminal holds
// unread. Main thread.
void FlushSource();

}  // namespace platform::detail
