#pragma once
// The SGI image file as the reader sees it: the 512-byte big-endian header
// and the run-length coding of its rows.
//
//   0  2  signature 474          6  2  width
//   2  1  storage: 1 run-length  8  2  height
//   3  1  bytes per sample       10 2  planes
//   4  2  dimension (1, 2 or 3)
// Run-length files follow the header with two tables of height x planes
// 32-bit values, the start and the length of each packed row, all rows of
// plane 0 first; verbatim files with the rows of each plane, bottom row
// first.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "formats/common/decoder.h"

inline constexpr std::size_t kSGIHeaderSize = 512;

struct TSGIHeader {
  std::uint8_t Storage = 0;
  std::uint8_t BytesPerSample = 0;
  std::uint16_t Dimension = 0;
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;  // 1 for a one-dimensional image
  std::uint16_t Planes = 0;  // 1 below three dimensions

  bool RunLength() const { return Storage == 1; }
};

// The header of the bytes: nullopt unless they hold 512 bytes starting with
// the signature, 1 or 2 bytes per sample and 1 to 3 dimensions.
std::optional<TSGIHeader> ParseSGIHeader(std::span<const std::uint8_t> bytes);

// SGI run-length rows of 8- or 16-bit samples: a count n = value and 127
// (a byte, or a big-endian 16-bit value) ends the row when 0; with bit 7
// set n samples follow literally, else one sample follows, repeated n
// times. Samples keep the file's byte order.
class TSGIRLEDecoder : public TDecoder {
 public:
  explicit TSGIRLEDecoder(int sampleBits) : sampleBytes_(sampleBits == 16 ? 2 : 1) {}
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;

 private:
  std::size_t sampleBytes_;
};
