#pragma once
// The decoders of the reader family: the abstract codec, the bounded run
// primitives every run-length decoder is built from, and the two
// run-length decoders more than one reader uses (PackBits: Photoshop and
// TIFF; the Paint Shop Pro coding).
//
// A decoder reads from a source span and writes into a destination span;
// both are moved past what was used, and neither is ever read or written
// beyond its end: a packet that asks for more is cut where either runs
// out. Corrupt data that a decoder cannot go on with raises
// EGraphicCompression.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

[[noreturn]] void RaiseCompressionError(const std::string& message);

class TDecoder {
 public:
  virtual ~TDecoder() = default;

  // Decodes from source into dest until dest is full, source is used up
  // or the coding ends; on return source starts after the last byte read
  // and dest after the last byte written.
  virtual void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) = 0;
  virtual void DecodeEnd() {}
  virtual void DecodeInit() {}
  // Appends the coded form of count items of source to packed. Decoders
  // that only decode leave packed as it is.
  virtual void Encode(std::span<const std::uint8_t> /*source*/, std::size_t /*count*/,
                      std::vector<std::uint8_t>& /*packed*/) {}
  virtual void EncodeEnd() {}
  virtual void EncodeInit() {}
};

// The bounded steps of run-length decoding over a decoder's two spans.
class TRunCursor {
 public:
  TRunCursor(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) : source_(source), dest_(dest) {}

  bool SourceLeft() const { return !source_.empty(); }
  bool DestLeft() const { return !dest_.empty(); }
  // Both spans have room: the loop condition of a decoder bounded by both.
  bool Going() const { return !source_.empty() && !dest_.empty(); }
  std::size_t SourceSize() const { return source_.size(); }
  std::size_t DestSize() const { return dest_.size(); }

  // The next source byte; false, reading nothing, at the end of the source.
  bool Next(std::uint8_t& value) {
    if (source_.empty()) return false;
    value = source_[0];
    source_ = source_.subspan(1);
    return true;
  }
  // Writes value count times, cut at the end of dest; returns the bytes
  // written.
  std::size_t Fill(std::uint8_t value, std::size_t count);
  // Copies count source bytes, cut at the end of either span; returns the
  // bytes copied.
  std::size_t Copy(std::size_t count);
  // Writes the unit of unitSize bytes count times (a repeated pixel or
  // 16-bit value), cut at the end of dest; returns the bytes written.
  std::size_t FillUnit(const std::uint8_t* unit, std::size_t unitSize, std::size_t count);
  // Skips count source bytes, cut at its end; returns the bytes skipped.
  std::size_t Skip(std::size_t count);

 private:
  std::span<const std::uint8_t>& source_;
  std::span<std::uint8_t>& dest_;
};

// PackBits: a signed count byte n; 0..127 copy n + 1 bytes; -127..-1
// repeat the next byte 1 - n times; -128 does nothing.
class TPackbitsRLEDecoder : public TDecoder {
 public:
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
};

// The Paint Shop Pro coding: a byte b below 128 copies b bytes, b of 128
// or more repeats the next byte b - 128 times.
class TPSPRLEDecoder : public TDecoder {
 public:
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
};
