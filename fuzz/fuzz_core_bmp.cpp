// BMP files and icon-style DIBs from untrusted bytes: reading either fails
// with EInvalidGraphic or gives a picture that our writer stores and reads
// back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "core/bitmap.h"
#include "core/bmp.h"
#include "core/exceptions.h"
#include "large_claims.h"

namespace {

std::int64_t Le32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

// Headers within the pixel cap but with millions of pixels decode
// correctly and slowly (an RLE file of a few bytes may describe them);
// they only cost the fuzzer time.
bool TooSlow(std::span<const std::uint8_t> dib) {
  if (dib.size() < 12) return false;
  std::int64_t w, h;
  if (Le32(dib.data()) == 12) {
    w = dib[4] | dib[5] << 8;
    h = dib[6] | dib[7] << 8;
  } else {
    w = Le32(dib.data() + 4);
    h = Le32(dib.data() + 8);
  }
  if (h < 0) h = -h;
  return w > 0 && WithinPixelCap(w, h) && w * h > (std::int64_t{1} << 18);
}

void CheckRoundTrip(const TBitmap& b) {
  std::vector<std::uint8_t> file = WriteBmp(b);
  TBitmap back;
  ReadBmp(file, back);
  TPixelFormat expected = b.PixelFormat() == pfDevice ? pf24bit : b.PixelFormat();
  if (back.Width() != b.Width() || back.Height() != b.Height() || back.PixelFormat() != expected) std::abort();
  if (back.Palette() != b.Palette() && !b.Palette().empty()) std::abort();
  // Rows whose stored pixels are the same bytes in the same format and
  // palette hold the same colours; the others are compared pixel by pixel.
  const std::int64_t bits = std::int64_t{b.Width()} * BitsPerPixel(b.PixelFormat());
  const bool sameBytesSameColours =
      bits > 0 && bits % 8 == 0 && back.PixelFormat() == b.PixelFormat() && back.Palette() == b.Palette();
  for (int y = 0; y < b.Height(); ++y) {
    if (sameBytesSameColours &&
        std::memcmp(back.ScanLine(y), b.ScanLine(y), static_cast<std::size_t>(bits / 8)) == 0) {
      continue;
    }
    for (int x = 0; x < b.Width(); ++x) {
      if (back.GetPixelColor(x, y) != b.GetPixelColor(x, y)) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::span<const std::uint8_t> bytes(data, size);
  if (size >= 14 && (!TooSlow(bytes.subspan(14)) || fuzzclaims::LoadLargePictures())) {
    try {
      TBitmap b;
      ReadBmp(bytes, b);
      if (b.Empty()) std::abort();
      CheckRoundTrip(b);
    } catch (const EInvalidGraphic&) {
    }
    // The same bytes without the file header, as an icon keeps them.
    try {
      TBitmap b;
      std::size_t used = ReadDib(bytes.subspan(14), b, (data[6] & 1) != 0);
      if (used > size - 14 || b.Empty()) std::abort();
    } catch (const EInvalidGraphic&) {
    }
  }
  return 0;
}
