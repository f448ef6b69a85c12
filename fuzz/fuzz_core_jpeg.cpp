// JPEG data from untrusted bytes: decoding either fails with
// EInvalidGraphic or gives a 24-bit picture of the header's size, which
// compresses and decodes again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/jpeg.h"
#include "large_claims.h"

namespace {

// Frames within the pixel cap but with millions of pixels decode
// correctly and slowly (a progressive one needs a coefficient buffer of
// its full size); they only cost the fuzzer time and memory.
bool TooSlow(const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i + 9 <= size; ++i) {
    if (data[i] != 0xFF) continue;
    std::uint8_t m = data[i + 1];
    if (m < 0xC0 || m > 0xCF || m == 0xC4 || m == 0xC8 || m == 0xCC) continue;
    std::int64_t h = data[i + 5] << 8 | data[i + 6];
    std::int64_t w = data[i + 7] << 8 | data[i + 8];
    if (WithinPixelCap(w, h) && w * h > (std::int64_t{1} << 18)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (TooSlow(data, size) && !fuzzclaims::LoadLargePictures()) return 0;
  TBitmap b;
  try {
    DecodeJpeg(data, size, b);
  } catch (const EInvalidGraphic&) {
    if (!b.Empty()) std::abort();
    return 0;
  }
  if (b.Empty() || b.PixelFormat() != pf24bit) std::abort();
  if (b.Width() * b.Height() <= 256 * 256) {
    std::vector<std::uint8_t> again = EncodeJpeg(b, 75);
    TBitmap back;
    DecodeJpeg(again.data(), again.size(), back);
    if (back.Width() != b.Width() || back.Height() != b.Height()) std::abort();
  }
  return 0;
}
