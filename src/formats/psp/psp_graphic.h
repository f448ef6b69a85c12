#pragma once
// The Paint Shop Pro reader: the file's blocks, the general image
// attributes, the palette, and the channels of the first layer
// (uncompressed, run-length or deflate), composite for palette and grey
// images, red, green and blue for colour ones.
//
// The file, all little-endian: a 32-byte signature beginning "Paint Shop
// Pro Image File", the major and minor version (16 bits each), then
// blocks. A block header is the marker "~BK\0", a 16-bit id, for version
// 3 a 32-bit initial length, and the 32-bit length of the block's data.
// In versions above 3 every chunk inside a block starts with its own
// 32-bit size, counting the size itself:
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

#include <cstdint>
#include <span>
#include <vector>

#include "core/byte_reader.h"
#include "core/exceptions.h"
#include "formats/common/reader_graphic.h"

class TPSPGraphic : public TReaderGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  bool ReadImageHeader(TStream& stream, int imageIndex) override;
  void LoadFromStream(TStream& stream) override;

 protected:
  bool ProbeStream(TStream& stream) const override;

 private:
  using TReader = TByteReader<EInvalidGraphic>;
  struct TBlock {
    std::uint16_t Id = 0;
    std::uint64_t Data = 0;  // where the block's data start
    std::uint64_t End = 0;   // where the next block starts
  };

  // The header; false (not this format) also for one cut short.
  bool ReadHeaderFrom(std::span<const std::uint8_t> data);
  bool ReadHeaderFields(std::span<const std::uint8_t> data);
  // Reads the block header at the reader's position; false at the end of
  // the data or at a marker that does not start with "~".
  bool ReadBlock(TReader& reader, TBlock& block) const;
  void ReadPalette(TReader& reader);
  // Loads the first layer of a bank; false when the bank has none.
  bool ReadLayer(TReader& reader, const TBlock& bank, std::uint64_t rowBytes);

  std::vector<std::uint8_t> copy_;
};
