#pragma once
// The Dr. Halo CUT file and its companion palette file as the reader sees
// them.
//
// A CUT file is a 6-byte header (width and height, 16-bit little-endian,
// and a word not used) and then one packed row after another, top row
// first: a 16-bit length, packets, and a zero byte. A packet byte b with
// bit 7 set repeats the next byte b and 127 times; else b bytes follow.
//
// The palette file (the CUT file's name with ".pal") is read in blocks of
// 512 bytes: the word at offset 12 of the first block is the highest
// colour index; entries of three 16-bit words (red, green, blue, 0 to
// 255) start at offset 40 and go on at offset 0 of the next block when
// they would start beyond offset 506.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/types.h"
#include "formats/common/decoder.h"

inline constexpr std::size_t kCUTHeaderSize = 6;

// One row: its length word is skipped and packets are decoded up to the
// zero byte that ends it, writing no more than dest holds; source is left
// after the zero byte.
class TCUTRLEDecoder : public TDecoder {
 public:
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
};

// The colours of a palette file. More than 256 entries or a value above
// 255 raise ERangeError; entries beyond the data raise the CUT format's
// invalid-image error.
std::vector<TPaletteEntry> ReadCUTPalette(std::span<const std::uint8_t> data);
