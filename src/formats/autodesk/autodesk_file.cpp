#include "formats/autodesk/autodesk_file.h"

#include "core/exceptions.h"
#include "formats/common/byte_order.h"

std::optional<TAutodeskHeader> ParseAutodeskHeader(std::span<const std::uint8_t> b) {
  if (b.size() < 12 || GetU16LE(&b[0]) != 0x9119 || GetU16LE(&b[10]) != 8) return std::nullopt;
  TAutodeskHeader h;
  h.Width = GetU16LE(&b[2]);
  h.Height = GetU16LE(&b[4]);
  return h;
}

std::vector<TPaletteEntry> ReadAutodeskPalette(std::span<const std::uint8_t, kAutodeskPaletteSize> colours) {
  std::vector<TPaletteEntry> palette(256);
  for (std::size_t i = 0; i < 256; ++i) {
    const std::uint8_t* c = &colours[3 * i];
    if (c[0] > 63 || c[1] > 63 || c[2] > 63) throw ERangeError("An Autodesk palette value lies above 63");
    palette[i] = {static_cast<std::uint8_t>(c[0] * 4), static_cast<std::uint8_t>(c[1] * 4),
                  static_cast<std::uint8_t>(c[2] * 4), 0};
  }
  return palette;
}
