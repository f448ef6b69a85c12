// Icon files from untrusted bytes: loading either fails with
// EInvalidGraphic or gives a 32-bit picture that flattens, draws stretched
// onto a small canvas and survives our writer and reader unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/icon.h"
#include "core/streams.h"

namespace {

std::uint32_t Le(const std::uint8_t* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// Entries within the pixel cap but with millions of pixels (an RLE entry
// of a few bytes may describe them) decode correctly and slowly; they
// only cost the fuzzer time and memory.
bool TooSlow(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return false;
  const std::size_t count = Le(data + 4, 2);
  for (std::size_t i = 0; i < count && 6 + 16 * i + 16 <= size; ++i) {
    const std::uint64_t offset = Le(data + 6 + 16 * i + 12, 4);
    if (offset > size || size - offset < 12) continue;
    const std::uint8_t* dib = data + offset;
    std::int64_t w, h;
    if (Le(dib, 4) == 12) {
      w = Le(dib + 4, 2);
      h = Le(dib + 6, 2);
    } else {
      w = static_cast<std::int32_t>(Le(dib + 4, 4));
      h = static_cast<std::int32_t>(Le(dib + 8, 4));
    }
    // Both at most 2^31 in size, so the product fits.
    if (h < 0) h = -h;
    if (w > 0 && w * h > (std::int64_t{1} << 18)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (TooSlow(data, size)) return 0;
  TIcon icon;
  try {
    TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
    icon.LoadFromStream(in);
  } catch (const EInvalidGraphic&) {
    return 0;
  }
  const TBitmap& image = icon.Image();
  if (icon.Empty() || image.PixelFormat() != pf32bit) std::abort();

  TBitmap flat;
  icon.AssignTo(flat);
  if (flat.Width() != icon.Width() || flat.Height() != icon.Height()) std::abort();
  TBitmap canvas(7, 5, pf24bit);
  canvas.Canvas().StretchDraw(Rect(-3, -2, 9, 4), icon);
  TBitmap paletted(5, 3, pf8bit);
  paletted.Canvas().Draw(-1, -1, icon);

  TMemoryStream out;
  icon.SaveToStream(out);
  out.SetPosition(0);
  TIcon back;
  back.LoadFromStream(out);
  const TBitmap& again = back.Image();
  if (again.Width() != image.Width() || again.Height() != image.Height()) std::abort();
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* a = image.ScanLine(y);
    const std::uint8_t* b = again.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x) {
      // Fully transparent pixels keep their opacity but their colour is
      // the writer's business.
      if (a[4 * x + 3] != b[4 * x + 3]) std::abort();
      if (a[4 * x + 3] != 0 && (a[4 * x] != b[4 * x] || a[4 * x + 1] != b[4 * x + 1] || a[4 * x + 2] != b[4 * x + 2])) {
        std::abort();
      }
    }
  }
  return 0;
}
