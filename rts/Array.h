// Checked arrays for the system's arrays with bounds Lo..Hi (usually 1..N).
#pragma once

#include "rts/RTS.h"

namespace rts {

// A fixed array indexed Lo..Hi. Zero-filled when value-initialised, trivially copyable so a value
// argument copies it whole; an index outside Lo..Hi raises trap 0 before anything is touched.
template <class T, long Lo, long Hi>
struct Array {
  static_assert(Lo <= Hi);
  static constexpr long kLo = Lo;
  static constexpr long kHi = Hi;
  static constexpr long kSize = Hi - Lo + 1;

  T data[kSize];

  constexpr T& operator[](long i) noexcept {
    if (i < Lo || i > Hi) Trap(kTrapIndex);
    return data[i - Lo];
  }
  constexpr const T& operator[](long i) const noexcept {
    if (i < Lo || i > Hi) Trap(kTrapIndex);
    return data[i - Lo];
  }
  friend constexpr bool operator==(const Array&, const Array&) = default;
};

}  // namespace rts
