#pragma once
// The body every reader's fuzz target shares: the probe leaves the stream
// where it was, loading either raises one of the program's exceptions or
// gives a picture that is not empty and whose every pixel can be read.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/reader_graphic.h"

namespace fuzzreader {

// Pictures within the cap but above this many pixels are skipped:
// decoding them takes the fuzzer's time (fresh memory for every input),
// not its reach.
inline constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 18;

// Reads the colour of every pixel. A row whose stored bytes are those of
// the row above holds the same colours and is only compared with it; so
// is a pixel of whole bytes that repeats the one before it.
inline std::uint32_t ReadEveryPixel(const TBitmap& b) {
  const int bpp = BitsPerPixel(b.PixelFormat());
  const std::int64_t bits = std::int64_t{b.Width()} * bpp;
  const std::size_t rowBytes = bits > 0 && bits % 8 == 0 ? static_cast<std::size_t>(bits / 8) : 0;
  const std::size_t pixelBytes = bpp >= 8 && bpp % 8 == 0 ? static_cast<std::size_t>(bpp / 8) : 0;
  std::uint32_t sum = 0;
  for (int y = 0; y < b.Height(); ++y) {
    const std::uint8_t* row = b.ScanLine(y);
    if (rowBytes && y > 0 && std::memcmp(row, b.ScanLine(y - 1), rowBytes) == 0) continue;
    for (int x = 0; x < b.Width(); ++x) {
      const std::size_t at = static_cast<std::size_t>(x) * pixelBytes;
      if (pixelBytes && x > 0 && std::memcmp(row + at, row + at - pixelBytes, pixelBytes) == 0) continue;
      sum += b.GetPixelColor(x, y);
    }
  }
  return sum;
}

// Whether the bytes loaded (false when loading raised or the header claims
// a picture within the cap above kMaxFuzzPixels).
template <class Reader>
bool Load(Reader& reader, const std::uint8_t* data, std::size_t size) {
  TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
  reader.CanLoadStream(stream);
  if (stream.Position() != 0) std::abort();
  try {
    if (reader.ReadImageHeader(stream, 0)) {
      const TImageProperties& p = reader.ImageProperties();
      // Claims beyond the cap go on: the reader must refuse them itself.
      if (WithinPixelCap(p.Width, p.Height) &&
          std::uint64_t{p.Width} * p.Height > static_cast<std::uint64_t>(kMaxFuzzPixels)) {
        return false;
      }
    }
  } catch (const Exception&) {
  }
  stream.SetPosition(0);
  try {
    reader.LoadFromStream(stream);
  } catch (const Exception&) {
    return false;
  }
  if (reader.Empty()) std::abort();
  const std::uint32_t sum = ReadEveryPixel(reader);
  // Keeps the reads from being optimised away.
  if (sum == 0xFFFFFFFFu && reader.Width() == 0) std::abort();
  return true;
}

// Pixels of a picture as colours, for comparing two pictures.
inline std::vector<std::uint32_t> Colours(const TBitmap& b) {
  std::vector<std::uint32_t> out;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) out.push_back(b.GetPixelColor(x, y));
  }
  return out;
}

}  // namespace fuzzreader
