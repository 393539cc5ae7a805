// The key decoder on byte strings, numbered by feature: each string goes in byte by byte and is
// then given the Escape time-out; the keys that come out must be exactly the ones listed.
// Faults found by fuzzing (fuzz/) are kept here as byte strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Console.h"
#include "platform/con_decode.h"

namespace platform {
namespace {

constexpr uint32_t S = SHIFT_PRESSED, C = LEFT_CTRL_PRESSED, A = LEFT_ALT_PRESSED, E = ENHANCED_KEY;

struct Key {
  uint16_t vk, scan;
  uint8_t ch;
  uint32_t state;
  bool operator==(const Key&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Key& k) {
  char text[64];
  snprintf(text, sizeof text, "{vk %02X scan %02X ch %02X state %04X}", k.vk, k.scan, k.ch,
           k.state);
  return os << text;
}

struct Case {
  const char* feature;
  std::string bytes;
  std::vector<Key> keys;
};

std::vector<Key> Decode(const std::string& bytes) {
  ConDecoder d;
  std::vector<Key> out;
  DecodedKey k;
  for (char b : bytes) {
    d.Push(static_cast<uint8_t>(b));
    while (d.Take(k)) out.push_back({k.vk, k.scan, k.ch, k.state});
  }
  d.Expire();
  while (d.Take(k)) out.push_back({k.vk, k.scan, k.ch, k.state});
  return out;
}

const Key kUp{0x26, 0x48, 0, E}, kF1{0x70, 0x3B, 0, 0};

// clang-format off
const Case kCases[] = {
    {"1 letters, digits, punctuation", "aA1! ~/", {
        {0x41, 0x1E, 'a', 0}, {0x41, 0x1E, 'A', S}, {0x31, 0x02, '1', 0}, {0x31, 0x02, '!', S},
        {0x20, 0x39, ' ', 0}, {0xC0, 0x29, '~', S}, {0xBF, 0x35, '/', 0}}},
    {"1 every printable byte has a key", "=+[{;:'\",<.>\\|`-_", {
        {0xBB, 0x0D, '=', 0}, {0xBB, 0x0D, '+', S}, {0xDB, 0x1A, '[', 0}, {0xDB, 0x1A, '{', S},
        {0xBA, 0x27, ';', 0}, {0xBA, 0x27, ':', S}, {0xDE, 0x28, '\'', 0}, {0xDE, 0x28, '"', S},
        {0xBC, 0x33, ',', 0}, {0xBC, 0x33, '<', S}, {0xBE, 0x34, '.', 0}, {0xBE, 0x34, '>', S},
        {0xDC, 0x2B, '\\', 0}, {0xDC, 0x2B, '|', S}, {0xC0, 0x29, '`', 0}, {0xBD, 0x0C, '-', 0},
        {0xBD, 0x0C, '_', S}}},
    {"2 control characters are Ctrl + their key", std::string("\x01\x1a\n\x1f\x1d", 5) +
        std::string(1, '\0'), {
        {0x41, 0x1E, 0x01, C}, {0x5A, 0x2C, 0x1A, C}, {0x4A, 0x24, 0x0A, C},
        {0xBD, 0x0C, 0x1F, C}, {0xDD, 0x1B, 0x1D, C}, {0x32, 0x03, 0x00, C}}},
    {"2 Tab, Enter, Backspace are their own keys", "\t\r\x7f\x08", {
        {0x09, 0x0F, 0x09, 0}, {0x0D, 0x1C, 0x0D, 0}, {0x08, 0x0E, 0x08, 0},
        {0x08, 0x0E, 0x08, 0}}},
    {"3 a lone Escape comes out on the time-out", "\x1b", {{0x1B, 0x01, 0x1B, 0}}},
    {"4 ESC + key is Alt + key", "\x1bx\x1bX\x1b\x01", {
        {0x58, 0x2D, 'x', A}, {0x58, 0x2D, 'X', S | A}, {0x41, 0x1E, 0x01, C | A}}},
    {"4 ESC ESC is Alt+Escape", "\x1b\x1b", {{0x1B, 0x01, 0x1B, A}}},
    {"4 ESC ESC then a key", "\x1b\x1bq", {{0x1B, 0x01, 0x1B, A}, {0x51, 0x10, 'q', 0}}},
    {"5 CSI cursor keys, enhanced", "\x1b[A\x1b[B\x1b[C\x1b[D\x1b[H\x1b[F", {
        kUp, {0x28, 0x50, 0, E}, {0x27, 0x4D, 0, E}, {0x25, 0x4B, 0, E}, {0x24, 0x47, 0, E},
        {0x23, 0x4F, 0, E}}},
    {"5 xterm modifier parameters", "\x1b[1;5A\x1b[1;2D\x1b[1;3C\x1b[1;8B", {
        {0x26, 0x48, 0, E | C}, {0x25, 0x4B, 0, E | S}, {0x27, 0x4D, 0, E | A},
        {0x28, 0x50, 0, E | S | A | C}}},
    {"6 SS3 (application cursor) forms", "\x1bOA\x1bOH\x1bOF", {
        kUp, {0x24, 0x47, 0, E}, {0x23, 0x4F, 0, E}}},
    {"7 CSI n ~ editing keys", "\x1b[2~\x1b[3;5~\x1b[5~\x1b[6~\x1b[1~\x1b[4~\x1b[7~\x1b[8~", {
        {0x2D, 0x52, 0, E}, {0x2E, 0x53, 0, E | C}, {0x21, 0x49, 0, E}, {0x22, 0x51, 0, E},
        {0x24, 0x47, 0, E}, {0x23, 0x4F, 0, E}, {0x24, 0x47, 0, E}, {0x23, 0x4F, 0, E}}},
    {"8 function keys, xterm", "\x1bOP\x1bOS\x1b[15~\x1b[17~\x1b[21~\x1b[23~\x1b[24~", {
        kF1, {0x73, 0x3E, 0, 0}, {0x74, 0x3F, 0, 0}, {0x75, 0x40, 0, 0}, {0x79, 0x44, 0, 0},
        {0x7A, 0x57, 0, 0}, {0x7B, 0x58, 0, 0}}},
    {"8 modified function keys", "\x1b[1;2P\x1bO2P\x1b[15;5~\x1b[24;3~", {
        {0x70, 0x3B, 0, S}, {0x70, 0x3B, 0, S}, {0x74, 0x3F, 0, C}, {0x7B, 0x58, 0, A}}},
    {"9 Linux console and rxvt function keys", "\x1b[[A\x1b[[E\x1b[11~\x1b[14~", {
        kF1, {0x74, 0x3F, 0, 0}, kF1, {0x73, 0x3E, 0, 0}}},
    {"10 keypad in application mode keeps keypad scan codes",
        "\x1bOx\x1bOp\x1bOu\x1bOw\x1bOy\x1bOn\x1bOM\x1bOo\x1bOj\x1bOk\x1bOm", {
        {0x26, 0x48, 0, 0}, {0x2D, 0x52, 0, 0}, {0x0C, 0x4C, 0, 0}, {0x24, 0x47, 0, 0},
        {0x21, 0x49, 0, 0}, {0x2E, 0x53, 0, 0}, {0x0D, 0x1C, 0x0D, E}, {0x6F, 0x35, '/', E},
        {0x6A, 0x37, '*', 0}, {0x6B, 0x4E, '+', 0}, {0x6D, 0x4A, '-', 0}}},
    {"11 rxvt modifier forms and back tab", "\x1b[2^\x1b[3$\x1b[2@\x1b[a\x1bOa\x1b[Z", {
        {0x2D, 0x52, 0, E | C}, {0x2E, 0x53, 0, E | S}, {0x2D, 0x52, 0, E | C | S},
        {0x26, 0x48, 0, E | S}, {0x26, 0x48, 0, E | C}, {0x09, 0x0F, 0x09, S}}},
    {"12 modified characters", "\x1b[27;5;97~\x1b[97;3u", {
        {0x41, 0x1E, 0x01, C}, {0x41, 0x1E, 'a', A}}},
    {"13 Alt before a sequence", "\x1b\x1b[A\x1b\x1bOP", {{0x26, 0x48, 0, E | A}, {0x70, 0x3B, 0, A}}},
    {"14 unknown sequences are dropped whole",
        "\x1b[99~x\x1b[?1;2c\x1b[200~\x1b[1;2;3;4;5A\x1b[<0;1;1M\x1bOX\x1b[[Z\x1b[I\x1b[1:2A", {
        {0x58, 0x2D, 'x', 0}}},
    {"14 an overlong sequence is dropped whole",
        "\x1b[" + std::string(40, '1') + "~y", {{0x59, 0x15, 'y', 0}}},
    {"14 a lone Escape after an overlong sequence still comes out (found by fuzzing)",
        "\x1b[" + std::string(40, '1') + "~\x1b", {{0x1B, 0x01, 0x1B, 0}}},
    {"15 a control byte breaks a sequence and counts", "\x1b[1\x01", {{0x41, 0x1E, 0x01, C}}},
    {"15 ESC inside a sequence starts a new one", "\x1b[1\x1b[A", {kUp}},
    {"15 an unfinished sequence comes out as the keys typed", "\x1b[1;5", {
        {0xDB, 0x1A, '[', A}, {0x31, 0x02, '1', 0}, {0xBA, 0x27, ';', 0}, {0x35, 0x06, '5', 0}}},
    {"15 ESC [ and ESC O alone are Alt+[ and Alt+O", "\x1b[", {{0xDB, 0x1A, '[', A}}},
    {"15 ESC O alone", "\x1bO", {{0x4F, 0x18, 'O', S | A}}},
    {"15 ESC ESC [ is Alt+Escape, then [", "\x1b\x1b[", {{0x1B, 0x01, 0x1B, A}, {0xDB, 0x1A, '[', 0}}},
    {"15 ESC [ [ (the Linux console's function key prefix)", "\x1b[[", {{0xDB, 0x1A, '[', A}, {0xDB, 0x1A, '[', 0}}},
    {"15 SS3 with a modifier", "\x1bO5", {{0x4F, 0x18, 'O', S | A}, {0x35, 0x06, '5', 0}}},
    {"15 a private sequence cut off is typed keys too", "\x1b[?", {
        {0xDB, 0x1A, '[', A}, {0xBF, 0x35, '?', S}}},
    {"15 a prefix longer than any sequence is dropped on the time-out",
        "\x1b[" + std::string(33, ';'), {}},
    {"16 bytes above 7F are characters without a key", "\xe9", {{0, 0, 0xE9, 0}}},
};
// clang-format on

TEST(Decoder, ByteStringsByFeature) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Decode(c.bytes), c.keys) << "feature " << c.feature;
  }
}

TEST(Decoder, ResultsTellKeyMoreOrNothing) {
  ConDecoder d;
  EXPECT_EQ(d.Push(0x1B), DecodeResult::kMore);
  EXPECT_TRUE(d.Pending());
  EXPECT_EQ(d.Push('['), DecodeResult::kMore);
  EXPECT_EQ(d.Push('1'), DecodeResult::kMore);
  EXPECT_EQ(d.Push('~'), DecodeResult::kKey);
  EXPECT_FALSE(d.Pending());
  DecodedKey k;
  ASSERT_TRUE(d.Take(k));
  EXPECT_EQ(k.scan, 0x47);
  EXPECT_FALSE(d.Take(k));
  EXPECT_EQ(d.Push(0x1B), DecodeResult::kMore);
  EXPECT_EQ(d.Push('['), DecodeResult::kMore);
  EXPECT_EQ(d.Push('9'), DecodeResult::kMore);
  EXPECT_EQ(d.Push('9'), DecodeResult::kMore);
  EXPECT_EQ(d.Push('~'), DecodeResult::kNothing);  // unknown: dropped
  EXPECT_EQ(d.Expire(), DecodeResult::kNothing);
  EXPECT_EQ(d.Push(0x1B), DecodeResult::kMore);
  EXPECT_EQ(d.Expire(), DecodeResult::kKey);
  ASSERT_TRUE(d.Take(k));
  EXPECT_EQ(k.ch, 0x1B);
}

TEST(Decoder, EveryByteOutsideASequenceIsOneKey) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x1B) continue;
    std::vector<Key> keys = Decode(std::string(1, static_cast<char>(b)));
    ASSERT_EQ(keys.size(), 1u) << "byte " << b;
    if (b >= 0x20 && b < 0x7F) {
      EXPECT_EQ(keys[0].ch, b);
      EXPECT_NE(keys[0].scan, 0) << "byte " << b;
      EXPECT_NE(keys[0].vk, 0) << "byte " << b;
    }
  }
}

TEST(Decoder, ExpiredPrefixGivesEveryByteItKept) {
  // The longest prefix that is still typing: ESC ESC [ and kMaxLength parameter bytes.
  std::vector<Key> keys = Decode("\x1b\x1b[" + std::string(ConDecoder::kMaxLength, '1'));
  ASSERT_EQ(keys.size(), 2u + ConDecoder::kMaxLength);
  EXPECT_EQ(keys[0], (Key{0x1B, 0x01, 0x1B, A}));
  EXPECT_EQ(keys[1], (Key{0xDB, 0x1A, '[', 0}));
  EXPECT_EQ(keys.back(), (Key{0x31, 0x02, '1', 0}));

  // A time-out in the middle of the input: what came before it is keys, what follows is new.
  ConDecoder d;
  DecodedKey k;
  for (char b : std::string("\x1bO")) d.Push(static_cast<uint8_t>(b));
  EXPECT_EQ(d.Expire(), DecodeResult::kKey);
  EXPECT_FALSE(d.Pending());
  ASSERT_TRUE(d.Take(k));
  EXPECT_EQ(k.ch, 'O');
  EXPECT_EQ(k.state, S | A);
  EXPECT_FALSE(d.Take(k));
  for (char b : std::string("\x1bOA")) d.Push(static_cast<uint8_t>(b));
  ASSERT_TRUE(d.Take(k));
  EXPECT_EQ((Key{k.vk, k.scan, k.ch, k.state}), kUp);
}

// Every counter of the decoder stops one past its limit (the bytes it keeps, the parameters, a
// parameter's value: none beyond kMaxLength + 3 or six digits), so a few hundred bytes past
// kMaxLength show what any longer run does: nothing written out of place, the sequence dropped,
// the decoder in step.
constexpr int kEndless = ConDecoder::kMaxLength + 300;

TEST(Decoder, EndlessParametersSaturate) {
  // Endless separators, then a digit: nothing is written out of place and the sequence is
  // dropped at its final byte; the decoder is in step for the next key.
  ConDecoder d;
  DecodedKey k;
  d.Push(0x1B);
  d.Push('[');
  for (int i = 0; i < kEndless; ++i) d.Push(';');
  EXPECT_EQ(d.Push('7'), DecodeResult::kMore);
  EXPECT_EQ(d.Push('~'), DecodeResult::kNothing);
  EXPECT_FALSE(d.Take(k));
  // Endless digits: the value stops growing and the sequence is dropped on the time-out.
  d.Push(0x1B);
  d.Push('[');
  for (int i = 0; i < kEndless; ++i) d.Push('9');
  EXPECT_EQ(d.Expire(), DecodeResult::kNothing);
  EXPECT_EQ(d.Push('r'), DecodeResult::kKey);
  ASSERT_TRUE(d.Take(k));
  EXPECT_EQ(k.ch, 'r');
}

TEST(Decoder, GarbageNeverWedgesTheDecoder) {
  // Random bytes, then a plain key: the decoder is always back in step after the time-out.
  uint32_t seed = 12345;
  for (int round = 0; round < 200; ++round) {
    ConDecoder d;
    DecodedKey k;
    for (int i = 0; i < 64; ++i) {
      seed = seed * 1103515245u + 12345u;
      d.Push(static_cast<uint8_t>(seed >> 16));
      while (d.Take(k)) {
      }
    }
    d.Expire();
    while (d.Take(k)) {
    }
    EXPECT_FALSE(d.Pending());
    EXPECT_EQ(d.Push('z'), DecodeResult::kKey);
    ASSERT_TRUE(d.Take(k));
    EXPECT_EQ(k.ch, 'z');
  }
}

}  // namespace
}  // namespace platform
