#include "support/pictures.h"

#include <algorithm>
#include <cstdint>

namespace testsupport {

TBitmap SolidPicture(int width, int height, TColor colour) {
  TBitmap b(width, height, pf24bit);
  b.Canvas().Brush.Color = colour;
  b.Canvas().FillRect(TRect{0, 0, width, height});
  return b;
}

TBitmap NoisePicture(int width, int height, unsigned seed) {
  TBitmap b(width, height, pf24bit);
  unsigned v = seed;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < width * 3; ++x) {
      v = v * 1103515245u + 12345u;
      p[x] = static_cast<std::uint8_t>(v >> 16);
    }
  }
  return b;
}

TBitmap PatternPicture(int width, int height, int seed) {
  TBitmap b(width, height, pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<std::uint8_t>(x * 7 + y * 3 + seed);
      row[3 * x + 1] = static_cast<std::uint8_t>(x * 5 + y * 11 + seed * 3);
      row[3 * x + 2] = static_cast<std::uint8_t>(x * 13 + y * 17 + seed * 7);
    }
  }
  return b;
}

TBitmap GradientPicture(int width, int height) {
  TBitmap b(width, height, pf24bit);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = static_cast<std::uint8_t>(x * 255 / std::max(width - 1, 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / std::max(height - 1, 1));
      p[2] = static_cast<std::uint8_t>((x + y) & 0xFF);
    }
  }
  return b;
}

}  // namespace testsupport
