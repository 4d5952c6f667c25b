// Rectangles, colours and the Windows rounding rules the popup's placement
// and painting are written in.
#pragma once

#include <cstdint>

namespace qb {

// A rectangle by its edges; Right and Bottom lie just outside it.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

// A colour value with red in the lowest byte, then green, then blue; the
// highest byte is a flag that no drawing looks at.
using TColor = std::uint32_t;
constexpr TColor RGB(int red, int green, int blue) {
  return static_cast<TColor>((red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16);
}
constexpr int RedOf(TColor c) {
  return c & 0xFF;
}
constexpr int GreenOf(TColor c) {
  return c >> 8 & 0xFF;
}
constexpr int BlueOf(TColor c) {
  return c >> 16 & 0xFF;
}

// a * b / c rounded to the nearest integer, halves away from zero; -1 when
// c is 0.
int MulDiv(int a, int b, int c);

// x rounded to the nearest integer, halves to the even one.
int RoundHalfEven(double x);

}  // namespace qb
