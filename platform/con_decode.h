// The terminal key decoder: a push parser that turns the bytes a terminal (or a pipe) delivers
// into PC keys: virtual-key code, set-1 scan code, character and control-key state, as a PC
// keyboard with the US layout makes them. The byte-to-key table is in docs/keys.md.
#pragma once

#include <chrono>
#include <cstdint>

namespace platform {

// One decoded key press.
struct DecodedKey {
  uint16_t vk;     // PC virtual-key code (VK_UP 0x26, VK_F1 0x70, 'A' 0x41...)
  uint16_t scan;   // PC set-1 scan code
  uint8_t ch;      // the character the key produces, 0 for none
  uint32_t state;  // control-key state: SHIFT_PRESSED, LEFT_CTRL_PRESSED, ENHANCED_KEY...
};

// What one pushed byte leaves behind.
enum class DecodeResult {
  kKey,      // one or more keys are ready: Take them
  kMore,     // a sequence is incomplete: push more bytes, or Expire after kEscapeTimeout
  kNothing,  // no key and nothing pending (the bytes were dropped or used up)
};

// How long a lone Escape (or an incomplete sequence) waits for more bytes before Expire.
inline constexpr std::chrono::milliseconds kEscapeTimeout = std::chrono::milliseconds{50};

// The decoder. Not thread-safe: one owner (the terminal source thread, or a test).
class ConDecoder {
 public:
  // Feeds one byte.
  DecodeResult Push(uint8_t byte);

  // No byte came within kEscapeTimeout (or the input ended): the pending bytes come out as
  // the keys they stand for when typed: a lone ESC is the Escape key, ESC and the byte after it
  // are Alt + that byte's key (ESC ESC is Alt+Escape, ESC [ is Alt+[, ESC O is Alt+O), and every
  // later byte is its own key. A prefix longer than any key sequence (more than kMaxLength
  // parameter bytes) is machine output, not typing, and is dropped. Nothing is pending
  // afterwards.
  DecodeResult Expire();

  // True while a prefix waits for more bytes.
  bool Pending() const { return state_ != kGround; }

  // Takes the oldest ready key; false when none is ready. Take every ready key after each Push
  // or Expire that answered kKey: a push makes at most two keys, an expiry at most kMaxReady.
  bool Take(DecodedKey& key);

  // Drops whatever is pending and every ready key.
  void Reset();

  // Longest run of parameter and intermediate bytes a known sequence has room for; a longer one
  // is dropped whole at its final byte (or at the time-out).
  static constexpr int kMaxLength = 32;
  // Most keys ready at once: an expired prefix of ESC ESC [ and kMaxLength bytes.
  static constexpr int kMaxReady = kMaxLength + 3;

 private:
  enum State : uint8_t { kGround, kEsc, kEscEsc, kCsi, kCsiBracket, kSs3 };
  static constexpr int kMaxParams = 4;
  // Parameter values stop growing here (no key has a larger one); the counts of parameters and
  // bytes stop one past their limits. So no input of any length overflows a counter.
  static constexpr uint32_t kMaxValue = 99999;
  static constexpr int kMaxPrefix = kMaxLength + 3;  // ESC, ESC, [ or O, the parameter bytes

  DecodeResult Result() const;
  void Ground(uint8_t byte);
  void StartSequence(State state, bool alt);
  bool Parameter(uint8_t byte);
  void FinishCsi(uint8_t final);
  void FinishSs3(uint8_t final);
  void Emit(DecodedKey key);
  void Record(uint8_t byte);
  uint32_t Modifiers(int index) const;

  State state_ = kGround;
  bool alt_ = false;      // an extra ESC came before the sequence: Alt
  bool invalid_ = false;  // private marker, intermediate or overlong: drop at the final byte
  int length_ = 0;        // parameter and intermediate bytes, at most kMaxLength + 1
  int count_ = 0;         // parameters started, at most kMaxParams + 1
  uint32_t params_[kMaxParams] = {};
  uint8_t prefix_[kMaxPrefix] = {};  // the pending bytes from the first ESC on, for Expire
  int prefixLength_ = 0;             // at most kMaxPrefix + 1 (one past: bytes were lost)
  DecodedKey ready_[kMaxReady] = {};
  int readyHead_ = 0;
  int readyCount_ = 0;
};

// The key a single byte stands for outside any sequence (0x1B: the Escape key). Printable
// characters get their US-layout key with SHIFT_PRESSED where the character needs Shift;
// control characters are Ctrl + their key, except Tab, Enter (CR), Backspace (BS and DEL) and
// Escape; bytes 0x80 and above are characters without a key (codes 0).
DecodedKey ConKeyOfByte(uint8_t byte);

}  // namespace platform
