#pragma once
// BMP files.
//
// Read: BITMAPCOREHEADER (OS/2 1.x, 12 bytes), OS/2 2.x (16..64 bytes),
// BITMAPINFOHEADER (40) and its V2/V3/V4/V5 extensions (52, 56, 108, 124);
// 1, 4, 8, 16, 24 and 32 bits; BI_RGB, BI_RLE4, BI_RLE8 and BI_BITFIELDS;
// bottom-up and top-down rows. Every header field is checked; a bad file
// raises EInvalidGraphic.
// Written: BITMAPFILEHEADER + BITMAPINFOHEADER, bottom-up, BI_RGB for 1, 4,
// 8, 15 (as 16-bit 5-5-5), 24 and 32 bits and BI_BITFIELDS 5-6-5 for 16
// bits; pfDevice is written as 24 bits.

#include <cstdint>
#include <span>
#include <vector>

class TBitmap;
class TStream;

// Decodes a BMP file image (starting with "BM") into the bitmap.
void ReadBmp(std::span<const std::uint8_t> data, TBitmap& bitmap);
// Decodes a BMP without its 14-byte file header (an info header followed
// by the palette and pixels), as icons keep them. heightIsDoubled: the
// header height counts the XOR and AND masks together (icons).
void ReadDib(std::span<const std::uint8_t> data, TBitmap& bitmap, bool heightIsDoubled = false);
// Encodes the bitmap as a BMP file image.
std::vector<std::uint8_t> WriteBmp(const TBitmap& bitmap);
