#pragma once
// The Truevision Targa file as the reader sees it: the 18-byte header and
// the run-length coding of its pixels (which the Targa writer of the
// reader class also encodes with).
//
//   0  1  length of the image ID        8  4  X and Y origin (not used)
//   1  1  colour map type (0 or 1)     12  2  width
//   2  1  image type: 1 colour-mapped, 14  2  height
//         2 true colour, 3 grey; 9, 10, 16  1  bits per pixel
//         11 the same run-length coded 17  1  descriptor: bit 5 set = top
//   3  2  first colour map index              row first; low 4 bits alpha
//   5  2  colour map length
//   7  1  colour map entry size (15, 16, 24 or 32)
// All values little-endian.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/common/decoder.h"

inline constexpr std::size_t kTargaHeaderSize = 18;

struct TTargaHeader {
  std::uint8_t IDLength = 0;
  std::uint8_t ColorMapType = 0;
  std::uint8_t ImageType = 0;
  std::uint16_t ColorMapStart = 0;
  std::uint16_t ColorMapLength = 0;
  std::uint8_t ColorMapEntrySize = 0;
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
  std::uint8_t BitsPerPixel = 0;
  std::uint8_t Descriptor = 0;

  bool RunLength() const { return ImageType >= 9; }
  bool ColorMapped() const { return ImageType == 1 || ImageType == 9; }
  bool Gray() const { return ImageType == 3 || ImageType == 11; }
  bool TopDown() const { return (Descriptor & 0x20) != 0; }
  // Bytes of one stored pixel: 1, 2, 3 or 4 (0 for another depth).
  std::size_t PixelBytes() const;
  // Bytes of the colour map: (entry size + 7) div 8 per entry; 0 without one.
  std::size_t ColorMapBytes() const;
};

// The header fields from the first 18 bytes; nullopt when there are fewer.
std::optional<TTargaHeader> ParseTargaHeader(std::span<const std::uint8_t> bytes);
// What the probe asks of a header: image type 0 to 3 or 9 to 11, colour map
// type 0 or 1, an entry size of 15, 16, 24 or 32 (also without a map) and
// 8, 15, 16, 24 or 32 bits per pixel.
bool IsTargaHeader(const TTargaHeader& header);
// The 18 header bytes of a header.
std::vector<std::uint8_t> TargaHeaderBytes(const TTargaHeader& header);

// Targa run-length packets: a header byte h and n = (h and 127) + 1
// pixels; h >= 128 is one pixel repeated n times, else n literal pixels.
// A packet that passes the end of dest is cut there and the source moves
// past the whole packet, so packets never cross rows.
class TTargaRLEDecoder : public TDecoder {
 public:
  // Pixel bytes by colour depth: 8 -> 1, 15 and 16 -> 2, 24 -> 3, 32 -> 4;
  // any other depth decodes and encodes nothing.
  explicit TTargaRLEDecoder(int colorDepth);
  std::size_t PixelBytes() const { return pixelBytes_; }

  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
  // Appends count pixels of source, packed: literal runs of pixels that
  // differ from their successors and repeat packets of up to 128 equal
  // pixels.
  void Encode(std::span<const std::uint8_t> source, std::size_t count, std::vector<std::uint8_t>& packed) override;

 private:
  std::size_t pixelBytes_;
};
