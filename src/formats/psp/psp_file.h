#pragma once
// The Paint Shop Pro file as the reader sees it.
//
// All little-endian: a 32-byte signature beginning "Paint Shop Pro Image
// File", the major and minor version (16 bits each), then blocks. A block
// header is the marker "~BK\0", a 16-bit id, for version 3 a 32-bit
// initial length, and the 32-bit length of the block's data. In versions
// above 3 every chunk inside a block starts with its own 32-bit size,
// counting the size itself:
//   0 general attributes: [size], width, height (32 bits), resolution
//     (64-bit float), unit (8 bits, 2 = centimetres), compression (16: 0
//     none, 1 run-length, 2 deflate, 3 JPEG), bit depth, planes (16),
//     colours (32), greyscale (8), image size, active layer (32), layers
//     (16), contents (32);
//   2 palette: [size], count (32), count entries of blue, green, red, 0;
//   3 layer bank: its first sub-block is a layer block (4): the layer
//     information (version 3: a 256-byte name; later: size, 16-bit name
//     length and name), 115 bytes of fixed fields (type, rectangles,
//     opacity, blending, masks and blend ranges), then (version 3) the
//     bitmap and channel counts (16 bits each), or (later) a chunk of
//     size, bitmap count and channel count; one channel block (5) per
//     channel follows: [size], compressed length, uncompressed length
//     (32), bitmap type (16, 0 = the image), channel type (16: 0
//     composite, 1 red, 2 green, 3 blue), then the data (after the chunk,
//     by its size, in later versions).

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/byte_reader.h"
#include "core/exceptions.h"

using TPSPReader = TByteReader<EInvalidGraphic>;

// The signature and the two version words.
inline constexpr std::size_t kPSPHeaderSize = 36;
// Where the first block starts.
inline constexpr std::uint64_t kPSPFirstBlock = 32 + 4;

enum TPSPBlockId : std::uint16_t {
  pspImage = 0,
  pspPalette = 2,
  pspLayerBank = 3,
  pspLayer = 4,
  pspChannel = 5
};

// Layer fields the reader does not use: type, image and saved image
// rectangles, opacity, blending, visibility, protection, link group, mask
// and saved mask rectangles, mask switches, blend range count and ranges.
inline constexpr std::uint64_t kPSPLayerFixedFields = 115;

struct TPSPBlock {
  std::uint16_t Id = 0;
  std::uint64_t Data = 0;  // where the block's data start
  std::uint64_t End = 0;   // where the next block starts
};

// Whether the bytes start with the signature and a major version of 3 or
// more (the first 36 bytes say so).
bool IsPSPSignature(std::span<const std::uint8_t> bytes);

// Reads the block header at the reader's position in a file of the major
// version; false at the end of the data or at a marker that does not
// start with "~". A block that claims more than the data hold ends with
// them; one of length 0 still moves on past its header.
bool ReadPSPBlock(TPSPReader& reader, std::uint32_t version, TPSPBlock& block);

// The signature, the version and the general attributes.
struct TPSPHeader {
  std::uint16_t Version = 0;  // the major version
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  double Resolution = 0;
  std::uint8_t Unit = 0;
  std::uint16_t Compression = 0;
  std::uint16_t Depth = 0;
  bool Grey = false;
};

// Reads the header of the file in data into header; false (not this
// format) for another signature, a version below 3, no general
// attributes first, a side of 0 or data that end first. The version is
// filled in as soon as it is read.
bool ParsePSPHeader(std::span<const std::uint8_t> data, TPSPHeader& header);
