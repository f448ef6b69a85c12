#pragma once
// BMP files.
//
// Read: BITMAPCOREHEADER (OS/2 1.x, 12 bytes), OS/2 2.x (16..64 bytes),
// BITMAPINFOHEADER (40) and its V2/V3/V4/V5 extensions (52, 56, 108, 124);
// 1, 4, 8, 16, 24 and 32 bits; BI_RGB, BI_RLE4, BI_RLE8 and BI_BITFIELDS;
// bottom-up and top-down rows. Every header field is checked; a bad file
// raises EInvalidGraphic.
//
// What a file becomes: 1/4/8 bits pf1bit/pf4bit/pf8bit with the file's
// palette (indices beyond it read as black; pixels an RLE delta skips are
// index 0); 16 bits 5-5-5 pf15bit, 5-6-5 pf16bit, other masks pf24bit;
// 24 bits pf24bit; 32 bits pf32bit keeping the fourth byte (with unusual
// masks the fourth byte is the alpha mask's value, or 0 without one).
//
// Written: BITMAPFILEHEADER + BITMAPINFOHEADER, bottom-up, BI_RGB for 1, 4,
// 8, 15 (as 16-bit 5-5-5), 24 and 32 bits and BI_BITFIELDS 5-6-5 for 16
// bits; pfDevice is written as 24 bits. An empty bitmap cannot be written
// (EInvalidGraphic).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class TBitmap;
class TStream;

// Decodes a BMP file image (starting with "BM") into the bitmap. On
// failure the bitmap is left as it was.
void ReadBmp(std::span<const std::uint8_t> data, TBitmap& bitmap);
// Decodes a BMP without its 14-byte file header (an info header followed
// by the palette and pixels), as icons keep them. heightIsDoubled: the
// header height counts the XOR and AND masks together (icons); only the
// first half is decoded. Returns the number of bytes the header, palette
// and pixels took (where an icon's AND mask begins).
std::size_t ReadDib(std::span<const std::uint8_t> data, TBitmap& bitmap, bool heightIsDoubled = false);
// Encodes the bitmap as a BMP file image.
std::vector<std::uint8_t> WriteBmp(const TBitmap& bitmap);
// Writes the BMP file image straight into a stream.
void WriteBmp(const TBitmap& bitmap, TStream& stream);
