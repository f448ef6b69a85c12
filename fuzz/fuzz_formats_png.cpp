// PNG files from untrusted bytes: loading either fails with the codec's
// exception or gives a picture that our writer saves and our reader
// loads back to the very same pixels.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/exceptions.h"
#include "formats/png/png_image.h"
#include "large_claims.h"

namespace {

std::vector<std::uint8_t> Pixels(const TBitmap& b) {
  std::vector<std::uint8_t> out;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      TColor c = b.GetPixelColor(x, y);
      out.insert(out.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                             static_cast<std::uint8_t>(c >> 16)});
    }
  }
  return out;
}

// Gives every complete chunk its correct CRC, so that mutations reach
// the decoder behind the checksum.
void RepairCrcs(std::vector<std::uint8_t>& file) {
  std::size_t pos = 8;
  while (pos + 12 <= file.size()) {
    std::uint64_t n = (std::uint64_t{file[pos]} << 24) | (file[pos + 1] << 16) | (file[pos + 2] << 8) | file[pos + 3];
    if (n > file.size() - pos - 12) return;
    std::uint32_t crc = PngCrc(&file[pos + 4], file.data() + pos + 8, static_cast<std::size_t>(n));
    std::size_t at = pos + 8 + static_cast<std::size_t>(n);
    file[at] = static_cast<std::uint8_t>(crc >> 24);
    file[at + 1] = static_cast<std::uint8_t>(crc >> 16);
    file[at + 2] = static_cast<std::uint8_t>(crc >> 8);
    file[at + 3] = static_cast<std::uint8_t>(crc);
    pos = at + 4;
  }
}

void Check(const std::vector<std::uint8_t>& file) {
  TPNGImage png;
  // The opacity an icon asks for is read from the same rows.
  png.KeepOpacity(true);
  try {
    TMemoryStream in(file);
    png.LoadFromStream(in);
  } catch (const Exception&) {
    return;
  }
  if (png.Width() <= 0 || png.Height() <= 0) std::abort();
  std::vector<std::uint8_t> opacity;
  if (png.GetOpacity(opacity) &&
      opacity.size() != static_cast<std::size_t>(png.Width()) * static_cast<std::size_t>(png.Height())) {
    std::abort();
  }
  const TPixelFormat format = png.PixelFormat();
  const std::vector<std::uint8_t> before = Pixels(png);
  const bool transparent = png.Transparent();
  const TColor key = transparent ? png.TransparentColor() : 0;

  TMemoryStream out;
  png.SaveToStream(out);
  TPNGImage again;
  out.SetPosition(0);
  again.LoadFromStream(out);
  if (again.PixelFormat() != format || Pixels(again) != before) std::abort();
  if (again.Transparent() != transparent || (transparent && again.TransparentColor() != key)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Pictures within the cap but of more than a small size only cost time
  // (each is decoded, coded and decoded again twice, which for a claim of
  // a million pixels takes seconds); the rows, filters and size checks
  // are the same for small ones.
  if (size >= 24) {
    std::uint64_t w = (std::uint64_t{data[16]} << 24) | (data[17] << 16) | (data[18] << 8) | data[19];
    std::uint64_t h = (std::uint64_t{data[20]} << 24) | (data[21] << 16) | (data[22] << 8) | data[23];
    if (w * h > (1u << 16) && !fuzzclaims::LoadLargePictures()) return 0;
  }
  std::vector<std::uint8_t> file(data, data + size);
  Check(file);
  RepairCrcs(file);
  Check(file);
  return 0;
}
