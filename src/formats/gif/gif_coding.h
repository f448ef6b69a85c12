#pragma once
// GIF image data: the LZW decoder, the LZW and run-length encoders and the
// sub-block streams they write through.
//
// Image data is one byte (the LZW minimum code size s) followed by
// sub-blocks of a count byte 1..255 and that many data bytes, ended by a
// count of 0. Codes are packed least significant bit first. Clear code =
// 2^s, end code = 2^s + 1, first free code = 2^s + 2, codes start s + 1
// bits wide and grow to at most 12 bits.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/streams.h"

// How serious a reported problem is. Warnings are not raised; they go to
// the owning image's warning handler.
enum TGIFSeverity { gsInfo = 0, gsWarning = 1, gsError = 2 };

using TGIFWarningHandler = std::function<void(TGIFSeverity severity, const std::string& message)>;

// The largest code the string table of the decoder holds.
constexpr int GIFCodeMax = 4095;
constexpr int GIFTableSize = 4096;

// ---------------------------------------------------------------------------
// Decoding

// What the decoder needs to know of the frame it fills.
struct TGIFDecodeFrame {
  int Width = 0;
  int Height = 0;
  bool Interlaced = false;
  // Pixels the data does not reach keep this value: the transparent
  // colour index of a transparent frame, else 0.
  std::uint8_t FillValue = 0;
};

// Decodes one block of image data from the stream's position into data
// (resized to Width x Height, rows top-down in natural order). The stream
// is left behind the block terminator, or at its end when the data is cut
// short. Damaged data ends the frame with the pixels decoded so far and
// a warning; a code size above 11 (a clear code outside the table)
// raises GIFException. Code sizes 0 and 1 are taken as they stand: clear
// code 1 or 2, codes starting 1 or 2 bits wide.
void DecodeGIFImageData(TStream& stream, const TGIFDecodeFrame& frame, std::vector<std::uint8_t>& data,
                        const TGIFWarningHandler& warning);

// The most pixels that bytes bytes of image data can decode to: every
// code takes at least one bit (a code size of 0 starts at one), and the
// n-th code after a clear yields at most n pixels, never more than the
// table's longest string of 4096. Pixels the data does not reach are
// left to the fill value, so a frame may be larger than this; what a
// reader lets such frames cost is its own choice.
std::int64_t GIFMostDecodedPixels(std::int64_t bytes);

// ---------------------------------------------------------------------------
// Sub-block streams

// A write-only stream that cuts what is written into sub-blocks of at most
// 255 bytes on the target stream. Reading, seeking and resizing raise
// EStreamError "Invalid stream operation".
class TGIFStream : public TStream {
 public:
  explicit TGIFStream(TStream& target) : target_(target) {}
  TGIFStream(const TGIFStream&) = delete;
  TGIFStream& operator=(const TGIFStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override;
  void SetSize(std::int64_t size) override;

  void PutByte(std::uint8_t value) {
    buffer_[index_++] = value;
    if (index_ == 256) FlushFull();
  }
  // Writes the last, partly filled sub-block (nothing when it is empty).
  virtual void Flush();

  TGIFWarningHandler OnWarning;

 protected:
  void FlushFull();
  TStream& target_;
  std::uint8_t buffer_[256] = {};
  int index_ = 1;  // byte 0 is the count
};

// The sub-block writer of the encoders: remembers whether a block is
// waiting to be written.
class TGIFWriter : public TGIFStream {
 public:
  explicit TGIFWriter(TStream& target) : TGIFStream(target) {}
  bool HasPendingData() const { return index_ > 1; }
  void Flush() override;
};

// ---------------------------------------------------------------------------
// Encoding

// The shared part of both encoders: code packing, the pixel walk and the
// frame of one image data block.
class TGIFEncoder {
 public:
  virtual ~TGIFEncoder() = default;

  // Writes one block of image data: the code size byte, the codes in
  // sub-blocks and the block terminator. codeSize below 2 is raised to 2;
  // above 8 raises GIFException. A pixel not below colorCount (or beyond
  // what codeSize can express) raises "Color not in color table".
  void Encode(TStream& stream, int codeSize, int colorCount, std::span<const std::uint8_t> data,
              bool interlaced, int height, int width);

  TGIFWarningHandler Warning;

 protected:
  virtual void Output(int code);
  virtual void Clear() = 0;
  virtual void Compress() = 0;

  // The next pixel of the walk (natural or four-pass interlaced order),
  // -1 when every pixel was handed out.
  int NextPixel();

  TGIFWriter* writer_ = nullptr;
  int colorLimit_ = 0;
  int codeSize_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool interlaced_ = false;
  const std::uint8_t* data_ = nullptr;

  std::uint32_t bitAccumulator_ = 0;
  int bitCount_ = 0;
  bool justCleared_ = false;
  int bitsPerCode_ = 0;
  int initialBitsPerCode_ = 0;
  int maxCode_ = 0;
  int clearCode_ = 0;
  int endCode_ = 0;
  int firstFreeCode_ = 0;

 private:
  bool AdvanceRow();
  const std::uint8_t* pixel_ = nullptr;
  std::int64_t pixelsLeft_ = 0;
  int row_ = 0;
  int pass_ = 0;
  bool walkEnded_ = false;
};

// The string table of the LZW encoder: 8009 slots (a prime) of
// (key shl 12) or code, all ones when empty. The key of a string is
// (prefix code shl 8) or next pixel. The slots are made at the first
// insertion, so frames of one pixel (which insert nothing) cost nothing,
// and emptying the table resets only the slots written since, unless they
// are many.
class THashTable {
 public:
  static constexpr int HashSize = 8009;
  static constexpr std::uint32_t EmptySlot = 0xFFFFFFFFu;

  THashTable() = default;
  // Empties every slot.
  void Clear();
  // The code stored for key, or -1.
  int Lookup(std::uint32_t key) const;
  void Insert(std::uint32_t key, int code);

 private:
  int FindSlot(std::uint32_t key) const;
  std::vector<std::uint32_t> slots_;
  std::vector<int> used_;  // the slots written since the last Clear
};

class TLZWEncoder : public TGIFEncoder {
 protected:
  void Output(int code) override;
  void Clear() override;
  void Compress() override;

 private:
  THashTable* table_ = nullptr;  // this thread's, during Compress
  int prefix_ = 0;
  int nextCode_ = 0;
};

// Writes only plain pixels and codes of runs of one pixel, which every
// LZW decoder reads back correctly, without a string table of its own.
class TRLEEncoder : public TGIFEncoder {
 public:
  // Exposed for tests: the smallest number of run codes that cover count
  // pixels with runs of 1, 2, ..., n pixels.
  static unsigned TriangleCount(unsigned count, unsigned n);
  static unsigned IntSqrt(unsigned x);

 protected:
  void Clear() override;
  void Compress() override;

 private:
  void OutputPlain(int code);
  void Flush();
  void FlushFromClear(int count);
  void FlushClearOrRepeat(int count);
  void FlushWithTable(int count);
  void ResetClearThreshold();

  int runPixel_ = 0;
  int runLength_ = 0;
  int tablePixel_ = 0;
  int tableMax_ = 0;
  int outCount_ = 0;
  int bumpThreshold_ = 0;
  int bumpThresholdInit_ = 0;
  int clearThreshold_ = 0;
  int clearThresholdInit_ = 0;
  int maxCodesBetweenClears_ = 0;
};
