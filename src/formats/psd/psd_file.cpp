#include "formats/psd/psd_file.h"

#include "formats/common/byte_order.h"

std::optional<TPSDHeader> ParsePSDHeader(std::span<const std::uint8_t> b) {
  if (b.size() < kPSDHeaderSize || b[0] != '8' || b[1] != 'B' || b[2] != 'P' || b[3] != 'S') return std::nullopt;
  TPSDHeader h;
  h.Version = GetU16BE(&b[4]);
  h.Channels = GetU16BE(&b[12]);
  h.Height = GetU32BE(&b[14]);
  h.Width = GetU32BE(&b[18]);
  h.Depth = GetU16BE(&b[22]);
  h.Mode = GetU16BE(&b[24]);
  return h;
}

int TPSDHeader::Planes() const {
  switch (Mode) {
    case psdBitmap:
    case psdGrayscale:
    case psdDuotone:
    case psdIndexed: return 1;
    case psdRGB:
    case psdMultichannel: return Channels >= 4 ? 4 : Channels == 3 ? 3 : 0;
    case psdCMYK: return Channels >= 4 ? 4 : 0;
    case psdLab: return Channels >= 3 ? 3 : 0;
    default: return 0;
  }
}

bool TPSDHeader::DepthFits() const {
  return Mode == psdBitmap ? Depth == 1 : (Depth == 8 || (Depth == 16 && Mode != psdIndexed));
}
