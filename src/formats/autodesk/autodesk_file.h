#pragma once
// The Autodesk Animator cel or pic file as the reader sees it: 8 bits per
// pixel, little-endian.
//
//   0   2   signature 0x9119          10  2  bits per pixel, 8
//   2   2   width                     32 768 palette: 256 x red, green,
//   4   2   height                           blue, each 0 to 63
// The rows follow the palette, top row first, one byte per pixel.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/types.h"

inline constexpr std::size_t kAutodeskHeaderSize = 32;
inline constexpr std::size_t kAutodeskPaletteSize = 768;

struct TAutodeskHeader {
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
};

// The header of the bytes: nullopt unless they start with the signature
// and give 8 bits per pixel (the first 12 bytes say so).
std::optional<TAutodeskHeader> ParseAutodeskHeader(std::span<const std::uint8_t> bytes);

// The 256 colours of the palette's bytes, each value times 4. A value
// above 63 raises ERangeError.
std::vector<TPaletteEntry> ReadAutodeskPalette(std::span<const std::uint8_t, kAutodeskPaletteSize> colours);
