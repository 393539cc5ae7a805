// The console service: the contract every platform implements (the desktop in platform/con_*.cpp,
// on a POSIX terminal or pipe). The process's console input buffer of key records with a wake-up,
// the bytes of standard input decoded into it, bytes out, the console mode (terminal modes and
// break keys), the bell, and the terminal restored on every way out. The console library reads
// the buffer; the graphics window and the standard-input source write into it. Every call may be
// made from any thread unless its comment says otherwise.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace platform {

// Event type of a key record.
inline constexpr uint16_t KEY_EVENT = 0x0001;

// Control-key state flags of a key record.
inline constexpr uint32_t RIGHT_ALT_PRESSED = 0x0001;
inline constexpr uint32_t LEFT_ALT_PRESSED = 0x0002;
inline constexpr uint32_t RIGHT_CTRL_PRESSED = 0x0004;
inline constexpr uint32_t LEFT_CTRL_PRESSED = 0x0008;
inline constexpr uint32_t SHIFT_PRESSED = 0x0010;
inline constexpr uint32_t NUMLOCK_ON = 0x0020;
inline constexpr uint32_t SCROLLLOCK_ON = 0x0040;
inline constexpr uint32_t CAPSLOCK_ON = 0x0080;
inline constexpr uint32_t ENHANCED_KEY = 0x0100;

// Console input mode bits.
inline constexpr uint32_t ENABLE_PROCESSED_INPUT = 0x0001;
inline constexpr uint32_t ENABLE_LINE_INPUT = 0x0002;
inline constexpr uint32_t ENABLE_ECHO_INPUT = 0x0004;
inline constexpr uint32_t ENABLE_WINDOW_INPUT = 0x0008;
inline constexpr uint32_t ENABLE_MOUSE_INPUT = 0x0010;

// One key event, field for field as the console libraries read it.
struct KeyEventRecord {
  int32_t bKeyDown;
  uint16_t wRepeatCount;
  uint16_t wVirtualKeyCode;
  uint16_t wVirtualScanCode;
  uint16_t uChar;  // the low byte is the 8-bit character
  uint32_t dwControlKeyState;
};

// One console input record. Only key events exist here.
struct InputRecord {
  uint16_t EventType;
  KeyEventRecord Event;
};

// Handle of the console input buffer as the libraries keep it (there is one buffer).
using ConHandle = int;
inline constexpr ConHandle kConInput = 0;

// The standard input handle: opens the console host on the process's standard input the first
// time (the terminal or pipe source that feeds the input buffer) and returns its handle. Main
// thread.
ConHandle ConStdInput();

// Discards every record waiting in the input buffer.
void ConFlushInput();

// Appends one record to the input buffer; false (record dropped) when the buffer is full, and
// for a key press the bell rung (without waiting).
bool ConWriteInput(const InputRecord& record);

// Takes the oldest record, waiting as long as the buffer is empty.
void ConReadInput(InputRecord& record);

// As ConReadInput, and answers whether the record came from standard input read as a pipe or a
// file (a program's output, not keys typed on a terminal or forwarded by the window).
bool ConReadInputPiped(InputRecord& record);

// Copies the oldest record without taking it; false at once when the buffer is empty.
bool ConPeekInput(InputRecord& record);

// Waits until the buffer holds a record, at most `timeout` (negative: no limit). Answers whether
// a record is there.
bool ConWaitInput(std::chrono::milliseconds timeout);

// Waits until the buffer holds a record or the monotonic clock reaches `deadline`; a record
// written meanwhile ends the wait at once. Answers whether a record is there.
bool ConWaitInputUntil(std::chrono::steady_clock::time_point deadline);

// Number of records waiting.
int ConPendingInput();

// Console input mode bits used by the libraries.
inline constexpr uint32_t kConDefaultMode =
    ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;

// Reads the console input mode of `handle` into `mode`. False, and `mode` untouched, when the
// handle is not the console input or standard input is not a terminal (a pipe or a file), as
// for input that is not a console. Any thread.
bool ConGetMode(ConHandle handle, uint32_t& mode);

// Sets the console input mode of `handle`. Every bit is kept; ENABLE_PROCESSED_INPUT switches the
// terminal's signal keys (Ctrl+C, Ctrl+\, Ctrl+Z) on or off (on a terminal that is not the
// controlling terminal, the host's own handling of those bytes). False when ConGetMode would fail
// or the mode has bits above 0x3FF. Any thread.
bool ConSetMode(ConHandle handle, uint32_t mode);

// True once standard input, read as a pipe or a file, has reached its end (or the terminal has
// hung up): no more records will come from it. Any thread.
bool ConInputEnded();

// True when the console host reads a terminal (opened by ConStdInput). Any thread.
bool ConIsTerminal();

// Sounds the bell on the controlling terminal, if the process has one, and takes `duration` as
// the bell of a PC speaker would. The frequency cannot be chosen on a terminal. Any thread.
void ConBeep(uint32_t frequency, std::chrono::milliseconds duration);

// Writes `length` bytes to standard output with write(2), unbuffered, as a text channel: every
// LF is a line end, CR LF (a terminal that adds the CR itself is sent the LF alone, so it too
// receives CR LF once). Retries interrupted and partial writes; other errors drop the rest. Any
// thread.
void ConWriteText(const char* text, std::size_t length);

}  // namespace platform
