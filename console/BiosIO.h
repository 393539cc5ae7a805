// Module BiosIO (Zentavor build): PC-keyboard-style key reading on the kvrEvQue key queue.
// Every call: main thread.
#pragma once

#include <cstdint>

namespace BiosIO {

// Module start body.
void Init();

// True when the key queue holds a key (a pending scan code does not count). Never blocks.
bool KeyPressed();

// The next key's character; for a key without one 00, and the scan code on the next call at
// once. Blocks while the queue is empty.
char RdKey();

extern char LastChar;      // 00 while a scan code is pending; FF at start
extern uint8_t LastScan;   // the pending scan code
extern bool EnhancedBIOS;  // TRUE; read by nothing here

}  // namespace BiosIO
