#pragma once
// Writes a bitmap as an uncompressed Truevision Targa file, rows from the
// top (image descriptor 0x20).

#include <string>
#include <string_view>

#include "core/bitmap.h"
#include "core/streams.h"

class TStream;

enum : int {
  tgaColourMapped = 1,  // 8 bits per pixel with a 256-entry colour map
  tgaTrueColour = 2     // 24 bits per pixel, B, G, R
};

// The image identification every file carries (46 bytes).
inline constexpr std::string_view kTargaIdentification{"Stampwise(STAMPING) produced this TARGA file!\x1A", 46};

// Writes fileName through a temporary file that replaces it only when
// everything was written (a symbolic link there as links says). Mode 1 needs a paletted (1-, 4- or 8-bit)
// bitmap; mode 2 takes any bitmap, paletted ones through their palette.
// Raises ERangeError for a side above 65535, EInvalidGraphic for an empty
// bitmap and EInvalidGraphicOperation for an unknown mode or a picture
// the mode cannot hold; the file is left untouched then.
void SaveTGA(const std::string& fileName, const TBitmap& bitmap, int mode);
// The same into a stream, from its position: what the file would hold.
// Nothing is written when the bitmap or the mode is refused.
void SaveTGA(TStream& stream, const TBitmap& bitmap, int mode);
