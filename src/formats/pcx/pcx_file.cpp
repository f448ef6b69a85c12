#include "formats/pcx/pcx_file.h"

#include <algorithm>
#include <cstring>

#include "formats/common/byte_order.h"

std::optional<TPCXHeader> ParsePCXHeader(std::span<const std::uint8_t> b) {
  if (b.size() < kPCXHeaderSize) return std::nullopt;
  TPCXHeader h;
  h.Manufacturer = b[0];
  h.Version = b[1];
  h.Encoding = b[2];
  h.BitsPerPlane = b[3];
  h.XMin = static_cast<std::int16_t>(GetU16LE(&b[4]));
  h.YMin = static_cast<std::int16_t>(GetU16LE(&b[6]));
  h.XMax = static_cast<std::int16_t>(GetU16LE(&b[8]));
  h.YMax = static_cast<std::int16_t>(GetU16LE(&b[10]));
  h.XResolution = GetU16LE(&b[12]);
  h.YResolution = GetU16LE(&b[14]);
  h.Palette16 = b.subspan(16, 48);
  h.Planes = b[65];
  h.BytesPerLine = GetU16LE(&b[66]);
  h.PaletteType = GetU16LE(&b[68]);
  return h;
}

void TPCXRLEDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  // Most bytes of a photograph stand alone, so the loop works on pointers
  // rather than a run cursor call per byte.
  const std::uint8_t* s = source.data();
  const std::uint8_t* const sEnd = s + source.size();
  std::uint8_t* d = dest.data();
  std::uint8_t* const dEnd = d + dest.size();
  while (d < dEnd && s < sEnd) {
    const std::uint8_t b = *s++;
    if (b < 0xC0) {
      *d++ = b;
      continue;
    }
    if (s == sEnd) break;
    const std::uint8_t v = *s++;
    const std::size_t n = std::min<std::size_t>(b & 63u, static_cast<std::size_t>(dEnd - d));
    std::memset(d, v, n);
    d += n;
  }
  source = source.subspan(static_cast<std::size_t>(s - source.data()));
  dest = dest.subspan(static_cast<std::size_t>(d - dest.data()));
}
