#include "formats/common/decoder.h"

#include <algorithm>
#include <cstring>

#include "core/exceptions.h"

void RaiseCompressionError(const std::string& message) { throw EGraphicCompression(message); }

std::size_t TRunCursor::Fill(std::uint8_t value, std::size_t count) {
  const std::size_t n = std::min(count, dest_.size());
  std::memset(dest_.data(), value, n);
  dest_ = dest_.subspan(n);
  return n;
}

std::size_t TRunCursor::Copy(std::size_t count) {
  const std::size_t n = std::min({count, source_.size(), dest_.size()});
  if (n) std::memcpy(dest_.data(), source_.data(), n);
  source_ = source_.subspan(n);
  dest_ = dest_.subspan(n);
  return n;
}

std::size_t TRunCursor::FillUnit(const std::uint8_t* unit, std::size_t unitSize, std::size_t count) {
  if (unitSize == 1) return Fill(unit[0], count);
  std::size_t written = 0;
  for (std::size_t i = 0; i < count && !dest_.empty(); ++i) {
    const std::size_t n = std::min(unitSize, dest_.size());
    std::memcpy(dest_.data(), unit, n);
    dest_ = dest_.subspan(n);
    written += n;
  }
  return written;
}

std::size_t TRunCursor::Skip(std::size_t count) {
  const std::size_t n = std::min(count, source_.size());
  source_ = source_.subspan(n);
  return n;
}

void TPackbitsRLEDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  TRunCursor run(source, dest);
  std::uint8_t b;
  while (run.DestLeft() && run.Next(b)) {
    const int n = static_cast<std::int8_t>(b);
    if (n >= 0) {
      run.Copy(static_cast<std::size_t>(n) + 1);
    } else if (n != -128) {
      std::uint8_t value;
      if (!run.Next(value)) break;
      run.Fill(value, static_cast<std::size_t>(1 - n));
    }
  }
}

void TPSPRLEDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  TRunCursor run(source, dest);
  std::uint8_t b;
  while (run.DestLeft() && run.Next(b)) {
    if (b < 128) {
      run.Copy(b);
    } else {
      std::uint8_t value;
      if (!run.Next(value)) break;
      run.Fill(value, static_cast<std::size_t>(b) - 128);
    }
  }
}
