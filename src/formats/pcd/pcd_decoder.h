#pragma once
// The Huffman-coded residuals by which a Photo-CD image of a higher
// resolution refines the doubled planes of the one below: luma and the two
// chroma planes (half the width and height), one byte a sample.
//
// The coded data, read most significant bit first through a 32-bit
// register: the Huffman tables (one for rows up to 1536 pixels, three -
// luma, first and second chroma - above), each an entry count (byte + 1)
// and per entry a code length (byte + 1), the code (16 bits, left-aligned)
// and the residual (a signed byte); then rows, each after a header: the
// sync pattern (the register's bits 12 to 23 all ones, then 23 ones and a
// zero), and 32 bits whose top two give the plane (0 luma, 2 first and 3
// second chroma) and bits 9 to 21 the row (in luma rows), then one code a
// sample. A row number equal to the height ends the data.

#include <cstdint>
#include <span>

#include "formats/common/decoder.h"

class TPCDDecoder : public TDecoder {
 public:
  // width and height of the luma plane.
  TPCDDecoder(std::uint32_t width, std::uint32_t height) : width_(width), height_(height) {}

  // source: the coded data; dest: the luma plane, then the first and the
  // second chroma plane, back to back, each row width (or width / 2)
  // bytes. The residuals are added to dest's samples, limited to 0..255.
  // A code that matches no entry resynchronises on the next row; a header
  // naming plane 1 raises EGraphicCompression.
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;

 private:
  std::uint32_t width_;
  std::uint32_t height_;
};
