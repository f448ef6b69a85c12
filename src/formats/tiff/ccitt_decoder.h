#pragma once
// One-dimensional CCITT decoding for fax TIFFs: the modified Huffman code
// of ITU-T T.4, in its Group 3 form (every row after an end-of-line code)
// and its plain form (rows byte- or word-aligned, no end-of-line codes).
//
// Rows come out as 1 bit a pixel, the leftmost in the high bit, white as
// 0 and black as 1, each row starting on a byte. A code the tables do not
// know, or an end-of-line code inside a row, ends that row early; the rest
// of the row stays white.

#include <cstdint>
#include <span>

#include "formats/common/decoder.h"

class TCCITTDecoder : public TDecoder {
 public:
  // options: the T4 options of the file (kept; a loader refuses
  // two-dimensional coding before it gets here). swapBits: the file's
  // bytes hold their bits least significant first. wordAligned: rows of
  // the plain form start on 16-bit boundaries of the source.
  TCCITTDecoder(std::uint32_t options, bool swapBits, bool wordAligned, std::uint32_t width);

  std::uint32_t Options() const { return options_; }
  std::uint32_t Width() const { return width_; }

 protected:
  enum class TRowEnd { Full, EndOfLine, BadCode, EndOfData };

  // Starts the bit reader on source and clears dest; returns the number
  // of whole rows dest holds.
  std::size_t Begin(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest);
  // Decodes one row into row (cleared already).
  TRowEnd DecodeRow(std::uint8_t* row);
  // Skips bits up to and including a 1 that follows at least 11 zeros;
  // false when the source ends first.
  bool SynchroniseOnEndOfLine();
  // Drops the unread bits of the current byte (of the current 16-bit
  // word of the source with wordAligned).
  void AlignSource();
  // Hands back what was used: source after the last byte read.
  void Finish(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest, std::size_t rows);

  std::size_t RowBytes() const { return (static_cast<std::size_t>(width_) + 7) / 8; }

 private:
  void Refill();
  // Drops count bits (at most bits_, so at most 64). A shift by the
  // register's whole width is undefined, and a long run of zero fill bits
  // asks for exactly that: it empties the register instead.
  void Consume(int count) {
    register_ = count < 64 ? register_ << count : 0;
    bits_ -= count;
  }

  std::uint32_t options_;
  bool swapBits_;
  bool wordAligned_;
  std::uint32_t width_;

  // Bit reader: the next bits left-aligned in a 64-bit register.
  const std::uint8_t* source_ = nullptr;
  std::size_t sourceLeft_ = 0;
  std::size_t sourceSize_ = 0;
  std::uint64_t register_ = 0;
  int bits_ = 0;
};

// Group 3, one-dimensional: each row is found by its end-of-line code.
class TCCITTFax3Decoder : public TCCITTDecoder {
 public:
  using TCCITTDecoder::TCCITTDecoder;
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
};

// Modified Huffman without end-of-line codes (TIFF compression 2, and
// 32771 with wordAligned).
class TCCITTMHDecoder : public TCCITTDecoder {
 public:
  using TCCITTDecoder::TCCITTDecoder;
  void Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) override;
};

// The byte with its bit order reversed.
std::uint8_t ReverseBits(std::uint8_t b);
