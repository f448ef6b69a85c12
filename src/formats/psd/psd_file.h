#pragma once
// The Photoshop file as the reader sees it, big-endian:
//
//   0  4  "8BPS"              14  4  height
//   4  2  version (1)          18  4  width
//  12  2  channels             22  2  bits per channel
//                              24  2  colour mode
// then three sections of a 32-bit length and its data (colour mode data,
// image resources, layer and mask information), a 16-bit compression code
// (0 raw, 1 PackBits) and the image data, channel after channel. PackBits
// data starts with a table of channels x height 16-bit packed row
// lengths.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/byte_reader.h"
#include "core/exceptions.h"

class TStream;

inline constexpr std::size_t kPSDHeaderSize = 26;

enum TPSDColorMode : std::uint16_t {
  psdBitmap = 0,
  psdGrayscale = 1,
  psdIndexed = 2,
  psdRGB = 3,
  psdCMYK = 4,
  psdMultichannel = 7,
  psdDuotone = 8,
  psdLab = 9
};

struct TPSDHeader {
  std::uint16_t Version = 0;
  std::uint16_t Channels = 0;
  std::uint32_t Height = 0;
  std::uint32_t Width = 0;
  std::uint16_t Depth = 0;
  std::uint16_t Mode = 0;

  // The channels the colour mode combines into a pixel; 0 for a mode or
  // channel count that makes no picture.
  int Planes() const;
  // Whether the depth suits the mode: 1 bit for bitmaps, 8 or 16 bits
  // for the others (indexed only 8).
  bool DepthFits() const;
};

// The header of 26 bytes starting with "8BPS"; nullopt otherwise.
std::optional<TPSDHeader> ParsePSDHeader(std::span<const std::uint8_t> bytes);

// The compression code behind the three sections that follow the header
// at the stream's position: 0 (raw) also when the stream ends before it.
// The stream is put back where it was.
std::uint16_t PeekPSDCompression(TStream& stream, const std::string& formatName);

// The sections after the header, read from a reader standing there: the
// colour mode data (an indexed file's palette) and the compression code;
// the reader is left at the image data. Data that end first raise the
// reader's error.
struct TPSDSections {
  std::span<const std::uint8_t> ModeData;
  std::uint16_t Compression = 0;
};
TPSDSections ReadPSDSections(TByteReader<EInvalidGraphic>& reader);
