#pragma once
// The Alias/Wavefront RLA file as the reader sees it: a 740-byte
// big-endian header, a table of one 32-bit offset per row, and the rows,
// each channel a 16-bit packed length and run-length packets.
//
//   0   8  window: left, right, bottom, top (signed 16-bit)
//   8   8  active window: left, right, bottom, top
//  20   2  colour channels           28  16  gamma as text
//  22   2  matte channels           580  32  colour space ("rgb", "xyz")
//  26   2  revision 0xFFFE          658   2  bits per colour channel

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "formats/common/decoder.h"

inline constexpr std::size_t kRLAHeaderSize = 740;

struct TRLAHeader {
  std::int16_t ActiveLeft = 0, ActiveRight = 0, ActiveBottom = 0, ActiveTop = 0;
  std::uint16_t ColorChannels = 0;
  std::uint16_t MatteChannels = 0;
  std::uint16_t Revision = 0;
  float Gamma = 1.0f;      // 1.0 when the text is no positive number
  std::string ColorSpace;  // lower case, up to its first zero byte
  std::uint16_t ColorBits = 0;

  std::int64_t Width() const { return std::int64_t{ActiveRight} - ActiveLeft + 1; }
  std::int64_t Height() const;
  bool BottomUp() const { return ActiveBottom < ActiveTop; }
};

// The header fields of 740 bytes; nullopt for fewer.
std::optional<TRLAHeader> ParseRLAHeader(std::span<const std::uint8_t> bytes);

// RLA run-length packets: a signed count n; n >= 0 repeats the next byte
// n + 1 times, n < 0 copies -n bytes.
class TRLADecoder : public TDecoder {
 public:
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
};
