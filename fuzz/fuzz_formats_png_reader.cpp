// The family's PNG reader on untrusted bytes: loading either fails with
// the family's exception or gives a picture of the header's size whose
// every pixel can be read. The same file with its image data cut into
// chunks of 7 bytes loads to the same pixels.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/png/png_image.h"
#include "formats/png_reader/png_graphic.h"
#include "large_claims.h"

namespace {

std::uint32_t BE32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void PutBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

// Every complete chunk with its correct CRC, IDAT data re-cut into pieces
// of `piece` bytes (0 keeps them as they are).
std::vector<std::uint8_t> Rebuild(const std::vector<std::uint8_t>& file, std::size_t piece) {
  std::vector<std::uint8_t> out(file.begin(), file.begin() + 8);
  std::size_t pos = 8;
  auto chunk = [&](const std::uint8_t* type, const std::uint8_t* data, std::size_t n) {
    PutBE32(out, static_cast<std::uint32_t>(n));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + n);
    PutBE32(out, PngCrc(type, data, n));
  };
  while (pos + 12 <= file.size()) {
    const std::uint64_t n = BE32(&file[pos]);
    if (n > file.size() - pos - 12) break;
    const std::uint8_t* type = &file[pos + 4];
    const std::uint8_t* data = &file[pos + 8];
    if (piece && type[0] == 'I' && type[1] == 'D' && type[2] == 'A' && type[3] == 'T') {
      // An empty IDAT stays one.
      std::size_t at = 0;
      do {
        chunk(type, data + at, std::min<std::size_t>(piece, n - at));
        at += piece;
      } while (at < n);
    } else {
      chunk(type, data, static_cast<std::size_t>(n));
    }
    pos += 12 + static_cast<std::size_t>(n);
  }
  return out;
}

bool Load(const std::vector<std::uint8_t>& file, std::vector<TColor>& pixels) {
  TPNGGraphic png;
  try {
    TMemoryStream in(file);
    png.LoadFromStream(in);
  } catch (const Exception&) {
    return false;
  }
  if (png.Width() != static_cast<int>(png.ImageProperties().Width) ||
      png.Height() != static_cast<int>(png.ImageProperties().Height)) {
    std::abort();
  }
  pixels.clear();
  for (int y = 0; y < png.Height(); ++y) {
    for (int x = 0; x < png.Width(); ++x) pixels.push_back(png.GetPixelColor(x, y));
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Pictures within the cap but of millions of pixels only cost time.
  if (!fuzzclaims::LoadLargePictures() && size >= 24 && std::uint64_t{BE32(data + 16)} * BE32(data + 20) > (1u << 18)) return 0;
  std::vector<std::uint8_t> file(data, data + size);
  std::vector<TColor> first, second;
  Load(file, first);
  if (size < 8) return 0;
  if (Load(Rebuild(file, 0), first) && !Load(Rebuild(file, 7), second)) std::abort();
  if (!second.empty() && first != second) std::abort();
  return 0;
}
