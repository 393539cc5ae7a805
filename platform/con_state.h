// The terminal host's state: one static, constant-initialised record, `gCon`, shared by the input
// buffer (con_input.cpp) and the standard-input source (con_source.cpp). Only those two files
// include it: it holds the terminal's settings, and nothing above platform/ sees termios.
#pragma once

#include <termios.h>

#include <atomic>
#include <cstdint>

#include "platform/Console.h"
#include "platform/con_decode.h"
#include "rts/Sync.h"

namespace platform::detail {

inline constexpr int kInputCapacity = 512;

// The console input buffer: a bounded ring of records under one lock, with conditions that wake
// readers when records arrive and the source when room is made. The source thread and the key
// reader wait on it until the process ends: its lock and conditions are constant-initialised and
// never destroyed.
struct InputBuffer {
  rts::Mutex lock;
  rts::Condition nonEmpty;
  rts::Condition nonFull;
  InputRecord ring[kInputCapacity] = {};
  bool keep[kInputCapacity] = {};  // the record came from a pipe or a file: a flush keeps it
  int head = 0;                    // oldest record
  int count = 0;                   // records waiting
  std::atomic<int> waiting{0};     // count, readable without the lock: a poll of an empty buffer
                                   // does not contend with the writers
  std::atomic<uint32_t> keysRefused{0};  // key presses refused by ConWriteInput
};

// The terminal as found and as the program wants it: built once outside any handler (main
// thread, in ConStdInput), only read afterwards, from handlers too.
struct Terminal {
  struct termios saved = {};
  struct termios rawSignals = {};    // signal keys on (processed input)
  struct termios rawNoSignals = {};  // signal keys off: Ctrl+C arrives as a key
  int keypadFd = -1;                 // where the keypad mode sequences go
  // Standard input is a terminal but not the process's controlling terminal (started with setsid,
  // say): the terminal's signal keys would signal some other process group, or none, and swallow
  // the byte. Its signal keys are then switched off and the source thread acts on the bytes
  // itself.
  bool ownSignalKeys = false;
  cc_t interruptChar = 0, quitChar = 0, suspendChar = 0;  // the terminal's, from `saved`
};

// The standard-input source.
struct Source {
  static constexpr int kBellUnopened = -2;
  bool opened = false;  // ConStdInput has run (main thread only)
  bool keep = false;    // records come from a pipe or a file (set before the thread starts)
  std::atomic<bool> terminal{false};
  std::atomic<bool> ended{false};  // end of input reached
  std::atomic<uint32_t> mode{kConDefaultMode};
  std::atomic<int64_t> escapeTimeoutMs{kEscapeTimeout.count()};
  std::atomic<uint64_t> bytesRead{0};
  std::atomic<bool> signalKeys{true};
  std::atomic<bool> rawWanted{false};   // the program runs and wants the terminal raw
  std::atomic<bool> rawApplied{false};  // the terminal is raw now
  std::atomic<int> bellFd{kBellUnopened};
  ConDecoder decoder;  // the source thread's
};

struct ConsoleHost {
  InputBuffer input;
  Terminal terminal;
  Source source;
};
extern constinit ConsoleHost gCon;

}  // namespace platform::detail
