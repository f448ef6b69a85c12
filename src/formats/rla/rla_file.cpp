#include "formats/rla/rla_file.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "formats/common/byte_order.h"

namespace {

// The text of a fixed field up to its first zero byte.
std::string FieldText(std::span<const std::uint8_t> field) {
  std::string s;
  for (std::uint8_t c : field) {
    if (c == 0) break;
    s.push_back(static_cast<char>(c));
  }
  return s;
}

}  // namespace

std::int64_t TRLAHeader::Height() const { return std::llabs(std::int64_t{ActiveBottom} - ActiveTop) + 1; }

std::optional<TRLAHeader> ParseRLAHeader(std::span<const std::uint8_t> b) {
  if (b.size() < kRLAHeaderSize) return std::nullopt;
  TRLAHeader h;
  auto s16 = [&](std::size_t at) { return static_cast<std::int16_t>(GetU16BE(&b[at])); };
  h.ActiveLeft = s16(8);
  h.ActiveRight = s16(10);
  h.ActiveBottom = s16(12);
  h.ActiveTop = s16(14);
  h.ColorChannels = GetU16BE(&b[20]);
  h.MatteChannels = GetU16BE(&b[22]);
  h.Revision = GetU16BE(&b[26]);
  std::string gamma = FieldText(b.subspan(28, 16));
  const std::size_t first = gamma.find_first_not_of(' ');
  gamma = first == std::string::npos ? std::string() : gamma.substr(first);
  float g = 0.0f;
  const auto parsed = std::from_chars(gamma.data(), gamma.data() + gamma.size(), g);
  h.Gamma = parsed.ec == std::errc() && std::isfinite(g) && g > 0.0f ? g : 1.0f;
  h.ColorSpace = FieldText(b.subspan(580, 32));
  for (char& c : h.ColorSpace) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (!h.ColorSpace.empty() && h.ColorSpace.back() == ' ') h.ColorSpace.pop_back();
  h.ColorBits = GetU16BE(&b[658]);
  return h;
}

void TRLADecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  TRunCursor run(source, dest);
  std::uint8_t b;
  while (run.DestLeft() && run.Next(b)) {
    const int n = static_cast<std::int8_t>(b);
    if (n >= 0) {
      std::uint8_t value;
      if (!run.Next(value)) break;
      run.Fill(value, static_cast<std::size_t>(n) + 1);
    } else {
      run.Copy(static_cast<std::size_t>(-n));
    }
  }
}
