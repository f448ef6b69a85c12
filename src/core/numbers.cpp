#include "core/numbers.h"

#include <cmath>
#include <limits>

#include "core/exceptions.h"

namespace {

void CheckRange(long double value) {
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  constexpr long double kLimit = 9223372036854775808.0L;
  if (!std::isfinite(value) || value >= kLimit || value < -kLimit) {
    throw ERangeError("Range check error");
  }
}

}  // namespace

std::int64_t Round(long double value) {
  CheckRange(value);
  long double whole = std::floor(value);
  long double fraction = value - whole;
  if (fraction > 0.5L) {
    whole += 1.0L;
  } else if (fraction == 0.5L) {
    if (std::fmod(whole, 2.0L) != 0.0L) whole += 1.0L;
  }
  CheckRange(whole);
  return static_cast<std::int64_t>(whole);
}

std::int64_t Trunc(long double value) {
  CheckRange(value);
  return static_cast<std::int64_t>(std::trunc(value));
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t product = static_cast<std::int64_t>(a) * b;
  std::int64_t half = (c < 0 ? -static_cast<std::int64_t>(c) : c) / 2;
  bool negative = (product < 0) != (c < 0);
  std::int64_t p = product < 0 ? -product : product;
  std::int64_t d = c < 0 ? -static_cast<std::int64_t>(c) : c;
  std::int64_t q = (p + half) / d;
  std::int64_t result = negative ? -q : q;
  if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min()) return -1;
  return static_cast<int>(result);
}
