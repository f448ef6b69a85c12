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
