// The window's fixed font: 8 x 16 cells, glyphs for the printable ASCII characters, drawn for this
// library and compiled in.
#pragma once

#include <cstdint>

namespace graphfont {

inline constexpr int kWidth = 8;
inline constexpr int kHeight = 16;

// The 16 rows of the glyph of `ch`, top first, the most significant bit leftmost; nullptr for a
// character without a glyph (outside 32..126).
const uint8_t* GlyphRows(unsigned char ch);

}  // namespace graphfont
