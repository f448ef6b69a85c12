#pragma once
// The ZSoft PCX file as the reader sees it: the 128-byte header and the
// run-length coding of its scan lines.
//
//   0  1  manufacturer 0x0A           16 48  16-entry palette (R, G, B)
//   1  1  version (3: no palette)     65  1  planes
//   2  1  encoding: 1 run-length      66  2  bytes per line (per plane)
//   3  1  bits per pixel per plane    68  2  palette type: 2 = grey
//   4  8  XMin, YMin, XMax, YMax
//  12  4  horizontal, vertical resolution
// All values little-endian. 8-bit files end with the byte 12 and a
// 256-entry palette (R, G, B).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "formats/common/decoder.h"

inline constexpr std::size_t kPCXHeaderSize = 128;
inline constexpr std::size_t kPCXPaletteTrailerSize = 769;

struct TPCXHeader {
  std::uint8_t Manufacturer = 0;
  std::uint8_t Version = 0;
  std::uint8_t Encoding = 0;
  std::uint8_t BitsPerPlane = 0;
  std::int16_t XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  std::uint16_t XResolution = 0, YResolution = 0;
  std::span<const std::uint8_t> Palette16;  // 48 bytes of the header
  std::uint8_t Planes = 0;
  std::uint16_t BytesPerLine = 0;
  std::uint16_t PaletteType = 0;
};

// The fields of a header (the span must outlive the result's Palette16);
// nullopt for fewer than 128 bytes.
std::optional<TPCXHeader> ParsePCXHeader(std::span<const std::uint8_t> bytes);

// PCX run-length coding: a byte with both top bits set repeats the next
// byte (b and 63) times; any other byte is itself one data byte.
class TPCXRLEDecoder : public TDecoder {
 public:
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
};
