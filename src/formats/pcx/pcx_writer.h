#pragma once
// Writes a bitmap as a ZSoft PCX file (version 5, run-length encoded).

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"

class TStream;

// Output layouts of SavePCX.
enum : int {
  pcxMono = 1,       // one plane of 1 bit: 2 colours (bit 0 of each index)
  pcxSixteen = 2,    // four planes of 1 bit: 16 colours
  pcxPaletted = 3,   // one plane of 8 bits: 256 colours
  pcxTrueColour = 4  // three planes of 8 bits (R, G, B)
};

// Writes fileName through a temporary file that replaces it only when
// everything was written (a symbolic link there as links says). Modes 1 to 3 need a paletted (1-, 4- or 8-bit)
// bitmap; mode 4 takes any bitmap, paletted ones through their palette.
// Raises ERangeError for a side above 65535, EInvalidGraphic for an empty
// bitmap and EInvalidGraphicOperation for an unknown mode or a picture
// the mode cannot hold; the file is left untouched then.
void SavePCX(const std::string& fileName, const TBitmap& bitmap, int mode);
// The same into a stream, from its position: what the file would hold.
// Nothing is written when the bitmap or the mode is refused.
void SavePCX(TStream& stream, const TBitmap& bitmap, int mode);

// Run-length encodes one plane line: runs of up to 63 equal bytes become
// a count byte 0xC0 + n and the value; a single byte below 0xC0 stands
// alone. Appends to out.
void EncodePcxLine(const std::uint8_t* line, std::size_t length, std::vector<std::uint8_t>& out);
