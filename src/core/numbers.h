#pragma once
// Rounding and integer helpers with exactly one rule each.

#include <cstdint>

// Rounds to the nearest integer; a half goes to the even neighbour
// (0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -0.5 -> 0). Computed in long double, the
// program's extended precision. Raises ERangeError when the value is not
// finite or lies outside the 64-bit range.
std::int64_t Round(long double value);

// Drops the fraction (toward zero). Same range rule as Round.
std::int64_t Trunc(long double value);

// a * b / c with a 64-bit intermediate, rounded half away from zero;
// -1 when c is 0 or the result does not fit in 32 bits.
int MulDiv(int a, int b, int c);

// Clamps to 0..255.
constexpr int ClampByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
