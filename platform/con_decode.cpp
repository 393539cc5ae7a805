// The terminal key decoder. Accepts the normal and the application forms of the cursor and
// keypad keys (CSI and SS3), xterm's modifier parameters (1 + Shift 1 + Alt 2 + Ctrl 4), the
// `CSI n ~` keys, the Linux console's `ESC [ [ A`..`E`, rxvt's `ESC [ 7 ~`/`8 ~` and its `^ $ @`
// modifier finals, xterm's `CSI 27 ; m ; c ~` and the `CSI c ; m u` form for modified
// characters, and ESC before a key as Alt. Unknown sequences are dropped whole.
#include "platform/con_decode.h"

#include "platform/Console.h"

namespace platform {
namespace {

// PC virtual-key codes used here.
constexpr uint16_t VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D,
                   VK_ESCAPE = 0x1B, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
                   VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D,
                   VK_DELETE = 0x2E, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SUBTRACT = 0x6D,
                   VK_DIVIDE = 0x6F, VK_F1 = 0x70;

// One key of the US layout's typewriter block: its two characters, scan code and VK code.
struct TypewriterKey {
  char normal, shifted;
  uint8_t scan, vk;
};

constexpr TypewriterKey kTypewriter[] = {
    {'1', '!', 0x02, 0x31},  {'2', '@', 0x03, 0x32},  {'3', '#', 0x04, 0x33},
    {'4', '$', 0x05, 0x34},  {'5', '%', 0x06, 0x35},  {'6', '^', 0x07, 0x36},
    {'7', '&', 0x08, 0x37},  {'8', '*', 0x09, 0x38},  {'9', '(', 0x0A, 0x39},
    {'0', ')', 0x0B, 0x30},  {'-', '_', 0x0C, 0xBD},  {'=', '+', 0x0D, 0xBB},
    {'q', 'Q', 0x10, 0x51},  {'w', 'W', 0x11, 0x57},  {'e', 'E', 0x12, 0x45},
    {'r', 'R', 0x13, 0x52},  {'t', 'T', 0x14, 0x54},  {'y', 'Y', 0x15, 0x59},
    {'u', 'U', 0x16, 0x55},  {'i', 'I', 0x17, 0x49},  {'o', 'O', 0x18, 0x4F},
    {'p', 'P', 0x19, 0x50},  {'[', '{', 0x1A, 0xDB},  {']', '}', 0x1B, 0xDD},
    {'a', 'A', 0x1E, 0x41},  {'s', 'S', 0x1F, 0x53},  {'d', 'D', 0x20, 0x44},
    {'f', 'F', 0x21, 0x46},  {'g', 'G', 0x22, 0x47},  {'h', 'H', 0x23, 0x48},
    {'j', 'J', 0x24, 0x4A},  {'k', 'K', 0x25, 0x4B},  {'l', 'L', 0x26, 0x4C},
    {';', ':', 0x27, 0xBA},  {'\'', '"', 0x28, 0xDE}, {'`', '~', 0x29, 0xC0},
    {'\\', '|', 0x2B, 0xDC}, {'z', 'Z', 0x2C, 0x5A},  {'x', 'X', 0x2D, 0x58},
    {'c', 'C', 0x2E, 0x43},  {'v', 'V', 0x2F, 0x56},  {'b', 'B', 0x30, 0x42},
    {'n', 'N', 0x31, 0x4E},  {'m', 'M', 0x32, 0x4D},  {',', '<', 0x33, 0xBC},
    {'.', '>', 0x34, 0xBE},  {'/', '?', 0x35, 0xBF},  {' ', ' ', 0x39, 0x20},
};

// The key of every byte 0x00..0x7F, built once at compile time.
struct ByteTable {
  DecodedKey key[128];
};

constexpr ByteTable MakeByteTable() {
  ByteTable t{};
  for (const TypewriterKey& k : kTypewriter) {
    t.key[static_cast<uint8_t>(k.normal)] = {k.vk, k.scan, static_cast<uint8_t>(k.normal), 0};
    if (k.shifted != k.normal) {
      t.key[static_cast<uint8_t>(k.shifted)] = {k.vk, k.scan, static_cast<uint8_t>(k.shifted),
                                                SHIFT_PRESSED};
    }
  }
  // Control characters: Ctrl + the key whose character, less 0x40 or 0x60, they are.
  for (int c = 0x00; c < 0x20; ++c) {
    DecodedKey base = t.key[c + 0x60 < 0x80 ? c + 0x60 : c + 0x40];
    if (c == 0x00) base = t.key[0x32];                   // Ctrl+@ is Ctrl+2 on the PC
    if (c == 0x1E) base = t.key[0x36];                   // Ctrl+^
    if (c == 0x1F) base = t.key[0x2D];                   // Ctrl+_
    if (c >= 0x1B && c <= 0x1D) base = t.key[c + 0x40];  // Ctrl+[ \ ]
    t.key[c] = {base.vk, base.scan, static_cast<uint8_t>(c), LEFT_CTRL_PRESSED};
  }
  t.key[0x08] = {VK_BACK, 0x0E, 0x08, 0};
  t.key[0x7F] = {VK_BACK, 0x0E, 0x08, 0};
  t.key[0x09] = {VK_TAB, 0x0F, 0x09, 0};
  t.key[0x0D] = {VK_RETURN, 0x1C, 0x0D, 0};
  t.key[0x1B] = {VK_ESCAPE, 0x01, 0x1B, 0};
  return t;
}

constexpr ByteTable kBytes = MakeByteTable();

constexpr DecodedKey Grey(uint16_t vk, uint16_t scan) {
  return {vk, scan, 0, ENHANCED_KEY};
}
constexpr DecodedKey Plain(uint16_t vk, uint16_t scan) {
  return {vk, scan, 0, 0};
}

constexpr DecodedKey kUp = Grey(VK_UP, 0x48), kDown = Grey(VK_DOWN, 0x50),
                     kRight = Grey(VK_RIGHT, 0x4D), kLeft = Grey(VK_LEFT, 0x4B),
                     kHome = Grey(VK_HOME, 0x47), kEnd = Grey(VK_END, 0x4F),
                     kInsert = Grey(VK_INSERT, 0x52), kDelete = Grey(VK_DELETE, 0x53),
                     kPageUp = Grey(VK_PRIOR, 0x49), kPageDown = Grey(VK_NEXT, 0x51),
                     kBegin = Plain(VK_CLEAR, 0x4C), kNone = {0, 0, 0, 0};

// Function key n (1..12): VK_F1 + n - 1, scan 3B..44, 57, 58.
constexpr DecodedKey FKey(int n) {
  return Plain(static_cast<uint16_t>(VK_F1 + n - 1),
               static_cast<uint16_t>(n <= 10 ? 0x3A + n : 0x56 + (n - 10)));
}

// `CSI n ~` keys (also rxvt's ^ $ @ finals), by n; kNone where nothing is known.
constexpr DecodedKey TildeKey(uint32_t n) {
  switch (n) {
    case 1:
    case 7:
      return kHome;  // vt220 Find, rxvt Home
    case 2:
      return kInsert;
    case 3:
      return kDelete;
    case 4:
    case 8:
      return kEnd;  // vt220 Select, rxvt End
    case 5:
      return kPageUp;
    case 6:
      return kPageDown;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
      return FKey(static_cast<int>(n) - 10);
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
      return FKey(static_cast<int>(n) - 11);
    case 23:
    case 24:
      return FKey(static_cast<int>(n) - 12);
    default:
      return kNone;
  }
}

// Keys whose final byte names them after CSI or SS3 (cursor block, F1..F4, keypad 5).
constexpr DecodedKey LetterKey(uint8_t final) {
  switch (final) {
    case 'A':
      return kUp;
    case 'B':
      return kDown;
    case 'C':
      return kRight;
    case 'D':
      return kLeft;
    case 'H':
      return kHome;
    case 'F':
      return kEnd;
    case 'E':
    case 'G':
      return kBegin;  // keypad 5 (xterm; G: Linux console)
    case 'P':
      return FKey(1);
    case 'Q':
      return FKey(2);
    case 'R':
      return FKey(3);
    case 'S':
      return FKey(4);
    default:
      return kNone;
  }
}

// Keypad keys in application mode (`ESC O` + final). The digits arrive with NumLock off: the
// keypad's own scan codes without the enhanced flag, as its cursor and editing functions.
constexpr DecodedKey KeypadKey(uint8_t final) {
  switch (final) {
    case 'p':
      return Plain(VK_INSERT, 0x52);
    case 'q':
      return Plain(VK_END, 0x4F);
    case 'r':
      return Plain(VK_DOWN, 0x50);
    case 's':
      return Plain(VK_NEXT, 0x51);
    case 't':
      return Plain(VK_LEFT, 0x4B);
    case 'u':
      return kBegin;
    case 'v':
      return Plain(VK_RIGHT, 0x4D);
    case 'w':
      return Plain(VK_HOME, 0x47);
    case 'x':
      return Plain(VK_UP, 0x48);
    case 'y':
      return Plain(VK_PRIOR, 0x49);
    case 'n':
      return Plain(VK_DELETE, 0x53);
    case 'j':
      return {VK_MULTIPLY, 0x37, '*', 0};
    case 'k':
    case 'l':
      return {VK_ADD, 0x4E, '+', 0};  // l: the Linux console's keypad +
    case 'm':
      return {VK_SUBTRACT, 0x4A, '-', 0};
    case 'o':
      return {VK_DIVIDE, 0x35, '/', ENHANCED_KEY};
    case 'M':
      return {VK_RETURN, 0x1C, 0x0D, ENHANCED_KEY};
    default:
      return kNone;
  }
}

// Control-key state of an xterm modifier parameter (1 + Shift 1 + Alt 2 + Ctrl 4 + Meta 8).
constexpr uint32_t ModifierState(uint32_t param) {
  if (param < 2) return 0;
  uint32_t bits = param - 1;
  uint32_t state = 0;
  if (bits & 1) state |= SHIFT_PRESSED;
  if (bits & (2 | 8)) state |= LEFT_ALT_PRESSED;
  if (bits & 4) state |= LEFT_CTRL_PRESSED;
  return state;
}

// A character key with modifiers from `CSI 27 ; m ; c ~` or `CSI c ; m u`.
DecodedKey ModifiedChar(uint32_t code, uint32_t state) {
  if (code > 0xFF) return kNone;
  DecodedKey key = ConKeyOfByte(static_cast<uint8_t>(code));
  key.state |= state;
  if ((state & LEFT_CTRL_PRESSED) != 0) {
    uint8_t upper = key.ch & 0xDF;
    if (upper >= '@' && upper <= '_') key.ch = upper & 0x1F;  // Ctrl+letter is its control code
  }
  return key;
}

}  // namespace

DecodedKey ConKeyOfByte(uint8_t byte) {
  if (byte >= 0x80) return {0, 0, byte, 0};
  return kBytes.key[byte];
}

DecodeResult ConDecoder::Result() const {
  if (readyCount_ > 0) return DecodeResult::kKey;
  return state_ == kGround ? DecodeResult::kNothing : DecodeResult::kMore;
}

void ConDecoder::Emit(DecodedKey key) {
  if (key.vk == 0 && key.scan == 0 && key.ch == 0) return;  // nothing known: dropped
  if (readyCount_ == kMaxReady) return;  // only when the owner leaves keys untaken
  ready_[(readyHead_ + readyCount_) % kMaxReady] = key;
  ++readyCount_;
}

bool ConDecoder::Take(DecodedKey& key) {
  if (readyCount_ == 0) return false;
  key = ready_[readyHead_];
  readyHead_ = (readyHead_ + 1) % kMaxReady;
  --readyCount_;
  return true;
}

void ConDecoder::Reset() {
  StartSequence(kGround, false);
  prefixLength_ = 0;
  readyHead_ = 0;
  readyCount_ = 0;
}

// Keeps a byte of the pending prefix for Expire; past kMaxPrefix only the loss is noted.
void ConDecoder::Record(uint8_t byte) {
  if (prefixLength_ < kMaxPrefix) {
    prefix_[prefixLength_++] = byte;
  } else {
    prefixLength_ = kMaxPrefix + 1;
  }
}

void ConDecoder::StartSequence(State state, bool alt) {
  state_ = state;
  alt_ = alt;
  invalid_ = false;
  length_ = 0;
  count_ = 0;
  for (uint32_t& p : params_) p = 0;
}

void ConDecoder::Ground(uint8_t byte) {
  if (byte == 0x1B) {
    StartSequence(kEsc, false);  // nothing of an earlier sequence counts for this prefix
    prefixLength_ = 0;
    Record(byte);
    return;
  }
  state_ = kGround;
  Emit(ConKeyOfByte(byte));
}

uint32_t ConDecoder::Modifiers(int index) const {
  uint32_t state = alt_ ? LEFT_ALT_PRESSED : 0;
  if (index < count_ && index < kMaxParams) state |= ModifierState(params_[index]);
  return state;
}

// Takes a parameter or intermediate byte of a CSI or SS3 sequence; false if it is neither.
// Every counter saturates: a run of any length leaves them at their limits.
bool ConDecoder::Parameter(uint8_t byte) {
  bool digit = byte >= '0' && byte <= '9';
  bool other = byte == ';' || (byte >= 0x3A && byte <= 0x3F) || (byte >= 0x20 && byte <= 0x2F);
  if (!digit && !other) return false;
  Record(byte);
  if (length_ <= kMaxLength) ++length_;
  if (length_ > kMaxLength) invalid_ = true;
  if (digit) {
    if (count_ == 0) count_ = 1;
    if (count_ <= kMaxParams) {
      uint32_t& p = params_[count_ - 1];
      p = p * 10 + (byte - '0');
      if (p > kMaxValue) p = kMaxValue;
    }
  } else if (byte == ';') {
    if (count_ == 0) count_ = 1;
    if (count_ <= kMaxParams) ++count_;
    if (count_ > kMaxParams) invalid_ = true;
  } else {
    invalid_ = true;  // sub-parameters, private markers, intermediates: not keys
  }
  return true;
}

void ConDecoder::FinishCsi(uint8_t final) {
  state_ = kGround;
  if (invalid_) return;
  uint32_t first = count_ > 0 ? params_[0] : 0;
  DecodedKey key = kNone;
  uint32_t extra = 0;
  switch (final) {
    case '~':
    case '^':
    case '$':
    case '@':
      if (first == 27 && count_ == 3 && final == '~') {  // xterm: CSI 27 ; m ; c ~
        key = ModifiedChar(params_[2], Modifiers(1));
        break;
      }
      key = TildeKey(first);
      extra = Modifiers(1);
      if (final == '^') extra |= LEFT_CTRL_PRESSED;
      if (final == '$') extra |= SHIFT_PRESSED;
      if (final == '@') extra |= LEFT_CTRL_PRESSED | SHIFT_PRESSED;
      break;
    case 'u':  // CSI c ; m u
      key = count_ > 0 ? ModifiedChar(first, Modifiers(1)) : kNone;
      break;
    case 'Z':  // back tab
      key = kBytes.key[0x09];
      extra = SHIFT_PRESSED | Modifiers(1);
      break;
    case 'a':
    case 'b':
    case 'c':
    case 'd':  // rxvt: Shift + cursor key
      key = LetterKey(static_cast<uint8_t>(final - 0x20));
      extra = SHIFT_PRESSED | Modifiers(0);
      break;
    default:
      key = LetterKey(final);
      // CSI 1 ; m X, and the older CSI m X
      extra = count_ >= 2 ? Modifiers(1) : Modifiers(0);
      if (count_ > 2) key = kNone;
      break;
  }
  if (key.vk == 0 && key.ch == 0) return;
  key.state |= extra;
  Emit(key);
}

void ConDecoder::FinishSs3(uint8_t final) {
  state_ = kGround;
  if (invalid_ || count_ > 2) return;
  uint32_t extra = count_ == 2 ? Modifiers(1) : Modifiers(0);
  DecodedKey key = KeypadKey(final);
  if (key.vk == 0) {
    if (final >= 'a' && final <= 'd') {  // rxvt: Ctrl + cursor key
      key = LetterKey(static_cast<uint8_t>(final - 0x20));
      extra |= LEFT_CTRL_PRESSED;
    } else {
      key = LetterKey(final);
    }
  }
  if (key.vk == 0) return;
  key.state |= extra;
  Emit(key);
}

DecodeResult ConDecoder::Push(uint8_t byte) {
  switch (state_) {
    case kGround:
      Ground(byte);
      break;
    case kEsc:
      if (byte == '[') {
        StartSequence(kCsi, false);
        Record(byte);
      } else if (byte == 'O') {
        StartSequence(kSs3, false);
        Record(byte);
      } else if (byte == 0x1B) {
        state_ = kEscEsc;
        Record(byte);
      } else {
        state_ = kGround;
        DecodedKey key = ConKeyOfByte(byte);
        key.state |= LEFT_ALT_PRESSED;
        Emit(key);
      }
      break;
    case kEscEsc:
      if (byte == '[') {
        StartSequence(kCsi, true);
        Record(byte);
      } else if (byte == 'O') {
        StartSequence(kSs3, true);
        Record(byte);
      } else {
        DecodedKey key = kBytes.key[0x1B];
        key.state |= LEFT_ALT_PRESSED;
        Emit(key);
        Ground(byte);
      }
      break;
    case kCsi:
      if (byte == '[' && length_ == 0) {
        state_ = kCsiBracket;
        Record(byte);
      } else if (byte == '$' || (byte >= 0x40 && byte <= 0x7E)) {
        FinishCsi(byte);  // '$' ends rxvt's Shift + editing key
      } else if (Parameter(byte)) {
      } else {
        Ground(byte);  // a control byte breaks the sequence off; it counts on its own
      }
      break;
    case kCsiBracket:  // Linux console: ESC [ [ A..E are F1..F5
      if (byte >= 'A' && byte <= 'E') {
        state_ = kGround;
        DecodedKey key = FKey(byte - 'A' + 1);
        key.state |= Modifiers(0);
        Emit(key);
      } else if (byte >= 0x20 && byte <= 0x7E) {
        state_ = kGround;
      } else {
        Ground(byte);
      }
      break;
    case kSs3:
      if (Parameter(byte)) {
      } else if (byte >= 0x40 && byte <= 0x7E) {
        FinishSs3(byte);
      } else {
        Ground(byte);
      }
      break;
  }
  return Result();
}

DecodeResult ConDecoder::Expire() {
  if (state_ != kGround && prefixLength_ >= 1 && prefixLength_ <= kMaxPrefix &&
      length_ <= kMaxLength) {
    // The bytes as typed keys: ESC alone is Escape; ESC and the next byte are Alt + its key;
    // the rest (parameter bytes and '[', never a control byte) stand for themselves.
    if (prefixLength_ == 1) {
      Emit(kBytes.key[0x1B]);
    } else {
      DecodedKey key = ConKeyOfByte(prefix_[1]);
      key.state |= LEFT_ALT_PRESSED;
      Emit(key);
      for (int i = 2; i < prefixLength_; ++i) Emit(ConKeyOfByte(prefix_[i]));
    }
  }
  state_ = kGround;
  prefixLength_ = 0;
  return Result();
}

}  // namespace platform
