#pragma once
// What the PCX and Targa writers share: the 6-bit palette table they
// work from and the conversion of one pixel row between depths.

#include <array>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"

// 256 entries of red, green and blue, each the bitmap palette's value
// shifted right by 2 (0..63); entries the palette lacks stay 0.
struct TPaletteTable {
  std::array<std::array<std::uint8_t, 3>, 256> Entries{};
};
TPaletteTable MakePaletteTable(const TBitmap& bitmap);

// A 6-bit palette value as the files store it: v x 255 / 63.
constexpr std::uint8_t ScalePaletteValue(std::uint8_t v) { return static_cast<std::uint8_t>(v * 255 / 63); }

// The bits per pixel a writer reads a bitmap with: 1, 4, 8 or 24. Formats
// without a palette other than 24 bits (15, 16, 32) are read as 24-bit
// rows (see WriterRow).
int SourceDepth(TPixelFormat format);

// Row y of the bitmap at its source depth. For 15-, 16- and 32-bit
// bitmaps the row is converted into scratch as B, G, R bytes.
const std::uint8_t* WriterRow(const TBitmap& bitmap, int y, std::vector<std::uint8_t>& scratch);

// Converts one row of width pixels from sourceDepth to targetDepth:
//   1 -> 4, 8, 24;  4 -> 4, 8, 24;  8 -> 1, 8, 24;  24 -> 24.
// Packed targets (1 and 4 bits) get zero bits past the last pixel; 24-bit
// targets are B, G, R from the palette table scaled to 8 bits. Returns
// false, leaving target alone, for a pair without a conversion. target
// must hold (width + 7) / 8, (width + 1) / 2, width or width x 3 bytes.
bool ConvertRowDepth(const std::uint8_t* source, int sourceDepth, std::uint8_t* target, int targetDepth, int width,
                     const TPaletteTable& palette);

// Raises ERangeError for a size that does not fit the writers' 16-bit
// fields and EInvalidGraphic for an empty bitmap.
void CheckWriterSize(const TBitmap& bitmap, const char* formatName);
