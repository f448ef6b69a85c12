#pragma once
// ThunderScan 4-bit decoding (TIFF compression 32809): rows of width
// pixels, two a byte with the left one in the high half. Each code byte
// holds a run of the last pixel, two or three small steps from it, or a
// new pixel; every row starts from pixel 0.

#include <cstdint>
#include <span>

#include "formats/common/decoder.h"

class TThunderDecoder : public TDecoder {
 public:
  explicit TThunderDecoder(std::uint32_t width) : width_(width) {}
  // Decodes rows until dest is full or source is used up; a row the data
  // do not finish keeps 0 for its missing pixels. Steps wrap within 4 bits
  // and runs stop at the row's end.
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;

 private:
  std::uint32_t width_;
};
