#include "formats/gif/gif_coding.h"

#include <algorithm>
#include <array>

#include "core/exceptions.h"

namespace {

void Warn(const TGIFWarningHandler& warning, TGIFSeverity severity, const std::string& message) {
  if (warning) warning(severity, message);
}

// The rows of a frame in the order its image data holds them: natural
// order, or the four interlace passes (0, 8, 16, ...; 4, 12, ...;
// 2, 6, ...; 1, 3, ...). A pass that has no row in a low frame is skipped
// instead of ending the walk, so frames 2..4 rows high keep every row.
std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<std::size_t>(std::max(height, 0)));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  return rows;
}

// Reads the codes of one image data block. Sub-blocks are pulled in as
// bits are needed; a count that claims more than the stream holds is cut
// to what is there.
class TCodeReader {
 public:
  TCodeReader(TStream& stream, const TGIFWarningHandler& warning) : stream_(stream), warning_(warning) {}

  // The next code of width bits, or -1 when the data ends first.
  int Read(int width) {
    while (bitCount_ < width) {
      if (blockPos_ >= blockLen_ && !NextBlock()) {
        // Running dry right after the last whole code means the data had
        // no end code; leftover padding bits are normal.
        if (terminatorSeen_ && bitCount_ == 0 && !underrunWarned_) {
          underrunWarned_ = true;
          Warn(warning_, gsWarning, "Decoder bit buffer under-run");
        }
        return -1;
      }
      acc_ |= static_cast<std::uint32_t>(block_[blockPos_++]) << bitCount_;
      bitCount_ += 8;
    }
    int code = static_cast<int>(acc_ & ((1u << width) - 1u));
    acc_ >>= width;
    bitCount_ -= width;
    return code;
  }

  // Reads and drops every sub-block up to and including the terminator,
  // so that the next block of the file is found where it starts.
  void SkipToTerminator() {
    blockPos_ = blockLen_;
    while (!terminatorSeen_ && !streamEnded_) NextBlock();
  }

 private:
  bool NextBlock() {
    if (terminatorSeen_ || streamEnded_) return false;
    std::uint8_t count = 0;
    if (stream_.Read(&count, 1) != 1) {
      streamEnded_ = true;
      return false;
    }
    if (count == 0) {
      terminatorSeen_ = true;
      return false;
    }
    std::int64_t left = stream_.Size() - stream_.Position();
    if (left < 0) left = 0;
    int length = count;
    if (length > left) {
      Warn(warning_, gsWarning, "Premature end of data");
      length = static_cast<int>(left);
      streamEnded_ = true;
    }
    std::int64_t got = length > 0 ? stream_.Read(block_.data(), length) : 0;
    blockLen_ = static_cast<int>(std::max<std::int64_t>(got, 0));
    blockPos_ = 0;
    if (got < length) streamEnded_ = true;
    return blockLen_ > 0;
  }

  TStream& stream_;
  const TGIFWarningHandler& warning_;
  std::array<std::uint8_t, 255> block_{};
  int blockLen_ = 0;
  int blockPos_ = 0;
  std::uint32_t acc_ = 0;
  int bitCount_ = 0;
  bool terminatorSeen_ = false;
  bool streamEnded_ = false;
  bool underrunWarned_ = false;
};

}  // namespace

void DecodeGIFImageData(TStream& stream, const TGIFDecodeFrame& frame, std::vector<std::uint8_t>& data,
                        const TGIFWarningHandler& warning) {
  const std::int64_t width = std::max(frame.Width, 0);
  const std::int64_t height = std::max(frame.Height, 0);
  const std::int64_t pixels = width * height;
  data.assign(static_cast<std::size_t>(pixels), frame.FillValue);

  std::uint8_t codeSize = 0;
  if (stream.Read(&codeSize, 1) != 1) return;
  // The clear code must lie inside the 4096-entry table. Sizes 0 and 1
  // are decoded as they stand (one or two roots), which is how files that
  // use them were written.
  if (codeSize > 11) throw GIFException("Invalid GIF code size");

  const int clearCode = 1 << codeSize;
  const int endCode = clearCode + 1;
  int width_bits = codeSize + 1;
  int nextCode = clearCode + 2;
  int limit = clearCode * 2;

  // Fixed tables, no allocation per code.
  std::array<std::uint16_t, GIFTableSize> prefix{};
  std::array<std::uint8_t, GIFTableSize> suffix{};
  std::array<std::uint8_t, GIFTableSize> stack{};
  for (int i = 0; i < clearCode; ++i) suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);

  // Entries clear..4095 are zero again afterwards: only those below the
  // next code were ever set, so only those are cleared (a frame of a few
  // pixels then costs a few steps, not a sweep of the whole table).
  auto resetTable = [&] {
    std::fill(prefix.begin() + clearCode, prefix.begin() + nextCode, std::uint16_t{0});
    std::fill(suffix.begin() + clearCode, suffix.begin() + nextCode, std::uint8_t{0});
    width_bits = codeSize + 1;
    nextCode = clearCode + 2;
    limit = clearCode * 2;
  };

  TCodeReader reader(stream, warning);
  const std::vector<int> rows = RowOrder(static_cast<int>(height), frame.Interlaced);
  std::size_t rowIndex = 0;
  std::int64_t column = 0;
  std::uint8_t* out = rows.empty() ? nullptr : data.data() + rows[0] * width;
  bool framesFull = pixels == 0;

  // Hands decoded pixels to the rows; false once every pixel is set.
  auto emit = [&](const std::uint8_t* pixelsFromStackTop, int count) {
    for (int i = count - 1; i >= 0 && !framesFull; --i) {
      out[column++] = pixelsFromStackTop[i];
      if (column == width) {
        column = 0;
        if (++rowIndex >= rows.size()) {
          framesFull = true;
        } else {
          out = data.data() + rows[rowIndex] * width;
        }
      }
    }
  };

  int oldCode = -1;
  int firstPixel = 0;
  bool ended = false;
  while (!framesFull && !ended) {
    int code = reader.Read(width_bits);
    if (code < 0) break;
    if (code == clearCode) {
      resetTable();
      oldCode = -1;
      continue;
    }
    if (code == endCode) {
      ended = true;
      break;
    }
    if (oldCode < 0) {
      // The first code after a clear (or at the start of data that has no
      // leading clear code) must be a root.
      if (code >= clearCode) {
        Warn(warning, gsWarning, "Invalid LZW code");
        break;
      }
      oldCode = code;
      firstPixel = code;
      std::uint8_t pixel = static_cast<std::uint8_t>(code);
      emit(&pixel, 1);
      continue;
    }
    // A code beyond the next free one cannot be built by any encoder; it
    // would make chains that reach back into themselves.
    if (code > nextCode || (code == nextCode && nextCode >= GIFTableSize)) {
      Warn(warning, gsWarning, "Invalid LZW code");
      break;
    }
    const int inCode = code;
    int sp = 0;
    if (code == nextCode) {
      stack[static_cast<std::size_t>(sp++)] = static_cast<std::uint8_t>(firstPixel);
      code = oldCode;
    }
    bool corrupt = false;
    while (code >= clearCode) {
      if (sp >= GIFTableSize - 1) {
        corrupt = true;
        break;
      }
      stack[static_cast<std::size_t>(sp++)] = suffix[static_cast<std::size_t>(code)];
      if (code == prefix[static_cast<std::size_t>(code)]) throw GIFException("Circular decoder table entry");
      code = prefix[static_cast<std::size_t>(code)];
    }
    if (corrupt) {
      Warn(warning, gsWarning, "Invalid LZW code");
      break;
    }
    firstPixel = suffix[static_cast<std::size_t>(code)];
    stack[static_cast<std::size_t>(sp++)] = static_cast<std::uint8_t>(firstPixel);
    if (nextCode < GIFTableSize) {
      prefix[static_cast<std::size_t>(nextCode)] = static_cast<std::uint16_t>(oldCode);
      suffix[static_cast<std::size_t>(nextCode)] = static_cast<std::uint8_t>(firstPixel);
      ++nextCode;
      if (nextCode >= limit && limit < GIFTableSize) {
        limit *= 2;
        ++width_bits;
      }
    }
    oldCode = inCode;
    emit(stack.data(), sp);
  }
  // Trailing codes, an end code or junk after the last row must not be
  // taken for the next block of the file.
  reader.SkipToTerminator();
}

std::int64_t GIFMostDecodedPixels(std::int64_t bytes) {
  if (bytes <= 0) return 0;
  // Far beyond any pixel cap, and small enough for the sums below.
  bytes = std::min<std::int64_t>(bytes, std::int64_t{1} << 40);
  const std::int64_t codes = bytes * 8;
  constexpr std::int64_t longest = GIFTableSize;
  if (codes <= longest) return codes * (codes + 1) / 2;
  return longest * (longest + 1) / 2 + (codes - longest) * longest;
}

// ---------------------------------------------------------------------------
// Sub-block streams

std::int64_t TGIFStream::Read(void*, std::int64_t) { throw EStreamError("Invalid stream operation"); }

std::int64_t TGIFStream::Seek(std::int64_t, TSeekOrigin) { throw EStreamError("Invalid stream operation"); }

void TGIFStream::SetSize(std::int64_t) { throw EStreamError("Invalid stream operation"); }

std::int64_t TGIFStream::Size() { return target_.Size(); }

std::int64_t TGIFStream::Write(const void* buffer, std::int64_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  for (std::int64_t i = 0; i < count; ++i) PutByte(bytes[i]);
  return count;
}

void TGIFStream::FlushFull() {
  buffer_[0] = 255;
  target_.WriteBuffer(buffer_, 256);
  index_ = 1;
}

void TGIFStream::Flush() {
  if (index_ <= 1) return;
  buffer_[0] = static_cast<std::uint8_t>(index_ - 1);
  target_.WriteBuffer(buffer_, index_);
  index_ = 1;
}

void TGIFWriter::Flush() {
  if (HasPendingData()) TGIFStream::Flush();
}

// ---------------------------------------------------------------------------
// Encoder base

void TGIFEncoder::Encode(TStream& stream, int codeSize, int colorCount, std::span<const std::uint8_t> data,
                         bool interlaced, int height, int width) {
  if (codeSize < 2) codeSize = 2;
  // Larger sizes cannot be expressed by 8-bit pixels and would push the
  // first codes past the 12-bit limit.
  if (codeSize > 8) throw GIFException("Invalid GIF code size");
  const std::int64_t pixels = static_cast<std::int64_t>(std::max(width, 0)) * std::max(height, 0);
  const bool hasPixels = !data.empty() && width >= 1 && height >= 1;
  if (hasPixels && static_cast<std::int64_t>(data.size()) < pixels)
    throw GIFException("Invalid image dimensions");

  codeSize_ = codeSize;
  // A pixel at or above the clear code would be read as a control code.
  colorLimit_ = std::min(colorCount, 1 << codeSize);
  width_ = width;
  height_ = height;
  interlaced_ = interlaced;
  data_ = data.data();

  stream.WriteByte(static_cast<std::uint8_t>(codeSize));

  initialBitsPerCode_ = codeSize + 1;
  bitsPerCode_ = initialBitsPerCode_;
  maxCode_ = (1 << bitsPerCode_) - 1;
  clearCode_ = 1 << (bitsPerCode_ - 1);
  endCode_ = clearCode_ + 1;
  firstFreeCode_ = clearCode_ + 2;
  bitAccumulator_ = 0;
  bitCount_ = 0;
  justCleared_ = false;
  row_ = 0;
  pass_ = 0;
  pixel_ = data_;
  pixelsLeft_ = interlaced ? width : pixels;
  walkEnded_ = false;

  TGIFWriter writer(stream);
  writer.OnWarning = Warning;
  writer_ = &writer;
  try {
    if (hasPixels) Compress();
    Output(endCode_);
    writer.Flush();
  } catch (...) {
    writer_ = nullptr;
    throw;
  }
  writer_ = nullptr;
  stream.WriteByte(0);
}

void TGIFEncoder::Output(int code) {
  bitAccumulator_ &= (bitCount_ > 0) ? ((1u << bitCount_) - 1u) : 0u;
  bitAccumulator_ |= static_cast<std::uint32_t>(code) << bitCount_;
  bitCount_ += bitsPerCode_;
  while (bitCount_ >= 8) {
    writer_->PutByte(static_cast<std::uint8_t>(bitAccumulator_ & 0xFF));
    bitAccumulator_ >>= 8;
    bitCount_ -= 8;
  }
  if (code == endCode_) {
    while (bitCount_ > 0) {
      writer_->PutByte(static_cast<std::uint8_t>(bitAccumulator_ & 0xFF));
      bitAccumulator_ >>= 8;
      bitCount_ -= 8;
    }
    bitCount_ = 0;
    bitAccumulator_ = 0;
  }
}

bool TGIFEncoder::AdvanceRow() {
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  row_ += kStep[pass_];
  // Passes without a row in a low frame are skipped, not taken as the end.
  while (row_ >= height_) {
    if (++pass_ > 3) return false;
    row_ = kStart[pass_];
  }
  pixel_ = data_ + static_cast<std::int64_t>(row_) * width_;
  pixelsLeft_ = width_;
  return true;
}

int TGIFEncoder::NextPixel() {
  if (pixelsLeft_ <= 0) {
    if (walkEnded_ || !interlaced_ || !AdvanceRow()) {
      walkEnded_ = true;
      return -1;
    }
  }
  --pixelsLeft_;
  const int value = *pixel_++;
  if (value >= colorLimit_) throw GIFException("Color not in color table");
  return value;
}

// ---------------------------------------------------------------------------
// LZW

void THashTable::Clear() {
  if (used_.size() * 8 < slots_.size()) {
    for (const int slot : used_) slots_[static_cast<std::size_t>(slot)] = EmptySlot;
  } else {
    std::fill(slots_.begin(), slots_.end(), EmptySlot);
  }
  used_.clear();
}

int THashTable::FindSlot(std::uint32_t key) const {
  int slot = static_cast<int>(((key >> 4) ^ key) % HashSize);
  // The step is fixed by the first slot for the whole probe; the table is
  // prime-sized, so the probe visits every slot before it repeats.
  const int step = slot == 0 ? 1 : HashSize - slot;
  for (int tries = 0; tries < HashSize; ++tries) {
    const std::uint32_t entry = slots_[static_cast<std::size_t>(slot)];
    if (entry == EmptySlot || (entry >> 12) == key) return slot;
    slot -= step;
    if (slot < 0) slot += HashSize;
  }
  throw GIFException("Hash table overflow");
}

int THashTable::Lookup(std::uint32_t key) const {
  if (slots_.empty()) return -1;
  const std::uint32_t entry = slots_[static_cast<std::size_t>(FindSlot(key))];
  if (entry == EmptySlot) return -1;
  return static_cast<int>(entry & 0xFFF);
}

void THashTable::Insert(std::uint32_t key, int code) {
  if (slots_.empty()) slots_.assign(HashSize, EmptySlot);
  const int slot = FindSlot(key);
  std::uint32_t& entry = slots_[static_cast<std::size_t>(slot)];
  if (entry == EmptySlot) used_.push_back(slot);
  entry = (key << 12) | static_cast<std::uint32_t>(code & 0xFFF);
}

void TLZWEncoder::Output(int code) {
  TGIFEncoder::Output(code);
  if (justCleared_) {
    bitsPerCode_ = initialBitsPerCode_;
    maxCode_ = (1 << bitsPerCode_) - 1;
    justCleared_ = false;
  } else if (nextCode_ > maxCode_) {
    ++bitsPerCode_;
    maxCode_ = bitsPerCode_ >= 12 ? GIFTableSize : (1 << bitsPerCode_) - 1;
  }
}

void TLZWEncoder::Clear() {
  justCleared_ = true;
  Output(clearCode_);
  table_->Clear();
  nextCode_ = clearCode_ + 2;
}

void TLZWEncoder::Compress() {
  // One table per thread, kept from frame to frame (Clear below empties
  // it): making and emptying a fresh one cost small frames more than their
  // coding.
  thread_local THashTable table;
  table_ = &table;
  nextCode_ = firstFreeCode_;
  Clear();
  prefix_ = NextPixel();
  if (prefix_ < 0) return;
  for (int c = NextPixel(); c >= 0; c = NextPixel()) {
    const std::uint32_t key = (static_cast<std::uint32_t>(prefix_) << 8) | static_cast<std::uint32_t>(c);
    const int code = table_->Lookup(key);
    if (code >= 0) {
      prefix_ = code;
      continue;
    }
    Output(prefix_);
    prefix_ = c;
    if (nextCode_ >= GIFCodeMax) {
      Clear();
    } else {
      table_->Insert(key, nextCode_);
      ++nextCode_;
    }
  }
  Output(prefix_);
  table_ = nullptr;
}

// ---------------------------------------------------------------------------
// Run-length

unsigned TRLEEncoder::IntSqrt(unsigned x) {
  if (x < 2) return x;
  unsigned r = 1;
  for (unsigned v = x; v != 0; v >>= 2) r <<= 1;
  for (;;) {
    const unsigned v = (x / r + r) / 2;
    if (v == r || v == r + 1) return r;
    r = v;
  }
}

unsigned TRLEEncoder::TriangleCount(unsigned count, unsigned n) {
  unsigned cost = 0;
  const unsigned per = n * (n + 1) / 2;
  if (per == 0) return count;
  cost += (count / per) * n;
  count %= per;
  if (count > 0) {
    unsigned k = IntSqrt(count);
    while (k > 0 && k * (k + 1) >= 2 * count) --k;
    while (k * (k + 1) < 2 * count) ++k;
    cost += k;
  }
  return cost;
}

void TRLEEncoder::Clear() {
  bumpThreshold_ = bumpThresholdInit_;
  clearThreshold_ = clearThresholdInit_;
  outCount_ = 0;
  tableMax_ = 0;
  justCleared_ = true;
  Output(clearCode_);
  bitsPerCode_ = initialBitsPerCode_;
}

void TRLEEncoder::OutputPlain(int code) {
  justCleared_ = false;
  Output(code);
  ++outCount_;
  if (outCount_ >= bumpThreshold_) {
    ++bitsPerCode_;
    bumpThreshold_ += 1 << (bitsPerCode_ - 1);
  }
  if (outCount_ >= clearThreshold_) Clear();
}

void TRLEEncoder::ResetClearThreshold() {
  clearThreshold_ = clearThresholdInit_;
  if (outCount_ >= clearThreshold_) Clear();
}

void TRLEEncoder::FlushFromClear(int count) {
  clearThreshold_ = maxCodesBetweenClears_;
  tablePixel_ = runPixel_;
  const int firstRunCode = firstFreeCode_;
  int k = 1;
  while (count > 0) {
    if (k == 1) {
      tableMax_ = 1;
      OutputPlain(runPixel_);
      --count;
    } else if (count >= k) {
      tableMax_ = k;
      OutputPlain(firstRunCode + k - 2);
      count -= k;
    } else if (count == 1) {
      ++tableMax_;
      OutputPlain(runPixel_);
      count = 0;
    } else {
      ++tableMax_;
      OutputPlain(firstRunCode + count - 2);
      count = 0;
    }
    k = outCount_ == 0 ? 1 : k + 1;
  }
  ResetClearThreshold();
}

void TRLEEncoder::FlushClearOrRepeat(int count) {
  const unsigned withClear = 1 + TriangleCount(static_cast<unsigned>(count), static_cast<unsigned>(maxCodesBetweenClears_));
  if (withClear < static_cast<unsigned>(count)) {
    Clear();
    FlushFromClear(count);
  } else {
    for (; count > 0; --count) OutputPlain(runPixel_);
  }
}

void TRLEEncoder::FlushWithTable(int count) {
  const unsigned maxCodes = static_cast<unsigned>(maxCodesBetweenClears_);
  int repeats = count / tableMax_;
  int left = count % tableMax_;
  int extra = left != 0 ? 1 : 0;
  if (outCount_ + repeats + extra > maxCodesBetweenClears_) {
    repeats = maxCodesBetweenClears_ - outCount_;
    left = count - repeats * tableMax_;
    extra = 1 + static_cast<int>(TriangleCount(static_cast<unsigned>(left), maxCodes));
  }
  if (1 + static_cast<int>(TriangleCount(static_cast<unsigned>(count), maxCodes)) < repeats + extra) {
    Clear();
    FlushFromClear(count);
    return;
  }
  clearThreshold_ = maxCodesBetweenClears_;
  const int firstRunCode = firstFreeCode_;
  for (; repeats > 0; --repeats) OutputPlain(firstRunCode + tableMax_ - 2);
  if (left > 0) {
    if (justCleared_) {
      FlushFromClear(left);
    } else if (left == 1) {
      OutputPlain(runPixel_);
    } else {
      OutputPlain(firstRunCode + left - 2);
    }
  }
  ResetClearThreshold();
}

void TRLEEncoder::Flush() {
  if (runLength_ == 1) {
    OutputPlain(runPixel_);
  } else if (justCleared_) {
    FlushFromClear(runLength_);
  } else if (tableMax_ >= 2 && tablePixel_ == runPixel_) {
    FlushWithTable(runLength_);
  } else {
    FlushClearOrRepeat(runLength_);
  }
  runLength_ = 0;
}

void TRLEEncoder::Compress() {
  bumpThresholdInit_ = clearCode_ - 1;
  clearThresholdInit_ = codeSize_ > 3 ? clearCode_ - 2 : 9;
  maxCodesBetweenClears_ = GIFCodeMax - (clearCode_ + 2);
  runPixel_ = 0;
  runLength_ = 0;
  tablePixel_ = 0;
  Clear();
  for (int c = NextPixel(); c >= 0; c = NextPixel()) {
    if (runLength_ > 0 && c != runPixel_) Flush();
    if (runLength_ > 0) {
      ++runLength_;
    } else {
      runPixel_ = c;
      runLength_ = 1;
    }
  }
  if (runLength_ > 0) Flush();
}
